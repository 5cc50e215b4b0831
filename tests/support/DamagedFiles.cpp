#include "support/DamagedFiles.h"

#include <FreeImage.h>

#include <algorithm>
#include <set>

#include "platform/BitmapPtr.h"

namespace {

uint32_t Get16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }
void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint16_t kImageWidth = 256, kImageLength = 257, kSubIfds = 330;
constexpr uint16_t kShort = 3, kLong = 4;

// Patches one directory and collects the directories it points to.
bool PatchDirectory(std::vector<uint8_t>& b, size_t at, uint32_t width, uint32_t height, std::vector<size_t>& next) {
  if (at + 2 > b.size()) return false;
  const uint32_t count = Get16(b, at);
  bool patched = false;
  for (uint32_t i = 0; i < count && at + 2 + 12 * (i + 1) <= b.size(); ++i) {
    const size_t entry = at + 2 + 12 * i;
    const uint32_t tag = Get16(b, entry), type = Get16(b, entry + 2);
    const uint32_t value = tag == kImageWidth ? width : height;
    if ((tag == kImageWidth || tag == kImageLength) && type == kLong) {
      Set32(b, entry + 8, value);
      patched = true;
    } else if ((tag == kImageWidth || tag == kImageLength) && type == kShort) {
      b[entry + 8] = static_cast<uint8_t>(std::min<uint32_t>(value, 65535));
      b[entry + 9] = static_cast<uint8_t>(std::min<uint32_t>(value, 65535) >> 8);
      patched = true;
    } else if (tag == kSubIfds && type == kLong && Get32(b, entry + 4) == 1) {
      next.push_back(Get32(b, entry + 8));
    }
  }
  const size_t link = at + 2 + 12 * size_t{count};
  if (link + 4 <= b.size() && Get32(b, link) != 0) next.push_back(Get32(b, link));
  return patched;
}

}  // namespace

std::vector<uint8_t> SmallJpeg(int width, int height) {
  BitmapPtr bitmap = AdoptBitmap(FreeImage_Allocate(width, height, 24));
  if (!bitmap) return {};
  for (int y = 0; y < height; ++y) std::fill_n(FreeImage_GetScanLine(bitmap.get(), y), width * 3, BYTE{128});
  MemoryStreamPtr stream(FreeImage_OpenMemory());
  if (!FreeImage_SaveToMemory(FIF_JPEG, bitmap.get(), stream.get(), 90)) return {};
  BYTE* data = nullptr;
  DWORD size = 0;
  FreeImage_AcquireMemory(stream.get(), &data, &size);
  return std::vector<uint8_t>(data, data + size);
}

bool SetJpegFrameSize(std::vector<uint8_t>& bytes, int width, int height) {
  for (size_t i = 0; i + 9 <= bytes.size(); ++i) {
    if (bytes[i] != 0xFF || bytes[i + 1] < 0xC0 || bytes[i + 1] > 0xC2) continue;
    bytes[i + 5] = static_cast<uint8_t>(height >> 8);
    bytes[i + 6] = static_cast<uint8_t>(height);
    bytes[i + 7] = static_cast<uint8_t>(width >> 8);
    bytes[i + 8] = static_cast<uint8_t>(width);
    return true;
  }
  return false;
}

bool SetTiffImageSize(std::vector<uint8_t>& bytes, uint32_t width, uint32_t height) {
  if (bytes.size() < 8 || bytes[0] != 'I' || bytes[1] != 'I') return false;
  std::vector<size_t> pending{Get32(bytes, 4)};
  std::set<size_t> seen;
  bool patched = false;
  while (!pending.empty()) {
    const size_t at = pending.back();
    pending.pop_back();
    if (!seen.insert(at).second) continue;
    patched = PatchDirectory(bytes, at, width, height, pending) || patched;
  }
  return patched;
}

std::vector<uint8_t> Truncated(const std::vector<uint8_t>& bytes, size_t length) {
  return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size()))};
}

std::vector<uint8_t> Inverted(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  std::vector<uint8_t> out = bytes;
  for (size_t i = from; i < std::min(to, out.size()); ++i) out[i] = static_cast<uint8_t>(~out[i]);
  return out;
}
