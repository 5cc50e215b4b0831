#include "pipeline/ExifOrientation.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/BitmapPtr.h"

namespace {

struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

// A raw EXIF block: optional "Exif\0\0", a TIFF header and one directory of `entries`.
std::vector<uint8_t> ExifBlock(bool littleEndian, bool prefix, const std::vector<Entry>& entries) {
  std::vector<uint8_t> b;
  if (prefix) b.insert(b.end(), {'E', 'x', 'i', 'f', 0, 0});
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> 8 * (littleEndian ? i : bytes - 1 - i)));
  };
  b.push_back(littleEndian ? 'I' : 'M');
  b.push_back(littleEndian ? 'I' : 'M');
  put(42, 2);
  put(8, 4);
  put(static_cast<uint32_t>(entries.size()), 2);
  for (const Entry& e : entries) {
    put(e.tag, 2);
    put(e.type, 2);
    put(e.count, 4);
    if (e.type == 3) {
      put(e.value, 2);
      put(0, 2);
    } else {
      put(e.value, 4);
    }
  }
  put(0, 4);
  return b;
}

// Where the value of entry `index` starts.
size_t ValueAt(bool prefix, size_t index) { return (prefix ? 6 : 0) + 8 + 2 + 12 * index + 8; }

const Entry kMake{0x010F, 2, 4, 0x41424300};

TEST(ExifOrientationTest, SetsTheOrientationEntryInEitherByteOrder) {
  for (bool littleEndian : {true, false})
    for (bool prefix : {true, false})
      for (uint16_t type : {uint16_t{3}, uint16_t{4}}) {
        SCOPED_TRACE(std::to_string(littleEndian) + std::to_string(prefix) + " type " + std::to_string(type));
        std::vector<uint8_t> block = ExifBlock(littleEndian, prefix, {kMake, {0x0112, type, 1, 6}});
        std::vector<uint8_t> expected = ExifBlock(littleEndian, prefix, {kMake, {0x0112, type, 1, 1}});
        ASSERT_TRUE(SetOrientationInExifBlock(block, 1));
        EXPECT_EQ(block, expected);
      }
}

TEST(ExifOrientationTest, LeavesBlocksWithoutASafeEntryUntouched) {
  const struct {
    const char* name;
    std::vector<uint8_t> block;
  } cases[] = {
      {"no orientation", ExifBlock(true, true, {kMake})},
      {"orientation with two values", ExifBlock(true, true, {{0x0112, 3, 2, 6}})},
      {"orientation as text", ExifBlock(true, true, {{0x0112, 2, 1, 6}})},
      {"empty", {}},
      {"only the prefix", {'E', 'x', 'i', 'f', 0, 0}},
      {"not a TIFF header", {'E', 'x', 'i', 'f', 0, 0, 'X', 'X', 42, 0, 8, 0, 0, 0}},
      {"directory beyond the end", {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"cut inside the directory",
       [] {
         std::vector<uint8_t> b = ExifBlock(true, false, {kMake, {0x0112, 3, 1, 6}});
         b.resize(ValueAt(false, 1) - 2);
         return b;
       }()},
      {"entry count larger than the block",
       [] {
         std::vector<uint8_t> b = ExifBlock(true, false, {kMake});
         b[8] = 0xFF;
         b[9] = 0xFF;
         return b;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> block = c.block;
    EXPECT_FALSE(SetOrientationInExifBlock(block, 1));
    EXPECT_EQ(block, c.block);
  }
}

// A tag of `type` holding `count` values of `bytes` in total.
TagPtr MakeTag(const char* key, uint16_t id, FREE_IMAGE_MDTYPE type, DWORD count, DWORD bytes, const void* value) {
  TagPtr tag(FreeImage_CreateTag());
  FreeImage_SetTagKey(tag.get(), key);
  FreeImage_SetTagID(tag.get(), id);
  FreeImage_SetTagType(tag.get(), type);
  FreeImage_SetTagCount(tag.get(), count);
  FreeImage_SetTagLength(tag.get(), bytes);
  FreeImage_SetTagValue(tag.get(), value);
  return tag;
}

TEST(ExifOrientationTest, MarksTheRawBlockTheParsedTagAndTheXmpPacket) {
  BitmapPtr bitmap(FreeImage_Allocate(4, 4, 24));
  const std::vector<uint8_t> block = ExifBlock(false, true, {kMake, {0x0112, 3, 1, 8}});
  const auto size = static_cast<DWORD>(block.size());
  const WORD eight = 8;
  FreeImage_SetMetadata(FIMD_EXIF_RAW, bitmap.get(), "ExifRaw",
                        MakeTag("ExifRaw", 0, FIDT_BYTE, size, size, block.data()).get());
  FreeImage_SetMetadata(FIMD_EXIF_MAIN, bitmap.get(), "Orientation",
                        MakeTag("Orientation", 0x0112, FIDT_SHORT, 1, 2, &eight).get());
  // Viewers that read XMP turned a picture already marked upright in EXIF a second time.
  const std::string xmp = R"(<d tiff:Orientation="8"/><tiff:Orientation> 8 </tiff:Orientation>)";
  const auto xmpSize = static_cast<DWORD>(xmp.size());
  FreeImage_SetMetadata(FIMD_XMP, bitmap.get(), "XMLPacket",
                        MakeTag("XMLPacket", 0, FIDT_ASCII, xmpSize, xmpSize, xmp.data()).get());

  MarkMetadataUpright(bitmap.get());

  FITAG* tag = nullptr;
  ASSERT_TRUE(FreeImage_GetMetadata(FIMD_EXIF_RAW, bitmap.get(), "ExifRaw", &tag));
  ASSERT_EQ(FreeImage_GetTagLength(tag), size);
  const auto* bytes = static_cast<const uint8_t*>(FreeImage_GetTagValue(tag));
  const size_t at = ValueAt(true, 1);
  EXPECT_EQ(bytes[at] << 8 | bytes[at + 1], 1);
  EXPECT_EQ(std::memcmp(bytes, block.data(), at), 0) << "everything before the value is kept";
  ASSERT_TRUE(FreeImage_GetMetadata(FIMD_EXIF_MAIN, bitmap.get(), "Orientation", &tag));
  EXPECT_EQ(*static_cast<const WORD*>(FreeImage_GetTagValue(tag)), 1);
  ASSERT_TRUE(FreeImage_GetMetadata(FIMD_XMP, bitmap.get(), "XMLPacket", &tag));
  EXPECT_EQ(std::string(static_cast<const char*>(FreeImage_GetTagValue(tag)), FreeImage_GetTagLength(tag)),
            R"(<d tiff:Orientation="1"/><tiff:Orientation> 1 </tiff:Orientation>)");
  MarkMetadataUpright(nullptr);
}

}  // namespace
