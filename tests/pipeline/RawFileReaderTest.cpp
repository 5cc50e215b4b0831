// The RAW decoder's file reader: it must hand over exactly the file's bytes whatever the
// pattern of reads and seeks, and the watch must keep an oversized JPEG frame header away
// from the decoder however the reads cut it.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "pipeline/RawFileReaderIO.h"
#include "support/TestFiles.h"

namespace {

// Deterministic bytes without 0xFF, so that only the headers a test plants can match.
std::vector<uint8_t> PlainBytes(size_t length) {
  std::vector<uint8_t> bytes(length);
  uint32_t state = 12345;
  for (uint8_t& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>((state >> 16) % 255);
  }
  return bytes;
}

struct Step {
  int64_t seekOffset;  // applied with seekOrigin before the read
  int seekOrigin;
  size_t readLength;
};

// Reads cross the 64 KiB buffer, go straight to the file when large, and run into the end.
TEST(RawFileReader, HandsOverTheFilesBytesForEveryPatternOfReadsAndSeeks) {
  TempFolder folder;
  const std::vector<uint8_t> file = PlainBytes(200000);
  WriteBytes(folder / "data.raw", file);
  const Step steps[] = {
      {0, SEEK_SET, 1},        {0, SEEK_CUR, 10},         {65530, SEEK_SET, 12}, {0, SEEK_CUR, 1},
      {-100, SEEK_CUR, 70000}, {0, SEEK_CUR, 100000},     {-5, SEEK_END, 10},    {10, SEEK_END, 4},
      {131071, SEEK_SET, 1},   {131072, SEEK_SET, 65536}, {3, SEEK_SET, 0},      {199999, SEEK_SET, 1},
  };
  RawFileReader reader;
  ASSERT_TRUE(OpenRawFileReader(folder / "data.raw", reader));
  for (const Step& step : steps) {
    ASSERT_EQ(SeekRawFile(reader, step.seekOffset, step.seekOrigin), 0) << step.seekOffset;
    const int64_t start = reader.position;
    std::vector<uint8_t> got(step.readLength);
    const size_t count = ReadRawFile(reader, got.data(), got.size());
    const size_t expected = start >= static_cast<int64_t>(file.size())
                                ? 0
                                : std::min(step.readLength, file.size() - static_cast<size_t>(start));
    ASSERT_EQ(count, expected) << "read of " << step.readLength << " at " << start;
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(count), file.begin() + start))
        << "read of " << step.readLength << " at " << start;
    EXPECT_EQ(reader.position, start + static_cast<int64_t>(count));
  }
}

TEST(RawFileReader, ByteByByteReadsThroughTheFreeImageCallbacksMatchTheFile) {
  TempFolder folder;
  const std::vector<uint8_t> file = PlainBytes(140000);
  WriteBytes(folder / "data.raw", file);
  RawFileReader reader;
  ASSERT_TRUE(OpenRawFileReader(folder / "data.raw", reader));
  FreeImageIO io = RawFileReaderIO();
  std::vector<uint8_t> got;
  for (uint8_t byte = 0; io.read_proc(&byte, 1, 1, &reader) == 1;) got.push_back(byte);
  EXPECT_EQ(got, file);
  EXPECT_EQ(io.tell_proc(&reader), static_cast<long>(file.size()));
  // An item cut short by the end of the file does not count.
  ASSERT_EQ(io.seek_proc(&reader, -3, SEEK_END), 0);
  uint32_t item = 0;
  EXPECT_EQ(io.read_proc(&item, 4, 1, &reader), 0u);
}

TEST(RawFileReader, RefusesSeeksBeforeTheStartAndUnknownOrigins) {
  TempFolder folder;
  WriteBytes(folder / "data.raw", PlainBytes(100));
  RawFileReader reader;
  ASSERT_TRUE(OpenRawFileReader(folder / "data.raw", reader));
  ASSERT_EQ(SeekRawFile(reader, 40, SEEK_SET), 0);
  EXPECT_EQ(SeekRawFile(reader, -41, SEEK_CUR), -1);
  EXPECT_EQ(SeekRawFile(reader, -101, SEEK_END), -1);
  EXPECT_EQ(SeekRawFile(reader, INT64_MAX, SEEK_END), -1);
  EXPECT_EQ(SeekRawFile(reader, 0, 7), -1);
  EXPECT_EQ(reader.position, 40);
}

TEST(RawFileReader, OpensOnlyRegularFiles) {
  TempFolder folder;
  RawFileReader reader;
  EXPECT_FALSE(OpenRawFileReader(folder / "missing.raw", reader));
  EXPECT_FALSE(OpenRawFileReader(folder.path(), reader));
}

struct FrameCase {
  const char* name;
  uint8_t marker, length, precision;
  int height, width;
  bool oversized;
};

