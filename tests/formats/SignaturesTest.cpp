#include "formats/Signatures.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace {

struct SignatureCase {
  const char* what;
  std::vector<uint8_t> bytes;
  const char* expected;
};

void PrintTo(const SignatureCase& c, std::ostream* out) { *out << c.what; }

class SignatureTest : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(SignatureTest, NamesTheFile) {
  const SignatureCase& c = GetParam();
  TempFolder folder;
  std::string path = folder / "file.bin";
  WriteBytes(path, c.bytes);
  EXPECT_EQ(IdentifyFileSignature(path), c.expected) << c.what;
}

std::vector<uint8_t> Padded(std::vector<uint8_t> bytes, size_t length, uint8_t fill = 0x20) {
  bytes.resize(length, fill);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SignatureTest,
    ::testing::Values(
        SignatureCase{"BZ2, three bytes", {0x42, 0x5A, 0x68}, "BZ2"},
        SignatureCase{"BZ2 cut to two bytes", {0x42, 0x5A}, kUnrecognizedSignature},
        SignatureCase{"CR2 beats TIFF (LE)", Padded({0x49, 0x49, 0x2A, 0x00, 0x10, 0x00, 0x00, 0x00, 0x43, 0x52}, 64),
                      "CR2"},
        SignatureCase{"TIFF (LE) with another header offset",
                      Padded({0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00}, 64), "TIFF (LE)"},
        SignatureCase{
            "CR2 bytes cut before the end", {0x49, 0x49, 0x2A, 0x00, 0x10, 0x00, 0x00, 0x00, 0x43}, "TIFF (LE)"},
        SignatureCase{"TIFF (BE)", Padded({0x4D, 0x4D, 0x00, 0x2A}, 30), "TIFF (BE)"},
        SignatureCase{"FLV among the 0x46 rows", Padded({0x46, 0x4C, 0x56}, 30), "FLV"},
        SignatureCase{"FLIF", Padded({0x46, 0x4C, 0x49, 0x46}, 30), "FLIF"},
        SignatureCase{"MP3/ID3V2", Padded({0x49, 0x44, 0x33}, 30), "MP3/ID3V2"},
        SignatureCase{"RAR 1.5+", Padded({0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00}, 30), "RAR (1.5+)"},
        SignatureCase{"RAR 5.0+", Padded({0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00}, 30), "RAR (5.0+)"},
        SignatureCase{"JPEG/EXIF, both groups",
                      Padded({0xFF, 0xD8, 0xFF, 0xE1, 0x12, 0x34, 0x45, 0x78, 0x69, 0x66, 0x00, 0x00}, 40),
                      "JPEG/EXIF"},
        SignatureCase{"JPEG/EXIF start without the Exif group",
                      Padded({0xFF, 0xD8, 0xFF, 0xE1, 0x12, 0x34, 0x45, 0x78, 0x69, 0x67, 0x00, 0x00}, 40),
                      kUnrecognizedSignature},
        SignatureCase{"DJVU, both groups",
                      Padded({0x41, 0x54, 0x26, 0x54, 0x46, 0x4F, 0x52, 0x4D, 0, 0, 0, 0, 0x44, 0x4A, 0x56}, 40),
                      "DJVU"},
        SignatureCase{"DJVU, second group missing",
                      Padded({0x41, 0x54, 0x26, 0x54, 0x46, 0x4F, 0x52, 0x4D, 0, 0, 0, 0, 0x44, 0x4A}, 40, 0),
                      kUnrecognizedSignature},
        SignatureCase{"RIFF without a known form", Padded({0x52, 0x49, 0x46, 0x46, 1, 2, 3, 4, 0x41, 0x42}, 40),
                      kUnrecognizedSignature},
        SignatureCase{"one byte", {0x42}, kUnrecognizedSignature},
        SignatureCase{"text", {'h', 'e', 'l', 'l', 'o'}, kUnrecognizedSignature},
        SignatureCase{"empty file", {}, kUnrecognizedSignature}));

