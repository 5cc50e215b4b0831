#include "pipeline/Colors.h"

#include "platform/Text.h"

namespace {

uint32_t ReadHexPair(std::string_view pair) {
  uint32_t value = 0;
  for (char c : pair) {
    int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

}  // namespace

uint32_t ParseHexColor(std::string_view text) {
  if (text.size() != 6) return 0;
  return ReadHexPair(text.substr(0, 2)) | ReadHexPair(text.substr(2, 2)) << 8 | ReadHexPair(text.substr(4, 2)) << 16;
}

uint32_t ParseHexColorAlpha(std::string_view text, uint8_t alpha) {
  return ParseHexColor(text) | static_cast<uint32_t>(alpha) << 24;
}
