#include "support/HeaderlessFiles.h"

#include "support/TestFiles.h"

std::vector<uint8_t> HeaderlessPixels(int width, int height, int bpp, TestPattern pattern) {
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(width) * height * (bpp / 8));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgb8 c = PatternColor(pattern, width, height, x, y);
      if (bpp == 8) {
        bytes.push_back(static_cast<uint8_t>(GreyOf(c)));
      } else {
        const uint16_t v = static_cast<uint16_t>((c.red >> 3) << 11 | (c.green >> 2) << 5 | c.blue >> 3);
        bytes.push_back(static_cast<uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
      }
    }
  return bytes;
}

Rgb8 Through565(const Rgb8& c) {
  return {(c.red >> 3) * 255 / 31, (c.green >> 2) * 255 / 63, (c.blue >> 3) * 255 / 31};
}

void WriteHeaderlessFile(const std::string& path, int width, int height, int bpp, TestPattern pattern,
                         int headerBytes) {
  std::vector<uint8_t> bytes(static_cast<size_t>(headerBytes), 0xAB);
  const std::vector<uint8_t> pixels = HeaderlessPixels(width, height, bpp, pattern);
  bytes.insert(bytes.end(), pixels.begin(), pixels.end());
  WriteBytes(path, bytes);
}
