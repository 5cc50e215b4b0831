// The direct JPEG writer promises FreeImage's file, byte for byte, so these tests compare
// bytes: the reference is FreeImage's own writer on the same bitmap, not a stored file.
#include "pipeline/JpegWriting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TestBitmaps.h"
#include "support/TestFiles.h"

namespace {

std::vector<uint8_t> FreeImageJpeg(FIBITMAP* bitmap, int flags) {
  MemoryStreamPtr stream(FreeImage_OpenMemory());
  if (!FreeImage_SaveToMemory(FIF_JPEG, bitmap, stream.get(), flags)) return {};
  BYTE* data = nullptr;
  DWORD size = 0;
  FreeImage_AcquireMemory(stream.get(), &data, &size);
  return std::vector<uint8_t>(data, data + size);
}

std::vector<uint8_t> DirectJpeg(FIBITMAP* bitmap, int flags, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return {};
  const bool written = WriteJpegDirectly(file, bitmap, flags);
  std::fclose(file);
  return written ? ReadBytes(path) : std::vector<uint8_t>{};
}

void SetTag(FIBITMAP* bitmap, FREE_IMAGE_MDMODEL model, const char* key, FREE_IMAGE_MDTYPE type,
            const std::string& value) {
  TagPtr tag(FreeImage_CreateTag());
  FreeImage_SetTagKey(tag.get(), key);
  FreeImage_SetTagType(tag.get(), type);
  FreeImage_SetTagCount(tag.get(), static_cast<DWORD>(type == FIDT_ASCII ? value.size() + 1 : value.size()));
  FreeImage_SetTagLength(tag.get(), static_cast<DWORD>(type == FIDT_ASCII ? value.size() + 1 : value.size()));
  FreeImage_SetTagValue(tag.get(), value.c_str());
  FreeImage_SetMetadata(model, bitmap, key, tag.get());
}

// A minimal EXIF block as FreeImage keeps it from a read file: the APP1 payload.
std::string ExifBlock() {
  std::string block("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 32);
  return block;
}

struct MetadataCase {
  const char* name;
  void (*attach)(FIBITMAP*);
};

const MetadataCase kMetadataCases[] = {
    {"none", [](FIBITMAP*) {}},
    {"comment", [](FIBITMAP* b) { SetTag(b, FIMD_COMMENTS, "Comment", FIDT_ASCII, "made by a test"); }},
    {"xmp", [](FIBITMAP* b) { SetTag(b, FIMD_XMP, "XMLPacket", FIDT_ASCII, "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>"); }},
    {"exif", [](FIBITMAP* b) { SetTag(b, FIMD_EXIF_RAW, "ExifRaw", FIDT_BYTE, ExifBlock()); }},
    {"icc",
     [](FIBITMAP* b) {
       std::string profile(700, '\x5a');
       FreeImage_CreateICCProfile(b, profile.data(), static_cast<long>(profile.size()));
     }},
    {"resolution",
     [](FIBITMAP* b) {
       FreeImage_SetDotsPerMeterX(b, 11811);
       FreeImage_SetDotsPerMeterY(b, 2835);
     }},
};

const int kFlagCases[] = {
    95 | JPEG_SUBSAMPLING_444,
    80 | JPEG_SUBSAMPLING_420,
    50 | JPEG_SUBSAMPLING_422 | JPEG_OPTIMIZE,
    7 | JPEG_SUBSAMPLING_411 | JPEG_PROGRESSIVE,
    100 | JPEG_SUBSAMPLING_444 | JPEG_BASELINE,
    75,
};

TEST(JpegWriting, WritesFreeImagesFileForEveryFlagAndMetadataKind) {
  TempFolder folder;
  for (const MetadataCase& metadata : kMetadataCases) {
    for (int flags : kFlagCases) {
      BitmapPtr bitmap = MakeTestBitmap(37, 23, 24, TestPattern::kGradient);
      metadata.attach(bitmap.get());
      const std::string label = std::string(metadata.name) + ", flags " + std::to_string(flags);
      ASSERT_TRUE(CanWriteJpegDirectly(bitmap.get(), flags)) << label;
      const std::vector<uint8_t> expected = FreeImageJpeg(bitmap.get(), flags);
      ASSERT_FALSE(expected.empty()) << label;
      EXPECT_EQ(DirectJpeg(bitmap.get(), flags, folder / "direct.jpg"), expected) << label;
    }
  }
}

TEST(JpegWriting, LeavesOtherBitmapsAndFlagsToFreeImage) {
  BitmapPtr rgb = MakeTestBitmap(16, 16, 24, TestPattern::kQuadrants);
  BitmapPtr grey = MakeTestBitmap(16, 16, 8, TestPattern::kQuadrants);
  BitmapPtr rgba = MakeTestBitmap(16, 16, 32, TestPattern::kQuadrants);
  BitmapPtr deep = MakeTestBitmap(16, 16, 48, TestPattern::kQuadrants);
  BitmapPtr withThumbnail = MakeTestBitmap(16, 16, 24, TestPattern::kQuadrants);
  BitmapPtr thumbnail = MakeTestBitmap(4, 4, 24, TestPattern::kQuadrants);
  FreeImage_SetThumbnail(withThumbnail.get(), thumbnail.get());
  BitmapPtr hugeDensity = MakeTestBitmap(16, 16, 24, TestPattern::kQuadrants);
  FreeImage_SetDotsPerMeterX(hugeDensity.get(), 4000000);
  const struct {
    const char* why;
    FIBITMAP* bitmap;
    int flags;
  } kCases[] = {
      {"no bitmap", nullptr, 95},
      {"8-bit grey", grey.get(), 95},
      {"32-bit", rgba.get(), 95},
      {"48-bit", deep.get(), 95},
      {"an embedded thumbnail", withThumbnail.get(), 95},
      {"a density a JFIF header cannot hold", hugeDensity.get(), 95},
      {"quality 0", rgb.get(), 0},
      {"quality 101", rgb.get(), 101},
      {"a named quality", rgb.get(), JPEG_QUALITYGOOD},
      {"two subsamplings", rgb.get(), 90 | JPEG_SUBSAMPLING_420 | JPEG_SUBSAMPLING_444},
      {"an unknown flag", rgb.get(), 90 | 0x80000},
  };
  for (const auto& c : kCases) EXPECT_FALSE(CanWriteJpegDirectly(c.bitmap, c.flags)) << c.why;
  EXPECT_TRUE(CanWriteJpegDirectly(rgb.get(), 90 | JPEG_SUBSAMPLING_420));
}

// A write that fails (here: a stream opened for reading) is reported, not ended in exit().
TEST(JpegWriting, ReportsAFailedWrite) {
  TempFolder folder;
  WriteText(folder / "target.jpg", "");
  std::FILE* file = std::fopen((folder / "target.jpg").c_str(), "rb");
  ASSERT_TRUE(file);
  BitmapPtr bitmap = MakeTestBitmap(300, 200, 24, TestPattern::kGradient);
  EXPECT_FALSE(WriteJpegDirectly(file, bitmap.get(), 95 | JPEG_SUBSAMPLING_444));
  std::fclose(file);
}

}  // namespace
