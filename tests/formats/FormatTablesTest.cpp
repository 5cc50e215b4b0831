#include "formats/FormatTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "convert/ConversionJob.h"
#include "platform/Paths.h"
#include "support/ProgramState.h"

namespace {

TEST(FormatTablesTest, AcceptedInputExtensionsAreTheCameraRawGroup) {
  ResetProgramState();
  const std::set<std::string> expected = {"raw", "raw1", "raw2", "3fr", "arw", "sr2", "srf", "bay", "bmq", "cap",
                                          "iiq", "eip",  "cine", "cr2", "crw", "cs1", "dc2", "dcr", "drf", "dsc",
                                          "k25", "kc2",  "kdc",  "dcs", "dng", "erf", "fff", "ia",  "sti", "mdc",
                                          "mrw", "mef",  "mos",  "nef", "nrw", "orf", "pef", "ptx", "pxn", "qtk",
                                          "raf", "rdc",  "rw2",  "rwz", "x3f", "ari", "r3d", "rwl", "cr3", "srw"};
  ASSERT_EQ(expected.size(), 50u);
  EXPECT_EQ(AcceptedInputExtensions.size(), 50u);
  EXPECT_EQ(std::set<std::string>(AcceptedInputExtensions.begin(), AcceptedInputExtensions.end()), expected);
  EXPECT_EQ(AcceptedInputFormats, std::vector<std::string>{"raw"});
}

TEST(FormatTablesTest, InputTableHoldsEveryFamily) {
  ResetProgramState();
  EXPECT_EQ(InputExtensionTable.size(), 81u);
  struct Row {
    const char* extension;
    const char* formatKey;
    const char* description;
  };
  const Row rows[] = {{"bmp", "bmp", "Windows or OS/2 Bitmap"},
                      {"dib", "bmp", "Windows or OS/2 Bitmap"},
                      {"emz", "emf", "Enhanced Metafile Format"},
                      {"hdri", "hdr", "High Dynamic Range File"},
                      {"jif", "jpg", "JPEG File"},
                      {"ppcd", "pcd", "Kodak PhotoCD File"},
                      {"pct", "pic", "Macintosh PICT"},
                      {"targa", "tga", "Truevision Targa"},
                      {"tif", "tiff", "Tagged Image File Format"},
                      {"wmz", "wmf", "Windows Metafile Format"},
                      {"apm", "wmf", "Aldus Placeable Metafile"},
                      {"raw2", "raw", "Camera RAW Image"},
                      {"mef", "raw", "Mamiya Camera RAW Image"},
                      {"mos", "raw", "Mamiya Camera RAW Image"},
                      {"dcs", "raw", "Kodak Camera RAW Image"},
                      {"rwl", "raw", "Leica Camera RAW Image"},
                      {"qtk", "raw", "Apple Quicktake Camera RAW Image"},
                      {"cr3", "raw", "Canon Camera RAW Image"},
                      {"srw", "raw", "Samsung Camera RAW Image"}};
  for (const Row& row : rows) {
    auto entry = InputExtensionTable.find(row.extension);
    ASSERT_NE(entry, InputExtensionTable.end()) << row.extension;
    EXPECT_EQ(entry->second.formatKey, row.formatKey) << row.extension;
    EXPECT_EQ(entry->second.description, row.description) << row.extension;
    EXPECT_EQ(entry->second.formatCode, kNoFormatCode) << row.extension;
    EXPECT_TRUE(entry->second.bitDepths.empty()) << row.extension;
  }
  size_t rawEntries = std::count_if(InputExtensionTable.begin(), InputExtensionTable.end(),
                                    [](const auto& e) { return e.second.formatKey == "raw"; });
  EXPECT_EQ(rawEntries, 50u);
}

struct PathCase {
  const char* path;
  const char* extension;
  bool accepted;
};

void PrintTo(const PathCase& c, std::ostream* out) { *out << c.path; }

class InputPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(InputPathTest, ExtensionAndAcceptance) {
  ResetProgramState();
  const PathCase& c = GetParam();
  std::string extension = FileExtension(c.path);
  EXPECT_EQ(extension, c.extension);
  EXPECT_EQ(IsAcceptedInputExtension(extension), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, InputPathTest,
    ::testing::Values(PathCase{"IMG_0001.CR2", "CR2", true}, PathCase{"/photos/IMG_0001.jpg", "jpg", false},
                      PathCase{"/photos/ÉTÉ_ÅRHUS.CR2", "CR2", true}, PathCase{"/photos/été.Nef", "Nef", true},
                      PathCase{"/photos/IMG_0001", "", false}, PathCase{"/photos/.cr2", "", false},
                      PathCase{".cr2", "", false}, PathCase{"C:\\photos\\.cr2", "", false},
                      PathCase{"/photos/a.b c", "", false}, PathCase{"/a.b/c", "", false},
                      PathCase{"C:\\a.b\\c", "", false}, PathCase{"/photos/archive.tar.nef", "nef", true},
                      PathCase{"/my photos/day one/a.cr2", "cr2", true}, PathCase{"\"/my photos/a.cr2\"", "cr2", true},
                      PathCase{"\"C:\\my photos\\a.DNG\"", "DNG", true}, PathCase{"/photos/a.", "", false},
                      PathCase{"/card/DCIM/IMG_0001.CR3", "CR3", true}, PathCase{"SAM_0001.srw", "srw", true},
                      // A look-alike letter is not lower-cased into an accepted extension.
                      PathCase{"/photos/a.CR２", "CR２", false}));

TEST(FormatTablesTest, AcceptedOutputFormatIsExactlyJpg) {
  ResetProgramState();
  EXPECT_TRUE(IsAcceptedOutputFormat("jpg"));
  for (const char* refused : {"JPG", "png", ".jpg", "jpeg", "", "jpg "})
    EXPECT_FALSE(IsAcceptedOutputFormat(refused)) << '"' << refused << '"';
}

TEST(FormatTablesTest, PermittedBitDepths) {
  ResetProgramState();
  struct DepthCase {
    const char* extension;
    std::vector<int32_t> permitted;
    std::vector<int32_t> refused;
  };
  const DepthCase cases[] = {
      {"jpg", {0, 8, 24}, {1, 4, 16, 32, 48, 96, -8}},
      {"tiff", {0, 1, 4, 8, 24, 32, 48, 96}, {16, 2}},
      {"png", {0, 1, 4, 8, 24, 32, 48}, {16, 96}},
      {"pbm", {0, 1}, {8, 24}},
      {"wbmp", {0, 1}, {8, 24}},
      {"jxr", {1, 8, 16, 24, 32, 48, 96}, {4}},
      // Output extensions without a row permit only the automatic depth.
      {"dds", {0}, {8, 24, 32}},
      {"psd", {0}, {8, 24}},
  };
  for (const DepthCase& c : cases) {
    for (int32_t depth : c.permitted)
      EXPECT_TRUE(IsPermittedBitDepth(c.extension, depth)) << c.extension << " " << depth;
    for (int32_t depth : c.refused)
      EXPECT_FALSE(IsPermittedBitDepth(c.extension, depth)) << c.extension << " " << depth;
  }
}

TEST(FormatTablesTest, OutputTableRows) {
  ResetProgramState();
  struct Row {
    const char* extension;
    FormatCode code;
    const char* bitDepths;
  };
  const Row rows[] = {{"bmp", 0, "1,4,8,16,24,32"},
                      {"exr", 29, "96"},
                      {"gif", 25, "8"},
                      {"hdr", 26, "96"},
                      {"ico", 1, "1,4,8,16,24,32"},
                      {"j2k", 30, "8,24,32,48"},
                      {"jng", 3, "24,32"},
                      {"jp2", 31, "8,24,32,48"},
                      {"jpg", 2, "8,24"},
                      {"jxr", 36, "1,8,16,24,32,48,96"},
                      {"pbm", 7, "1"},
                      {"pfm", 32, "96"},
                      {"pgm", 11, "8"},
                      {"png", 13, "1,4,8,24,32,48"},
                      {"ppm", 14, "24,48"},
                      {"tga", 17, "8,16,24,32"},
                      {"tiff", 18, "1,4,8,24,32,48,96"},
                      {"wbmp", 19, "1"},
                      {"webp", 35, "24,32"},
                      {"xpm", 23, "24"}};
  ASSERT_EQ(OutputFormatTable.size(), std::size(rows));
  for (const Row& row : rows) {
    auto entry = OutputFormatTable.find(row.extension);
    ASSERT_NE(entry, OutputFormatTable.end()) << row.extension;
    EXPECT_EQ(entry->second.formatCode, row.code) << row.extension;
    EXPECT_EQ(entry->second.formatKey, row.extension);
    EXPECT_EQ(entry->second.bitDepths, row.bitDepths) << row.extension;
    EXPECT_FALSE(entry->second.description.empty()) << row.extension;
  }
  EXPECT_EQ(OutputFormatTable.at("jpg").description, "JPEG File Format");
  EXPECT_EQ(PermittedBitDepths("tiff"), (std::vector<int32_t>{1, 4, 8, 24, 32, 48, 96}));
  EXPECT_TRUE(PermittedBitDepths("pcx").empty());
}

}  // namespace