std::vector<uint8_t> SqliteHeader(size_t keep) {
  std::string text("SQLite format 3", 15);
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  bytes.resize(keep);
  return bytes;
}

// Only the first bytes count: a group must end within them and within the file.
TEST(SignaturesTest, GroupsMustLieWithinTheBytesRead) {
  TempFolder folder;
  std::string path = folder / "file.bin";

  WriteBytes(path, SqliteHeader(16));
  EXPECT_EQ(IdentifyFileSignature(path), "SQLITE/DB");
  WriteBytes(path, SqliteHeader(15));
  EXPECT_EQ(IdentifyFileSignature(path), kUnrecognizedSignature);

  std::vector<uint8_t> longFile = Padded(SqliteHeader(16), 1 << 16);
  WriteBytes(path, longFile);
  EXPECT_EQ(IdentifyFileSignature(path), "SQLITE/DB");

  // The XPM bytes stand at offset 20 of a longer file, behind a first byte that fits.
  std::vector<uint8_t> shifted(4096, 0x20);
  const uint8_t xpm[] = {0x2F, 0x2A, 0x20, 0x58, 0x50, 0x4D, 0x20, 0x2A, 0x2F};
  std::copy(std::begin(xpm), std::end(xpm), shifted.begin() + kSignatureReadLength);
  shifted[0] = 0x2F;
  WriteBytes(path, shifted);
  EXPECT_EQ(IdentifyFileSignature(path), kUnrecognizedSignature);
}

TEST(SignaturesTest, UnreadablePathsAreUnrecognized) {
  TempFolder folder;
  EXPECT_EQ(IdentifyFileSignature(folder / "missing.cr2"), kUnrecognizedSignature);
  EXPECT_EQ(IdentifyFileSignature(folder.path()), kUnrecognizedSignature);
  EXPECT_EQ(IdentifyFileSignature(""), kUnrecognizedSignature);
}

// Every row has the layout the lookup relies on, and a file made of a row's own bytes is
// named by that row (a row without a name leaves it unrecognised) and counts as known: no
// later row hides it and no group lies beyond the bytes read.
TEST(SignaturesTest, EveryRowNamesAFileMadeOfItsOwnBytes) {
  TempFolder folder;
  std::string path = folder / "row.bin";
  std::span<const FileSignature> table = FileSignatureTable();
  ASSERT_EQ(table.size(), 94u);
  uint8_t previousFirstByte = 0;
  std::set<uint8_t> finishedFirstBytes;
  for (size_t i = 0; i < table.size(); ++i) {
    const FileSignature& row = table[i];
    SCOPED_TRACE(std::string(row.name) + ", row " + std::to_string(i + 1));
    ASSERT_EQ(row.first.offset, 0);
    ASSERT_FALSE(row.first.bytes.empty());
    uint8_t firstByte = static_cast<uint8_t>(row.first.bytes[0]);
    if (i > 0 && firstByte != previousFirstByte) finishedFirstBytes.insert(previousFirstByte);
    EXPECT_EQ(finishedFirstBytes.count(firstByte), 0u) << "rows of one first byte are not together";
    previousFirstByte = firstByte;

    std::vector<uint8_t> bytes;
    for (const SignatureGroup& group : {row.first, row.second}) {
      if (group.bytes.empty()) continue;
      if (bytes.size() < group.offset + group.bytes.size()) bytes.resize(group.offset + group.bytes.size(), 0);
      for (size_t k = 0; k < group.bytes.size(); ++k) bytes[group.offset + k] = static_cast<uint8_t>(group.bytes[k]);
    }
    EXPECT_LE(bytes.size(), kSignatureReadLength);
    WriteBytes(path, bytes);
    EXPECT_EQ(IdentifyFileSignature(path), row.name.empty() ? kUnrecognizedSignature : row.name);
    EXPECT_TRUE(HasKnownFileSignature(path));
  }
}

}  // namespace
