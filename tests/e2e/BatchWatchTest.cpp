// End-to-end runs of pixquillbatch --watch: a watch runs in the background while the test
// writes, renames and rewrites generated DNG files in its folder, as a camera, a card
// import or a copy tool would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "batch/BatchLog.h"
#include "platform/Programs.h"
#include "support/DngWriter.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

using Lines = std::vector<std::string>;

// The width a JPEG's frame header gives; 0 when there is none.
int JpegWidth(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  for (size_t at = 2; at + 9 < bytes.size(); at += 2u + (bytes[at + 2] << 8 | bytes[at + 3])) {
    if (bytes[at] != 0xFF) return 0;
    if (bytes[at + 1] == 0xC0 || bytes[at + 1] == 0xC2) return bytes[at + 7] << 8 | bytes[at + 8];
  }
  return 0;
}

// Waits, a bounded number of times, until `done` holds.
bool WaitUntil(const std::function<bool()>& done, int tenthsOfSeconds = 600) {
  for (int i = 0; i < tenthsOfSeconds; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(got));
  return text;
}

// The peak resident memory of a running process, in kilobytes.
long PeakKilobytes(pid_t pid) {
  const std::vector<uint8_t> bytes = ReadBytes("/proc/" + std::to_string(pid) + "/status");
  const std::string status(bytes.begin(), bytes.end());
  const size_t at = status.find("VmHWM:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

DngOptions Sized(int width, int height, int noise = 0) {
  DngOptions options;
  options.width = width;
  options.height = height;
  options.noise = noise;
  return options;
}

// Processes whose command line holds `text`.
size_t ProcessesNaming(const std::string& text) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    if (!std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0]))) continue;
    const std::vector<uint8_t> bytes = ReadBytes(entry.path().string() + "/cmdline");
    count += std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
  }
  return count;
}

struct WatchEnd {
  int exitStatus = -1;
  std::string output;
};

class BatchWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir(in().c_str(), 0755);
    mkdir(out().c_str(), 0755);
    setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
  }
  void TearDown() override {
    if (watch) Stop(SIGKILL);
    unsetenv("XDG_STATE_HOME");
  }
  std::string in() const { return folder / "in"; }
  std::string out() const { return folder / "out"; }
  std::string staging() const { return folder / "staging.dng"; }

  // Starts the watch; it has listed its folder once the JPEG of a file put there first
  // exists.
  void Start(const Lines& extra = {}) {
    Lines command = {BatchBinary(), "--watch", in(), "-o", out()};
    command.insert(command.end(), extra.begin(), extra.end());
    UniqueFd input(open("/dev/null", O_RDONLY | O_CLOEXEC));
    watch = StartProgram(command, {}, input.get(), SIGKILL);
    ASSERT_TRUE(watch);
  }
  WatchEnd Stop(int signal) {
    kill(watch->pid, signal);
    WatchEnd end;
    end.exitStatus = WaitForProgram(watch->pid);
    end.output = ReadAll(watch->output.get());
    watch.reset();
    return end;
  }
  // The bytes of a generated DNG.
  std::vector<uint8_t> DngBytes(DngOptions options = {}) {
    EXPECT_TRUE(WriteTestDng(staging(), options));
    std::vector<uint8_t> bytes = ReadBytes(staging());
    std::remove(staging().c_str());
    return bytes;
  }
  // Writes a DNG where its name is, as a camera's tether writes one.
  void Drop(const std::string& relative, DngOptions options = {}) {
    WriteBytes(in() + "/" + relative, DngBytes(options));
  }
  bool HasJpeg(const std::string& relative) const { return IsWholeJpeg(out() + "/" + relative); }
  // The rows of the job log with `outcome`, for `input` or for any file.
  size_t Rows(const std::string& outcome, const std::string& input = "") const {
    const std::string log = DefaultJobLogPath(out(), "", (folder / "state").c_str(), nullptr).value_or("");
    const std::vector<uint8_t> bytes = ReadBytes(log);
    const std::string text(bytes.begin(), bytes.end());
    const std::string row = "\t" + outcome + "\t" + (input.empty() ? "" : ":\t" + input + "\t");
    size_t count = 0;
    for (size_t at = 0; (at = text.find(row, at)) != std::string::npos; ++at) ++count;
    return count;
  }
  size_t ConvertedRows(const std::string& input) const { return Rows("converted", input); }

  TempFolder folder;
  std::optional<StartedProgram> watch;
};

