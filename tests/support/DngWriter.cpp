#include "support/DngWriter.h"

#include <FreeImage.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "platform/BitmapPtr.h"
#include "platform/FilePtr.h"
#include "support/TestBitmaps.h"
#include "support/TiffDirectories.h"

namespace {

// A small deterministic generator, so that every file of the same options is the same.
struct Noise {
  uint32_t state = 12345;
  int amplitude = 0;
  int Next() {
    if (amplitude == 0) return 0;
    state = state * 1664525u + 1013904223u;
    return static_cast<int>(state >> 8) % (2 * amplitude + 1) - amplitude;
  }
};

Rgb8 SceneColor(const DngOptions& o, int x, int y, Noise& noise) {
  Rgb8 c = PatternColor(TestPattern::kQuadrants, o.width, o.height, x, y);
  if (noise.amplitude == 0) return c;
  const int n = noise.Next();
  return {std::clamp(c.red + n, 0, 255), std::clamp(c.green + n, 0, 255), std::clamp(c.blue + n, 0, 255)};
}

// 16-bit RGGB mosaic, little-endian, top row first. Scene values are sRGB-encoded; the sensor
// records linear light.
std::vector<uint8_t> Mosaic(const DngOptions& o) {
  uint16_t linear[256];
  for (int v = 0; v < 256; ++v) linear[v] = static_cast<uint16_t>(std::lround(std::pow(v / 255.0, 2.2) * 65535));
  std::vector<uint8_t> bytes(static_cast<size_t>(o.width) * o.height * 2);
  Noise noise{7, o.noise};
  size_t i = 0;
  for (int y = 0; y < o.height; ++y)
    for (int x = 0; x < o.width; ++x, i += 2) {
      const Rgb8 c = SceneColor(o, x, y, noise);
      const int site = (y & 1) * 2 + (x & 1);  // 0 R, 1 and 2 G, 3 B
      const uint16_t v = linear[site == 0 ? c.red : site == 3 ? c.blue : c.green];
      bytes[i] = static_cast<uint8_t>(v & 0xFF);
      bytes[i + 1] = static_cast<uint8_t>(v >> 8);
    }
  return bytes;
}

void AddImageLayout(TiffDirectory& d, const DngOptions& o, uint32_t bytes) {
  AddLong(d, 256, static_cast<uint32_t>(o.width));
  AddLong(d, 257, static_cast<uint32_t>(o.height));
  AddLong(d, 273, 0);  // StripOffsets, set once the layout is known
  AddLong(d, 278, static_cast<uint32_t>(o.height));
  AddLong(d, 279, bytes);
  AddShorts(d, 284, {1});
}

TiffDirectory MosaicDirectory(const DngOptions& o, uint32_t bytes) {
  TiffDirectory d;
  AddLong(d, 254, 0);  // the main image
  AddImageLayout(d, o, bytes);
  AddShorts(d, 258, {16});
  AddShorts(d, 259, {1});
  AddShorts(d, 262, {32803});  // colour filter array
  AddShorts(d, 277, {1});
  AddShorts(d, 33421, {2, 2});
  AddBytes(d, 33422, kByte, {0, 1, 1, 2});
  AddBytes(d, 50710, kByte, {0, 1, 2});
  AddShorts(d, 50711, {1});
  AddLong(d, 50717, 65535);  // WhiteLevel
  return d;
}

void AddCameraFields(TiffDirectory& d, const DngOptions& o) {
  AddAscii(d, 271, o.make);
  AddAscii(d, 272, o.model);
  if (o.orientation != 0) AddShorts(d, 274, {static_cast<uint32_t>(o.orientation)});
  AddBytes(d, 50706, kByte, {1, 4, 0, 0});
  AddBytes(d, 50707, kByte, {1, 1, 0, 0});
  AddAscii(d, 50708, o.make + " " + o.model);
  // XYZ (D65) to linear sRGB, so that the camera's channels are sRGB's own.
  AddFractions(d, 50721, kSRational, {3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570});
  AddFractions(d, 50728, kRational, {1.0, 1.0, 1.0});
  AddShorts(d, 50778, {21});  // D65
}

TiffDirectory ExifDirectory(const DngOptions& o) {
  TiffDirectory d;
  AddBytes(d, 36864, kUndefined, {'0', '2', '3', '0'});
  AddAscii(d, 36867, o.dateTimeOriginal);
  return d;
}

bool WriteAll(const std::string& path, const std::vector<uint8_t>& head, const std::vector<uint8_t>& preview,
              const std::vector<uint8_t>& mosaic) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  for (const std::vector<uint8_t>* part : {&head, &preview, &mosaic})
    if (!part->empty() && std::fwrite(part->data(), 1, part->size(), file.get()) != part->size()) return false;
  return std::fclose(file.release()) == 0;
}

}  // namespace

