// Option values are read leniently: whatever text arrives must give a number.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "FuzzSupport.h"
#include "cli/ValueReaders.h"
#include "settings/Keywords.h"

namespace {

bool SameFloat(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// Numbers printed the usual way must read back as the same number.
void CheckRoundTrips(const uint8_t* data, size_t size) {
  if (size < 4) return;
  int32_t integer;
  std::memcpy(&integer, data, sizeof integer);
  Require(ReadIntegerValue(std::to_string(integer)) == integer, "a printed integer reads back");
  float real;
  std::memcpy(&real, data, sizeof real);
  if (!std::isfinite(real)) return;  // printf's "inf" is not one of the reader's words
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(real));
  Require(ReadFloatValue(text) == real, "a float printed with nine digits reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(AsText(data, size));

  // Reading stops at the first foreign character, and leading blanks are skipped.
  int32_t number = ReadIntegerValue(text);
  Require(ReadIntegerValue(text + "x") == number, "a trailing foreign character changes no integer");
  Require(ReadIntegerValue(" \t" + text) == number, "leading blanks change no integer");
  float real = ReadFloatValue(text);
  Require(SameFloat(ReadFloatValue(text + "x"), real), "a trailing foreign character changes no float");
  Require(SameFloat(ReadFloatValue("\t " + text), real), "leading blanks change no float");

  if (!text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos)
    Require(number == std::stoi(text), "plain decimal digits read as themselves");

  const std::string stripped = StripOuterQuotes(text);
  Require(stripped.empty() || (stripped.front() != '"' && stripped.back() != '"'), "no outer quote remains");
  Require(text.find(stripped) != std::string::npos, "stripping only removes");

  for (int kind = -1; kind <= kKeywordKindCount; ++kind) (void)CodeToKeyword(kind, KeywordToCode(text, kind));
  CheckRoundTrips(data, size);
  return 0;
}
