// The real program under the faults of real use: signals to it alone or to its process
// group, no thread or process that can start, a file-size limit, an address-space limit the
// RAW decoder runs out of, a write-protected earlier JPEG, a folder near the path limit.
// Every run leaves a whole JPEG or nothing, never a temporary file, and nothing appears in
// the output folder after the program has ended.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "support/DngWriter.h"
#include "support/RunOutcomes.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

using Names = std::vector<std::string>;

// Polls every millisecond; false when `condition` did not hold within a minute.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!condition() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return condition();
}

Names Entries(const std::string& folder) {
  Names names;
  std::error_code gone;
  for (const auto& entry : std::filesystem::directory_iterator(folder, gone)) names.push_back(entry.path().filename());
  return names;
}

// Gone, or a zombie nobody has collected yet.
bool HasEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  const size_t nameEnd = std::getline(stat, line) ? line.rfind(") ") : std::string::npos;
  return nameEnd == std::string::npos || line[nameEnd + 2] == 'Z';
}

// The conversion child, forked by one of the program's threads; 0 when none was seen.
pid_t ConversionChildOf(pid_t program) {
  pid_t child = 0;
  WaitUntil([&] {
    for (const std::string& task : Entries("/proc/" + std::to_string(program) + "/task"))
      if (pid_t found = 0; std::ifstream("/proc/" + std::to_string(program) + "/task/" + task + "/children") >> found)
        child = found;
    return child != 0 || HasEnded(program);
  });
  return child;
}

bool IsWritingInto(pid_t pid, const std::string& folder) {
  const std::string descriptors = "/proc/" + std::to_string(pid) + "/fd/";
  std::error_code gone;
  for (const std::string& fd : Entries(descriptors))
    if (std::filesystem::read_symlink(descriptors + fd, gone).string().starts_with(folder + "/")) return true;
  return false;
}

int StatusOf(pid_t program) {
  int status = 0;
  return waitpid(program, &status, 0) == program ? status : -1;
}

// Starts the program; returns it and its conversion child once the child is at work or,
// with `whileWriting`, once it writes into `folder`. A busy machine may keep this poll away
// for the whole write; such a run is done again.
std::pair<pid_t, pid_t> StartAndCatch(const Names& run, const std::string& folder, bool whileWriting) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const pid_t program = StartPixquill(run), child = ConversionChildOf(program);
    if (!whileWriting ||
        (WaitUntil([&] { return IsWritingInto(child, folder) || HasEnded(child); }) && !HasEnded(child)))
      return {program, child};
    StatusOf(program);
    for (const std::string& name : Entries(folder)) std::filesystem::remove(folder + "/" + name);
  }
  return {0, 0};
}

class HostileEnvironment : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mkdir(Output().c_str(), 0755), 0); }
  std::string Output() const { return folder / "out"; }

  // A full decode of most of a second, so that a signal finds the conversion child at work,
  // and a noisy picture whose JPEG of about 2 MB takes a tenth of a second to write.
  Names SlowRun() {
    EXPECT_TRUE(WriteTestDng(folder / "slow.dng", {.width = 1600, .height = 1200, .noise = 24}));
    return {"-q", "-i", folder / "slow.dng", "-o", Output(), "--raw-load-as=24"};
  }

  // An input, and an output folder, that an unprivileged run may use.
  std::string SharedInput(const std::string& name) {
    EXPECT_TRUE(WriteTestDng(folder / name, DngOptions{}));
    EXPECT_TRUE(HandToUnprivilegedUser(folder.path()) && HandToUnprivilegedUser(Output()));
    return folder / name;
  }

  TempFolder folder;
};

TEST_F(HostileEnvironment, SignalsLeaveAWholeJpegOrNothingAndNoChildBehind) {
  const struct {
    int signal;
    bool wholeGroupWhileWriting;
  } cases[] = {{SIGTERM, false}, {SIGINT, false}, {SIGHUP, false}, {SIGPIPE, false},
               {SIGKILL, false}, {SIGTERM, true}, {SIGKILL, true}};
  const Names run = SlowRun();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.wholeGroupWhileWriting ? " to the group" : " to the program"));
    const auto [program, child] = StartAndCatch(run, Output(), c.wholeGroupWhileWriting);
    ASSERT_NE(child, 0) << "the conversion child was not seen at work";
    kill(c.wholeGroupWhileWriting ? -program : program, c.signal);
    const int status = StatusOf(program);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    // A signal the program can catch makes it stop its child and wait for it first.
    EXPECT_TRUE(c.signal == SIGKILL || HasEnded(child));
    ASSERT_TRUE(WaitUntil([&] { return HasEnded(child); }));
    const Names left = Entries(Output());
    EXPECT_TRUE(left.empty() || (left == Names{"slow.jpg"} && OutputProblem(Output(), true) == ""))
        << testing::PrintToString(left);
    std::filesystem::remove(Output() + "/slow.jpg");
  }
}