std::vector<uint8_t> SceneJpeg(const DngOptions& o) {
  BitmapPtr bitmap = AdoptBitmap(FreeImage_Allocate(o.width, o.height, 24));
  if (!bitmap) return {};
  Noise noise{99, o.noise};
  for (int y = 0; y < o.height; ++y) {
    BYTE* row = FreeImage_GetScanLine(bitmap.get(), o.height - 1 - y);
    for (int x = 0; x < o.width; ++x, row += 3) {
      const Rgb8 c = SceneColor(o, x, y, noise);
      row[FI_RGBA_RED] = static_cast<BYTE>(c.red);
      row[FI_RGBA_GREEN] = static_cast<BYTE>(c.green);
      row[FI_RGBA_BLUE] = static_cast<BYTE>(c.blue);
    }
  }
  const std::vector<uint8_t>& profile = o.previewProfile;
  if (!profile.empty() && !FreeImage_CreateICCProfile(bitmap.get(), const_cast<uint8_t*>(profile.data()),
                                                      static_cast<long>(profile.size())))
    return {};
  MemoryStreamPtr stream(FreeImage_OpenMemory());
  if (!FreeImage_SaveToMemory(FIF_JPEG, bitmap.get(), stream.get(), 90 | JPEG_SUBSAMPLING_444)) return {};
  BYTE* data = nullptr;
  DWORD size = 0;
  FreeImage_AcquireMemory(stream.get(), &data, &size);
  return std::vector<uint8_t>(data, data + size);
}

bool WriteTestDng(const std::string& path, const DngOptions& o) {
  if (o.width < 2 || o.height < 2 || int64_t{o.width} * o.height > (int64_t{1} << 30)) return false;
  const std::vector<uint8_t> preview = o.preview ? SceneJpeg(o) : std::vector<uint8_t>{};
  if (o.preview && preview.empty()) return false;
  std::vector<uint8_t> mosaic = Mosaic(o);
  const auto mosaicBytes = static_cast<uint32_t>(mosaic.size());

  TiffDirectory first = o.preview ? TiffDirectory{} : MosaicDirectory(o, mosaicBytes);
  TiffDirectory sub = o.preview ? MosaicDirectory(o, mosaicBytes) : TiffDirectory{};
  if (o.preview) {
    AddLong(first, 254, 1);  // a reduced-resolution (preview) image
    AddImageLayout(first, o, static_cast<uint32_t>(o.previewLengthShare * static_cast<double>(preview.size())));
    AddShorts(first, 258, {8, 8, 8});
    AddShorts(first, 259, {7});  // JPEG
    AddShorts(first, 262, {6});  // YCbCr
    AddShorts(first, 277, {3});
    AddLong(first, 330, 0);  // SubIFDs
  }
  AddCameraFields(first, o);
  TiffDirectory exif = o.exif ? ExifDirectory(o) : TiffDirectory{};
  if (o.exif) AddLong(first, 34665, 0);

  const size_t firstAt = 8;
  const size_t exifAt = firstAt + DirectorySize(first);
  const size_t subAt = exifAt + (o.exif ? DirectorySize(exif) : 0);
  const size_t previewAt = subAt + (o.preview ? DirectorySize(sub) : 0);
  const size_t mosaicAt = previewAt + preview.size();
  if (mosaicAt + mosaic.size() > UINT32_MAX) return false;
  SetLong(first, 34665, static_cast<uint32_t>(exifAt));
  SetLong(first, 330, static_cast<uint32_t>(subAt));
  SetLong(first, 273, static_cast<uint32_t>(o.preview ? previewAt : mosaicAt));
  SetLong(sub, 273, static_cast<uint32_t>(mosaicAt));

  std::vector<uint8_t> head = {'I', 'I', 42, 0};
  Put32(head, static_cast<uint32_t>(firstAt));
  AppendDirectory(head, first);
  if (o.exif) AppendDirectory(head, exif);
  if (o.preview) AppendDirectory(head, sub);
  return WriteAll(path, head, preview, mosaic);
}
