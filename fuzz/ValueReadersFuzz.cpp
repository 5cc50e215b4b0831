// Every number and keyword the user types goes through these readers.
#include <cmath>
#include <cstring>

#include "FuzzSupport.h"
#include "cli/ValueReaders.h"
#include "settings/Keywords.h"

namespace {

// Numbers printed by the program's own conventions must read back as the same number.
void CheckRoundTrips(const uint8_t* data, size_t size) {
  if (size < 4) return;
  int32_t integer;
  std::memcpy(&integer, data, sizeof integer);
  Require(ReadIntegerValue(std::to_string(integer)) == integer, "a printed integer reads back");
  float number;
  std::memcpy(&number, data, sizeof number);
  if (!std::isfinite(number)) return;  // printf's "inf" is not one of the reader's words
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(number));
  const float back = ReadFloatValue(text);
  Require(back == number, "a printed float reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  (void)ReadIntegerValue(text);
  (void)ReadFloatValue(text);
  const std::string unquoted = StripOuterQuotes(text);
  Require(unquoted.empty() || (unquoted.front() != '"' && unquoted.back() != '"'), "no quote is left at either end");
  for (int kind = -1; kind <= kKeywordKindCount; ++kind) (void)CodeToKeyword(kind, KeywordToCode(text, kind));
  CheckRoundTrips(data, size);
  return 0;
}
