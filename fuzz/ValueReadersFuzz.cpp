// Option values are read leniently: whatever text arrives must give a number.
#include <cmath>
#include <cstring>

#include "FuzzSupport.h"
#include "cli/ValueReaders.h"

namespace {

bool SameFloat(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

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
  return 0;
}