TEST_F(HostileEnvironment, WithoutThreadsOrChildProcessesTheMainThreadConverts) {
  // Root is not held to a process limit.
  const ProgramRun run = RunPixquillWith({"-i", SharedInput("a.dng"), "-o", Output(), "--raw-load-as=24"},
                                         {.processLimit = 1, .unprivileged = true});
  EXPECT_EQ(OutcomeOf(run), Outcome::kConverted) << run.stdoutText << run.stderrText;
  EXPECT_EQ(OutputProblem(Output(), true), "");
}

TEST_F(HostileEnvironment, AWritePastTheFileSizeLimitFailsAndLeavesNothing) {
  const ProgramRun run = RunPixquillWith(SlowRun(), {.fileSizeBytes = 100 * 1024});
  EXPECT_EQ(run.exitStatus, 1) << run.signal;
  EXPECT_EQ(Entries(Output()), Names{});
}

// The RAW decoder out of memory: a failed conversion, never the file's bytes as a picture.
// One heap for all threads (glibc reserves one a thread as they happen to contend) makes
// each run need the same address space.
TEST_F(HostileEnvironment, ARawDecoderOutOfMemoryFailsTheConversion) {
  if (IsSanitizerBuild()) GTEST_SKIP() << "sanitizer builds cannot limit the address space";
  ASSERT_TRUE(WriteTestDng(folder / "small.dng", DngOptions{}));
  ASSERT_TRUE(WriteTestDng(folder / "large.dng", {.width = 4000, .height = 3000}));
  setenv("MALLOC_ARENA_MAX", "1", 1);
  const ProgramRun small = RunPixquillWith({"-i", folder / "small.dng", "-o", folder.path()}, {int64_t{128} << 20});
  const ProgramRun large = RunPixquillWith({"-i", folder / "large.dng", "-o", Output()}, {int64_t{128} << 20});
  unsetenv("MALLOC_ARENA_MAX");
  EXPECT_EQ(OutcomeOf(small), Outcome::kConverted) << small.stdoutText;
  EXPECT_EQ(OutcomeOf(large), Outcome::kStopped) << large.stdoutText;
  EXPECT_EQ(Entries(Output()), Names{});
}

TEST_F(HostileEnvironment, AWriteProtectedJpegIsNotReplaced) {
  const std::string input = SharedInput("keep.dng"), earlier = Output() + "/keep.jpg";
  WriteText(earlier, "earlier");
  ASSERT_TRUE(HandToUnprivilegedUser(earlier) && chmod(earlier.c_str(), 0444) == 0);
  const ProgramRun run = RunPixquillWith({"-i", input, "-o", Output()}, {.unprivileged = true});
  EXPECT_EQ(OutcomeOf(run), Outcome::kStopped) << run.stdoutText;
  EXPECT_EQ(ReadBytes(earlier), (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
  EXPECT_EQ(Entries(Output()), Names{"keep.jpg"});
}

TEST_F(HostileEnvironment, AFolderNearThePathLimitTakesTheJpeg) {
  // The JPEG's path fits the limit; a longer temporary name beside it would not.
  std::string deep = Output();
  while (deep.size() < 4085) {
    deep += "/" + std::string(std::min<size_t>(200, 4085 - deep.size()), 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0) << std::strerror(errno);
  }
  ASSERT_TRUE(WriteTestDng(folder / "a.dng", DngOptions{}));
  const ProgramRun run = RunPixquill({"-i", folder / "a.dng", "-o", deep});
  EXPECT_EQ(OutcomeOf(run), Outcome::kConverted) << run.stdoutText;
  EXPECT_EQ(OutputProblem(deep, true), "");
}

}  // namespace

// At the pause on a terminal, Ctrl-C ends the wait like any key: the program ends as it
// would have, and the terminal has its echo back.
TEST_F(HostileEnvironment, CtrlCAtThePauseGivesTheTerminalBack) {
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
  const std::string side = ptsname(terminal);
  const std::string missing = folder / "missing.dng", binary = PixquillBinary();
  const pid_t program = fork();
  if (program == 0) {
    setsid();
    const int own = open(side.c_str(), O_RDWR);  // becomes the controlling terminal
    for (int fd : {0, 1, 2}) dup2(own, fd);
    execl(binary.c_str(), "pixquillcmd", "-p", "-i", missing.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const int watch = open(side.c_str(), O_RDWR | O_NOCTTY);
  auto modes = [watch] {
    termios now{};
    return tcgetattr(watch, &now) == 0 ? now.c_lflag : tcflag_t{0};
  };
  ASSERT_TRUE(WaitUntil([&] { return (modes() & ECHO) == 0 || HasEnded(program); })) << "the pause never came";
  ASSERT_EQ(write(terminal, "\x03", 1), 1);
  const int status = StatusOf(program);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
  EXPECT_EQ(modes() & (ECHO | ICANON), tcflag_t{ECHO | ICANON});
  close(watch);
  close(terminal);
}
