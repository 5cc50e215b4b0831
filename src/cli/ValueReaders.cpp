#include "cli/ValueReaders.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/Text.h"

namespace {

// The digit's value in bases up to 16; 99, beyond every base, for any other character.
int DigitValue(char c) {
  const int value = HexDigitValue(c);
  return value < 0 ? 99 : value;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipBlanks(std::string_view text) {
  size_t pos = text.find_first_not_of(" \t");
  return pos == std::string_view::npos ? text.size() : pos;
}

// Length of the run of decimal digits that starts at `pos`.
size_t DigitRun(std::string_view text, size_t pos) {
  size_t end = pos;
  while (end < text.size() && IsDecimalDigit(text[end])) ++end;
  return end - pos;
}

// Length of the number at the start of `text`: digits with an optional fraction (or a
// fraction alone), then an exponent only when digits follow its "e". 0 when there is none.
size_t DecimalNumberLength(std::string_view text) {
  size_t pos = DigitRun(text, 0);
  size_t mantissaDigits = pos;
  if (pos < text.size() && text[pos] == '.') {
    size_t fraction = DigitRun(text, pos + 1);
    mantissaDigits += fraction;
    if (mantissaDigits > 0) pos += 1 + fraction;
  }
  if (mantissaDigits == 0) return 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    size_t digits = pos + 1;
    if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) ++digits;
    size_t exponent = DigitRun(text, digits);
    if (exponent > 0) pos = digits + exponent;
  }
  return pos;
}

bool StartsWithNoCase(std::string_view text, std::string_view word) {
  return text.size() >= word.size() && FindNoCase(text.substr(0, word.size()), word) == 0;
}

// Rounds to the nearest float as the hardware would. A double beyond float's range has no
// defined conversion, so the edge is handled here: values less than half a step above the
// largest float still round to it ("3.40282347e+38" is that float printed with nine
// digits); from there on they become infinity.
float ToSinglePrecision(double value) {
  constexpr float kLargest = std::numeric_limits<float>::max();
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  constexpr double kOverflow = 0x1.ffffffp+127;  // the largest float plus half its last step
  const double magnitude = std::fabs(value);
  if (magnitude >= kOverflow) return value > 0 ? kInfinity : -kInfinity;
  if (magnitude > kLargest) return value > 0 ? kLargest : -kLargest;
  return static_cast<float>(value);
}

}  // namespace

namespace {

struct IntegerScan {
  uint64_t number = 0;  // unsigned, so that overlong input wraps instead of overflowing
  size_t end = 0;       // where reading stopped
  bool digits = false;
};

IntegerScan ScanInteger(std::string_view text) {
  IntegerScan scan;
  size_t pos = SkipBlanks(text);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  int base = 10;
  if (pos < text.size() && (text[pos] == '$' || text[pos] == '%')) base = text[pos++] == '$' ? 16 : 2;
  for (; pos < text.size() && DigitValue(text[pos]) < base; ++pos) {
    scan.number = scan.number * static_cast<uint64_t>(base) + static_cast<uint64_t>(DigitValue(text[pos]));
    scan.digits = true;
  }
  if (negative) scan.number = ~scan.number + 1;
  scan.end = pos;
  return scan;
}

struct FloatScan {
  float value = 0.0f;
  size_t end = 0;  // where reading stopped; 0 when no number was found
};

FloatScan ScanFloat(std::string_view text) {
  const size_t blanks = SkipBlanks(text);
  text.remove_prefix(blanks);
  constexpr std::pair<std::string_view, float> kWords[] = {{"+Infinity", std::numeric_limits<float>::infinity()},
                                                           {"-Infinity", -std::numeric_limits<float>::infinity()},
                                                           {"NaN", std::numeric_limits<float>::quiet_NaN()}};
  for (const auto& [word, value] : kWords)
    if (StartsWithNoCase(text, word)) return {value, blanks + word.size()};
  bool negative = false;
  size_t sign = 0;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    sign = 1;
    text.remove_prefix(1);
  }
  size_t length = DecimalNumberLength(text);
  if (length == 0) return {};
  double value = 0.0;
  auto [end, error] = std::from_chars(text.data(), text.data() + length, value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: the exponent's sign tells which.
    bool tiny = text.substr(0, length).find("e-") != std::string_view::npos ||
                text.substr(0, length).find("E-") != std::string_view::npos;
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  (void)end;
  return {ToSinglePrecision(negative ? -value : value), blanks + sign + length};
}

bool OnlyBlanksFrom(std::string_view text, size_t pos) {
  return pos > 0 && SkipBlanks(text.substr(pos)) == text.size() - pos;
}

}  // namespace

int32_t ReadIntegerValue(std::string_view text) {
  return static_cast<int32_t>(static_cast<uint32_t>(ScanInteger(text).number));
}

float ReadFloatValue(std::string_view text) { return ScanFloat(text).value; }

bool IsWholeInteger(std::string_view text) {
  const IntegerScan scan = ScanInteger(text);
  return scan.digits && OnlyBlanksFrom(text, scan.end);
}

bool IsWholeFloat(std::string_view text) { return OnlyBlanksFrom(text, ScanFloat(text).end); }

std::string StripOuterQuotes(std::string_view text) {
  size_t first = text.find_first_not_of('"');
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of('"');
  return std::string(text.substr(first, last - first + 1));
}