TEST(RawFileReader, TellsOversizedFrameHeadersByTheirStatedSize) {
  const FrameCase cases[] = {
      {"baseline colour, 30000 x 30000", 0xC0, 0x11, 8, 30000, 30000, true},
      {"progressive grey, 65535 wide", 0xC2, 0x0B, 8, 10, 65535, false},  // the longest side allowed
      {"extended 12-bit, 40000 x 40000", 0xC1, 0x11, 12, 40000, 40000, true},
      {"baseline 6000 x 4000", 0xC0, 0x11, 8, 4000, 6000, false},
      {"lossless mosaic frame", 0xC3, 0x11, 8, 30000, 30000, false},
      {"16-bit precision is no JPEG preview", 0xC0, 0x11, 16, 30000, 30000, false},
      {"zero height (stated later)", 0xC0, 0x11, 8, 0, 30000, false},
  };
  for (const FrameCase& c : cases) {
    const uint8_t header[kJpegFrameHeaderBytes] = {0xFF,
                                                   c.marker,
                                                   0,
                                                   c.length,
                                                   c.precision,
                                                   static_cast<uint8_t>(c.height >> 8),
                                                   static_cast<uint8_t>(c.height),
                                                   static_cast<uint8_t>(c.width >> 8),
                                                   static_cast<uint8_t>(c.width)};
    EXPECT_EQ(IsOversizedJpegFrame(header), c.oversized) << c.name;
  }
}

// A 30000 x 30000 baseline header planted at `at` in plain bytes.
std::vector<uint8_t> FileWithOversizedHeader(size_t length, size_t at) {
  std::vector<uint8_t> bytes = PlainBytes(length);
  const uint8_t header[] = {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x75, 0x30, 0x75, 0x30};
  std::copy(std::begin(header), std::end(header), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

// However the reads cut the header, the read that hands over its first byte is zeros.
TEST(RawFileReader, WatchHandsOverZerosInsteadOfAnOversizedFrameHeader) {
  const size_t kAt = 1000;
  const size_t readSizes[] = {1, 2, 5, 8, 9, 1001, 1005, 4096, 100000};
  TempFolder folder;
  const std::vector<uint8_t> file = FileWithOversizedHeader(3000, kAt);
  WriteBytes(folder / "claims.dng", file);
  for (size_t readSize : readSizes) {
    RawFileReader reader;
    ASSERT_TRUE(OpenRawFileReader(folder / "claims.dng", reader));
    reader.watchJpegFrames = true;
    std::vector<uint8_t> handedOver;
    std::vector<uint8_t> chunk(readSize);
    for (size_t got; (got = ReadRawFile(reader, chunk.data(), chunk.size())) > 0;)
      handedOver.insert(handedOver.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    ASSERT_EQ(handedOver.size(), file.size()) << "reads of " << readSize;
    EXPECT_TRUE(reader.sawOversizedJpegFrame) << "reads of " << readSize;
    EXPECT_EQ(handedOver[kAt], 0) << "reads of " << readSize;
    // Everything outside the read that held the marker arrives unchanged.
    const size_t chunkStart = kAt / readSize * readSize;
    const size_t chunkEnd = std::min(file.size(), chunkStart + readSize);
    for (size_t i = 0; i < file.size(); ++i) {
      if (i >= chunkStart && i < chunkEnd) continue;
      ASSERT_EQ(handedOver[i], file[i]) << "byte " << i << ", reads of " << readSize;
    }
  }
}

TEST(RawFileReader, WatchPassesHonestHeadersAndUnwatchedReadsUnchanged) {
  TempFolder folder;
  std::vector<uint8_t> honest = PlainBytes(500);
  const uint8_t header[] = {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x0F, 0xA0, 0x17, 0x70};  // 6000 x 4000
  std::copy(std::begin(header), std::end(header), honest.begin() + 100);
  WriteBytes(folder / "honest.dng", honest);
  WriteBytes(folder / "claims.dng", FileWithOversizedHeader(500, 100));
  // A header cut off by the end of the file states no size.
  std::vector<uint8_t> cut = FileWithOversizedHeader(500, 491);
  cut.pop_back();
  WriteBytes(folder / "cut.dng", cut);
  struct Case {
    const char* file;
    bool watch;
  } cases[] = {{"honest.dng", true}, {"claims.dng", false}, {"cut.dng", true}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> file = ReadBytes(folder / c.file);
    RawFileReader reader;
    ASSERT_TRUE(OpenRawFileReader(folder / c.file, reader));
    reader.watchJpegFrames = c.watch;
    std::vector<uint8_t> got(file.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(ReadRawFile(reader, &got[i], 1), 1u) << c.file;
    EXPECT_EQ(got, file) << c.file;
    EXPECT_FALSE(reader.sawOversizedJpegFrame) << c.file;
  }
}

}  // namespace
