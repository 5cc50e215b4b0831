#pragma once
// Colour texts of six hexadecimal digits, RRGGBB.
#include <cstdint>
#include <string_view>

// Red in bits 0-7, green in 8-15, blue in 16-23. Each pair is read as a hexadecimal number
// that stops at the first other character ("G0" gives 0, "1G" gives 1); any text whose
// length is not 6 gives black.
uint32_t ParseHexColor(std::string_view text);

// The same rule with `alpha` in bits 24-31.
uint32_t ParseHexColorAlpha(std::string_view text, uint8_t alpha);

inline uint8_t RedOf(uint32_t color) { return static_cast<uint8_t>(color & 0xFF); }
inline uint8_t GreenOf(uint32_t color) { return static_cast<uint8_t>((color >> 8) & 0xFF); }
inline uint8_t BlueOf(uint32_t color) { return static_cast<uint8_t>((color >> 16) & 0xFF); }
inline uint8_t AlphaOf(uint32_t color) { return static_cast<uint8_t>(color >> 24); }