TEST_F(BatchWatch, AFileWrittenInPiecesIsConvertedOnceAndWhole) {
  Start();
  const std::vector<uint8_t> bytes = DngBytes(Sized(320, 240));
  const std::string path = in() + "/slow.dng";
  {
    UniqueFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    const size_t piece = bytes.size() / 10 + 1;
    for (size_t at = 0; at < bytes.size(); at += piece) {
      ASSERT_GT(write(file.get(), bytes.data() + at, std::min(piece, bytes.size() - at)), 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    EXPECT_FALSE(std::filesystem::exists(out() + "/slow.jpg")) << "converted while it was being written";
  }
  // The log row follows the JPEG: a stop between the two leaves the file to be done again.
  ASSERT_TRUE(WaitUntil([&] { return HasJpeg("slow.jpg") && ConvertedRows(path) == 1; }));
  const WatchEnd end = Stop(SIGTERM);
  EXPECT_EQ(end.exitStatus, 0) << end.output;
  EXPECT_EQ(ConvertedRows(path), 1u);
  EXPECT_EQ(end.output.rfind("Converted 1 of 1 file in ", 0), 0u) << end.output;
}

TEST_F(BatchWatch, AFileRenamedIntoTheFolderIsConverted) {
  Start();
  const std::string outside = folder / "IMG_0001.dng.part";
  WriteBytes(outside, DngBytes());
  ASSERT_EQ(rename(outside.c_str(), (in() + "/IMG_0001.dng").c_str()), 0);
  EXPECT_TRUE(WaitUntil([&] { return HasJpeg("IMG_0001.jpg"); }));
}

TEST_F(BatchWatch, AFileWrittenAgainIsConvertedAgain) {
  Start();
  Drop("again.dng", Sized(320, 240));
  ASSERT_TRUE(WaitUntil([&] { return JpegWidth(out() + "/again.jpg") == 320; }));
  Drop("again.dng", Sized(160, 120));
  EXPECT_TRUE(WaitUntil([&] { return JpegWidth(out() + "/again.jpg") == 160; }));
  EXPECT_TRUE(WaitUntil([&] { return ConvertedRows(in() + "/again.dng") == 2; }));
  Stop(SIGTERM);
}

TEST_F(BatchWatch, ANewSubfolderIsWatchedAndKeptInTheOutput) {
  Start();
  ASSERT_EQ(mkdir((in() + "/card").c_str(), 0755), 0);
  // Given the time to watch the new folder, a file made in it is seen by its own events;
  // one made at once (the second folder) is found by listing the folder.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Drop("card/a.dng");
  ASSERT_EQ(mkdir((in() + "/card/100").c_str(), 0755), 0);
  Drop("card/100/b.dng");
  EXPECT_TRUE(WaitUntil([&] { return HasJpeg("card/a.jpg") && HasJpeg("card/100/b.jpg"); }));
}

TEST_F(BatchWatch, AWatchStartedAgainSkipsWhatItConvertedButNotWhatWasWrittenSince) {
  Drop("kept.dng");
  Drop("changed.dng");
  Start();
  // The log row follows the JPEG: a stop between the two leaves the file to be done again.
  ASSERT_TRUE(WaitUntil([&] { return ConvertedRows(in() + "/kept.dng") + ConvertedRows(in() + "/changed.dng") == 2; }));
  EXPECT_EQ(Stop(SIGTERM).exitStatus, 0);
  // The log's times are whole seconds: the rewrite comes in a later second.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  Drop("changed.dng", Sized(160, 120));
  Start();
  ASSERT_TRUE(WaitUntil([&] { return ConvertedRows(in() + "/changed.dng") == 2; }));
  const WatchEnd end = Stop(SIGTERM);
  EXPECT_EQ(end.output.rfind("Converted 2 of 2 files in total, 1 of them in ", 0), 0u) << end.output;
  EXPECT_EQ(ConvertedRows(in() + "/kept.dng"), 1u);
  EXPECT_EQ(ConvertedRows(in() + "/changed.dng"), 2u);
}

TEST_F(BatchWatch, CtrlCLeavesOnlyWholeJpegs) {
  Start({"--raw-load-as=24"});
  Drop("big.dng", Sized(4000, 3000, 8));
  ASSERT_TRUE(WaitUntil([&] { return ProcessesNaming(in() + "/big.dng") > 0; }));
  const WatchEnd end = Stop(SIGINT);
  EXPECT_EQ(end.exitStatus, 130) << end.output;
  EXPECT_EQ(ProcessesNaming(in() + "/big.dng"), 0u) << "nothing converts on after the watch has ended";
  for (const std::string& name : FilesIn(out())) EXPECT_TRUE(IsWholeJpeg(out() + "/" + name)) << name;
}

TEST_F(BatchWatch, AJpegNameTakenByAnotherFileIsNotReplaced) {
  Start({"--no-subfolders"});
  ASSERT_EQ(mkdir((in() + "/100").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((in() + "/101").c_str(), 0755), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Drop("100/IMG_0001.dng", Sized(320, 240));
  ASSERT_TRUE(WaitUntil([&] { return HasJpeg("IMG_0001.jpg"); }));
  Drop("101/IMG_0001.dng", Sized(160, 120));
  // A file finished later is never taken before it: once that one is converted, the
  // clashing one has been dealt with.
  Drop("101/IMG_0002.dng");
  ASSERT_TRUE(WaitUntil([&] { return HasJpeg("IMG_0002.jpg") && ConvertedRows(in() + "/101/IMG_0002.dng") == 1; }));
  const WatchEnd end = Stop(SIGTERM);
  EXPECT_EQ(end.exitStatus, 1);
  EXPECT_EQ(JpegWidth(out() + "/IMG_0001.jpg"), 320);
  EXPECT_NE(end.output.find("Failed: " + in() + "/101/IMG_0001.dng\n  Its output file name collides"),
            std::string::npos)
      << end.output;
}

// GNU parallel's transfer cannot carry a line break: such a name would copy the other
// machine's home folder here. A watch fails that file alone and sends nothing.
TEST_F(BatchWatch, ANameWithALineBreakIsNotSentToAnotherMachine) {
  const std::string standIn = folder / "standin-ssh", called = folder / "ssh-called";
  WriteText(standIn, "#!/bin/sh\ntouch '" + called + "'\nexit 255\n");
  chmod(standIn.c_str(), 0755);
  Start({"--ssh=" + standIn, "-S", "standin", "--transfer"});
  ASSERT_EQ(mkdir((in() + "/x\nevil").c_str(), 0755), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Drop("x\nevil/a.dng");
  pollfd output{watch->output.get(), POLLIN, 0};
  ASSERT_EQ(poll(&output, 1, 60000), 1) << "the watch reports the file";
  const WatchEnd end = Stop(SIGTERM);
  EXPECT_EQ(end.exitStatus, 1);
  EXPECT_NE(end.output.find("Failed: " + in() + "/x\\nevil/a.dng\n  Names with a line break cannot be sent"),
            std::string::npos)
      << end.output;
  EXPECT_FALSE(std::filesystem::exists(called)) << "no ssh was started for it";
}

TEST_F(BatchWatch, ABurstOfFilesIsConvertedInFlatMemory) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer holds freed memory back before reusing it, which would read as growth.
  const char* given = std::getenv("ASAN_OPTIONS");
  setenv("ASAN_OPTIONS", (std::string(given ? given : "") + ":quarantine_size_mb=0").c_str(), 1);
#endif
  Start({"-q"});
  const std::vector<uint8_t> bytes = DngBytes(Sized(32, 24));
  const auto burst = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      const std::string name = "/IMG_" + std::to_string(10000 + i) + ".dng";
      WriteBytes(folder / "tmp.dng", bytes);
      ASSERT_EQ(rename((folder / "tmp.dng").c_str(), (in() + name).c_str()), 0);
    }
  };
  const auto converted = [&](size_t count) { return WaitUntil([&] { return FilesIn(out()).size() >= count; }, 3000); };
  burst(0, 200);
  ASSERT_TRUE(converted(200));
  const long afterFew = PeakKilobytes(watch->pid);
  burst(200, 2000);
  ASSERT_TRUE(converted(2000));
  ASSERT_TRUE(WaitUntil([&] { return Rows("converted") == 2000; }));
  const long afterMany = PeakKilobytes(watch->pid);
  const WatchEnd end = Stop(SIGTERM);
  EXPECT_EQ(end.exitStatus, 0) << end.output;
  EXPECT_EQ(end.output, "");
  EXPECT_EQ(FilesIn(out()).size(), 2000u);
  EXPECT_GT(afterFew, 0);
  EXPECT_LT(afterMany - afterFew, 4096) << "peak memory after 200 files: " << afterFew << " KiB, after 2000 "
                                        << afterMany << " KiB";
}

}  // namespace
