// Damaged and unusual input files through the real program: truncated at several lengths,
// header bytes inverted, empty, a folder, a pipe or a device named like a camera file, an
// unreadable file. Each run ends with a defined outcome - converted (the last decoder reads
// a file of no known signature as headerless pixels), "Conversion stopped" with exit status
// 1, or the request refused with exit status 2 - never a crash or a hang, and leaves a
// readable JPEG or nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/DamagedFiles.h"
#include "support/DngWriter.h"
#include "support/RunOutcomes.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

constexpr int64_t kAddressSpace = int64_t{4} << 30;
constexpr int kSeconds = 60;
constexpr long kPeakKilobytes = 768 * 1024;

using Bytes = std::vector<uint8_t>;
using Outcomes = std::set<Outcome>;
const Outcomes kConvertedOrStopped = {Outcome::kConverted, Outcome::kStopped};

std::string Describe(const Outcomes& outcomes) {
  std::string text;
  for (Outcome o : outcomes) text += (text.empty() ? "" : " or ") + ToString(o);
  return text;
}

class CorruptInput : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mkdir(Output().c_str(), 0755), 0); }
  std::string Output() const { return folder / "out"; }

  // Runs the program on `input` and checks the run; the output folder is emptied after.
  void ExpectDefinedOutcome(const std::string& input, const Outcomes& allowed, const std::string& label,
                            bool unprivileged = false) {
    const ProgramRun run = RunPixquillWith(
        {"-i", input, "-o", Output()}, {.addressSpaceBytes = kAddressSpace, .unprivileged = unprivileged}, kSeconds);
    const std::string abnormal = AbnormalEndOf(run, kPeakKilobytes);
    EXPECT_EQ(abnormal, "") << label;
    const Outcome outcome = OutcomeOf(run);
    EXPECT_TRUE(allowed.count(outcome)) << label << ": " << ToString(outcome) << ", expected " << Describe(allowed)
                                        << "\n"
                                        << run.stdoutText;
    EXPECT_EQ(OutputProblem(Output(), outcome == Outcome::kConverted), "") << label;
    for (const auto& entry : std::filesystem::directory_iterator(Output())) std::filesystem::remove(entry.path());
  }

  void ExpectDefinedOutcome(const Bytes& bytes, const std::string& name, const Outcomes& allowed,
                            const std::string& label) {
    WriteBytes(folder / name, bytes);
    ExpectDefinedOutcome(folder / name, allowed, label);
  }

  // The runs every damaged copy of a good file gets: cut at several lengths, and with
  // bytes of its header inverted.
  void ExpectDamagedCopiesHandled(const Bytes& good, const std::string& name) {
    for (size_t length :
         {size_t{1}, size_t{8}, size_t{16}, size_t{200}, size_t{4096}, good.size() / 2, good.size() - 1})
      if (length < good.size())
        ExpectDefinedOutcome(Truncated(good, length), name, kConvertedOrStopped,
                             name + " cut to " + std::to_string(length) + " bytes");
    const std::pair<size_t, size_t> ranges[] = {
        {0, 4}, {4, 8}, {8, 64}, {64, 512}, {good.size() / 3, good.size() / 3 + 64}};
    for (auto [from, to] : ranges)
      ExpectDefinedOutcome(Inverted(good, from, to), name, kConvertedOrStopped,
                           name + " with bytes " + std::to_string(from) + ".." + std::to_string(to) + " inverted");
  }

  TempFolder folder;
};

TEST_F(CorruptInput, DamagedMosaicDng) {
  ASSERT_TRUE(WriteTestDng(folder / "good.dng", DngOptions{}));
  ExpectDamagedCopiesHandled(ReadBytes(folder / "good.dng"), "photo.dng");
}

TEST_F(CorruptInput, DamagedDngWithPreviewAndExif) {
  DngOptions options;
  options.preview = true;
  options.exif = true;
  options.orientation = 6;
  ASSERT_TRUE(WriteTestDng(folder / "good.dng", options));
  ExpectDamagedCopiesHandled(ReadBytes(folder / "good.dng"), "photo.dng");
}

