// Headerless pixel files take their size from the user (--raw-width, --raw-height,
// --raw-header-size) or from the file length; any combination must load safely or fail.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "FuzzSupport.h"
#include "pipeline/BitmapConversion.h"
#include "pipeline/Limits.h"
#include "pipeline/Loading.h"
#include "settings/ConversionSettings.h"

namespace {

int32_t TakeInt32(std::string_view& bytes) {
  int32_t value = 0;
  std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof value));
  bytes.remove_prefix(std::min(bytes.size(), sizeof value));
  return value;
}

// The size the loader must choose: the stated one, or the square the data fills.
void CheckSize(const BitmapPtr& bitmap, int64_t dataSize, int bytesPerPixel, const ConversionSettingsRecord& s) {
  if (s.rawWidth != 0 && s.rawHeight != 0) {
    Require(WidthOf(bitmap) == s.rawWidth && HeightOf(bitmap) == s.rawHeight, "the stated size is used");
  } else {
    const auto side = static_cast<int>(std::nearbyint(std::sqrt(static_cast<double>(dataSize) / bytesPerPixel)));
    Require(WidthOf(bitmap) == side && HeightOf(bitmap) == side, "the data is taken as a square");
  }
}

// The first row of the file is the top row of the image; what the file lacks is black.
void CheckTopRow(const BitmapPtr& bitmap, std::string_view data, int bytesPerPixel) {
  const size_t pitch = static_cast<size_t>(WidthOf(bitmap)) * static_cast<size_t>(bytesPerPixel);
  const BYTE* top = FreeImage_GetScanLine(bitmap.get(), HeightOf(bitmap) - 1);
  const size_t supplied = std::min(pitch, data.size());
  Require(std::memcmp(top, data.data(), supplied) == 0, "the top row holds the first bytes after the header");
  Require(std::all_of(top + supplied, top + pitch, [](BYTE b) { return b == 0; }), "missing pixels are black");
}

}  // namespace

// The input is rawWidth, rawHeight, rawHeaderSize (little-endian int32 each), one byte
// choosing 8-bit or 16-bit pixels, then the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes = AsText(data, size);
  ConversionSettingsRecord settings = DefaultConversionSettings(true);
  settings.rawWidth = TakeInt32(bytes);
  settings.rawHeight = TakeInt32(bytes);
  settings.rawHeaderSize = TakeInt32(bytes);
  const int32_t mode = bytes.empty() ? 1 : 1 + (static_cast<uint8_t>(bytes[0]) & 1);
  bytes.remove_prefix(std::min<size_t>(bytes.size(), 1));

  BitmapPtr bitmap = LoadRawPixelData(WriteScratchFile(bytes), mode, settings);
  const int64_t header = settings.rawHeaderSize;
  const auto fileLength = static_cast<int64_t>(bytes.size());
  if (header < 0 || header >= fileLength) {
    Require(!bitmap, "a header that leaves no data fails the load");
    return 0;
  }
  if (!bitmap) return 0;
  const int bytesPerPixel = mode == 1 ? 1 : 2;
  Require(BppOf(bitmap) == 8 * bytesPerPixel, "the bitmap has the mode's depth");
  Require(FitsImageLimits(WidthOf(bitmap), HeightOf(bitmap), BppOf(bitmap)), "the bitmap stays within the limits");
  CheckSize(bitmap, fileLength - header, bytesPerPixel, settings);
  CheckTopRow(bitmap, bytes.substr(static_cast<size_t>(header)), bytesPerPixel);
  return 0;
}