// Headers that claim absurd sizes are refused before any decoder allocates for them.
TEST_F(CorruptInput, HeadersClaimingHugeSizes) {
  ASSERT_TRUE(WriteTestDng(folder / "good.dng", DngOptions{}));
  Bytes mosaic = ReadBytes(folder / "good.dng");
  ASSERT_TRUE(SetTiffImageSize(mosaic, 65000, 65000));
  ExpectDefinedOutcome(mosaic, "mosaic.dng", kConvertedOrStopped, "mosaic claiming 65000 x 65000");

  DngOptions options;
  options.preview = true;
  ASSERT_TRUE(WriteTestDng(folder / "good.dng", options));
  Bytes preview = ReadBytes(folder / "good.dng");
  ASSERT_TRUE(SetJpegFrameSize(preview, 65000, 65000));
  ExpectDefinedOutcome(preview, "preview.dng", {Outcome::kConverted}, "preview claiming 65000 x 65000");

  Bytes jpeg = SmallJpeg(32, 32);
  ASSERT_TRUE(SetJpegFrameSize(jpeg, 65000, 65000));
  ExpectDefinedOutcome(jpeg, "picture.cr2", kConvertedOrStopped, "JPEG named .cr2 claiming 65000 x 65000");
}

// LibRaw reports a cut file ("Unexpected end of file") and damaged data ("data corrupted
// at ...") on standard error, as libjpeg does inside it: that reached the console despite -q.
TEST_F(CorruptInput, LibraryMessagesStayOffTheConsole) {
  ASSERT_TRUE(WriteTestDng(folder / "good.dng", DngOptions{}));
  const Bytes good = ReadBytes(folder / "good.dng");
  WriteBytes(folder / "cut.dng", Truncated(good, good.size() / 2));
  const ProgramRun run = RunPixquill({"-q", "-i", folder / "cut.dng", "-o", Output(), "--raw-load-as=24"});
  EXPECT_EQ(ToString(OutcomeOf(run)), ToString(Outcome::kStopped)) << run.stdoutText;
  EXPECT_EQ(run.stderrText, "");
}

// Cut short, renamed or of a kind LibRaw does not read: no square of noise reported converted.
TEST_F(CorruptInput, AFileOfAKnownKindThatNoDecoderTakesFails) {
  ASSERT_TRUE(WriteTestDng(folder / "good.dng", DngOptions{.preview = true}));
  const auto followed = [](std::string head) { return head.append(4000, '\x5A'), Bytes(head.begin(), head.end()); };
  ExpectDefinedOutcome(Truncated(ReadBytes(folder / "good.dng"), 300), "cut.dng", {Outcome::kStopped}, "cut DNG");
  ExpectDefinedOutcome(followed("\x89PNG\r\n\x1A\n"), "picture.dng", {Outcome::kStopped}, "PNG named .dng");
  ExpectDefinedOutcome(followed(std::string("\0\0\0\x18\x66typcrx \0\0\0\x01", 16)), "photo.cr2", {Outcome::kStopped},
                       "CR3 container without its boxes");
}

TEST_F(CorruptInput, EmptyFileIsRefused) {
  ExpectDefinedOutcome(Bytes{}, "empty.dng", {Outcome::kRefused}, "zero-length file");
}

TEST_F(CorruptInput, FolderNamedLikeACameraFileIsRefused) {
  ASSERT_EQ(mkdir((folder / "folder.nef").c_str(), 0755), 0);
  ExpectDefinedOutcome(folder / "folder.nef", {Outcome::kRefused}, "folder named .nef");
}

// Opening a pipe for reading would wait for a writer that never comes, and a device never
// ends: neither has a size, so neither is read.
TEST_F(CorruptInput, PipesAndDevicesAreRefusedWithoutWaiting) {
  ASSERT_EQ(mkfifo((folder / "pipe.dng").c_str(), 0644), 0);
  ExpectDefinedOutcome(folder / "pipe.dng", {Outcome::kRefused}, "pipe named .dng");
  ASSERT_EQ(symlink("/dev/zero", (folder / "zero.dng").c_str()), 0);
  ExpectDefinedOutcome(folder / "zero.dng", {Outcome::kRefused}, "link to /dev/zero named .dng");
}

TEST_F(CorruptInput, UnreadableFileStops) {
  ASSERT_TRUE(WriteTestDng(folder / "locked.dng", DngOptions{}));
  ASSERT_EQ(chmod((folder / "locked.dng").c_str(), 0), 0);
  ASSERT_TRUE(HandToUnprivilegedUser(folder.path()) && HandToUnprivilegedUser(Output()));
  ExpectDefinedOutcome(folder / "locked.dng", {Outcome::kStopped}, "file without read permission", true);
}

TEST_F(CorruptInput, DamagedRealCameraFiles) {
  const std::string samples = SamplesFolder();
  if (samples.empty()) GTEST_SKIP() << "no camera samples in ../shared/samples/raw";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(samples)) {
    const std::string name = entry.path().filename();
    if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
    ++files;
    ExpectDamagedCopiesHandled(ReadBytes(entry.path()), name);
  }
  EXPECT_GT(files, 0);
}

}  // namespace
