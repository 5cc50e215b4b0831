// The real program under the faults of real use: signals at any moment, to the program
// alone or to its whole process group; no thread or process that can start; a file-size
// limit; a write-protected earlier JPEG; an output folder near the path limit. Every run
// leaves a whole JPEG or nothing, never a temporary file, and nothing appears in the
// output folder after the program has ended.
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/DngWriter.h"
#include "support/RunOutcomes.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

// Polls `condition` every millisecond until it holds; false when it did not within a minute.
bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code gone;
  for (const auto& entry : std::filesystem::directory_iterator(folder, gone)) names.push_back(entry.path().filename());
  return names;
}

std::string ProcFolder(pid_t pid) { return "/proc/" + std::to_string(pid); }

// The processes `pid` has started, from all its threads: a worker thread forks the
// conversion child.
std::vector<pid_t> ChildrenOf(pid_t pid) {
  std::vector<pid_t> children;
  for (const std::string& task : Entries(ProcFolder(pid) + "/task")) {
    std::ifstream list(ProcFolder(pid) + "/task/" + task + "/children");
    for (pid_t child; list >> child;) children.push_back(child);
  }
  return children;
}

// Gone, or a zombie that nobody has collected yet.
bool HasEnded(pid_t pid) {
  std::ifstream stat(ProcFolder(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const size_t nameEnd = line.rfind(") ");
  return nameEnd == std::string::npos || line.compare(nameEnd + 2, 1, "Z") == 0;
}

bool HasFileOpenIn(pid_t pid, const std::string& folder) {
  const std::string descriptors = ProcFolder(pid) + "/fd/";
  for (const std::string& fd : Entries(descriptors)) {
    char target[PATH_MAX];
    const ssize_t length = readlink((descriptors + fd).c_str(), target, sizeof target);
    if (length > 0 && std::string(target, static_cast<size_t>(length)).starts_with(folder + "/")) return true;
  }
  return false;
}

// The first conversion child of the started program; 0 when it ended without one.
pid_t ConversionChildOf(pid_t program) {
  pid_t child = 0;
  WaitUntil([&] {
    const std::vector<pid_t> children = ChildrenOf(program);
    if (!children.empty()) child = children.front();
    return child != 0 || HasEnded(program);
  });
  return child;
}

int StatusOf(pid_t program) {
  int status = 0;
  return waitpid(program, &status, 0) == program ? status : -1;
}

class HostileEnvironment : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(mkdir(Output().c_str(), 0755), 0); }
  std::string Output() const { return folder / "out"; }

  // A camera file whose full decode takes most of a second, so that a signal reaches the
  // conversion child at work, and whose noise makes the JPEG take a tenth of a second to write.
  std::vector<std::string> SlowRun() {
    DngOptions options;
    options.width = 1600;
    options.height = 1200;
    options.noise = 24;
    EXPECT_TRUE(WriteTestDng(folder / "slow.dng", options));
    return {"-q", "-i", folder / "slow.dng", "-o", Output(), "--raw-load-as=24"};
  }

  // A folder and input that an unprivileged run may use.
  std::string SharedInput(const std::string& name) {
    EXPECT_TRUE(WriteTestDng(folder / name, DngOptions{}));
    EXPECT_TRUE(HandToUnprivilegedUser(folder.path()) && HandToUnprivilegedUser(Output()));
    return folder / name;
  }

  TempFolder folder;
};

// ---- signals ------------------------------------------------------------------------------

TEST_F(HostileEnvironment, ASignalToTheProgramAloneEndsItsConversionChildToo) {
  const std::vector<std::string> run = SlowRun();
  for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal));
    const pid_t program = StartPixquill(run);
    const pid_t child = ConversionChildOf(program);
    ASSERT_NE(child, 0);
    kill(program, signal);
    const int status = StatusOf(program);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    // A signal the program can catch makes it stop its child and wait for it first.
    if (signal != SIGKILL) {
      EXPECT_TRUE(HasEnded(child));
    }
    ASSERT_TRUE(WaitUntil([&] { return HasEnded(child); }));
    EXPECT_EQ(Entries(Output()), std::vector<std::string>{});
  }
}

TEST_F(HostileEnvironment, StoppingTheProcessGroupWhileTheJpegIsWrittenLeavesItWholeOrNothing) {
  const std::vector<std::string> run = SlowRun();
  for (int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal));
    bool caught = false;
    // A busy machine may keep the poll away for the whole write; such a run is tried again.
    for (int attempt = 0; attempt < 3 && !caught; ++attempt) {
      const pid_t program = StartPixquill(run);
      const pid_t child = ConversionChildOf(program);
      ASSERT_NE(child, 0);
      WaitUntil([&] { return (caught = HasFileOpenIn(child, Output())) || HasEnded(child); });
      if (caught) kill(-program, signal);
      const int status = StatusOf(program);
      if (caught) {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
      }
      ASSERT_TRUE(WaitUntil([&] { return HasEnded(child); }));
      const std::vector<std::string> left = Entries(Output());
      EXPECT_TRUE(left.empty() || (left == std::vector<std::string>{"slow.jpg"} && OutputProblem(Output(), true) == ""))
          << testing::PrintToString(left);
      std::filesystem::remove(Output() + "/slow.jpg");
    }
    EXPECT_TRUE(caught) << "the program was never seen writing";
  }
}

// ---- limits -------------------------------------------------------------------------------

TEST_F(HostileEnvironment, WithoutThreadsOrChildProcessesTheMainThreadConverts) {
  const std::string input = SharedInput("a.dng");
  ProcessSetup setup;
  setup.unprivileged = true;  // root is not held to a process limit
  setup.processLimit = 1;
  const ProgramRun run = RunPixquillWith({"-i", input, "-o", Output(), "--raw-load-as=24"}, setup);
  EXPECT_EQ(OutcomeOf(run), Outcome::kConverted) << run.stdoutText << run.stderrText;
  EXPECT_EQ(OutputProblem(Output(), true), "");
}

TEST_F(HostileEnvironment, AWritePastTheFileSizeLimitFailsAndLeavesNothing) {
  ProcessSetup setup;
  setup.fileSizeBytes = 100 * 1024;  // the JPEG of the noisy picture is about 2 MB
  const ProgramRun run = RunPixquillWith(SlowRun(), setup);
  EXPECT_EQ(run.exitStatus, 1) << run.signal;
  EXPECT_EQ(Entries(Output()), std::vector<std::string>{});
}

// ---- files and folders ----------------------------------------------------------------------

TEST_F(HostileEnvironment, AWriteProtectedJpegIsNotReplaced) {
  const std::string input = SharedInput("keep.dng");
  const std::string earlier = Output() + "/keep.jpg";
  WriteText(earlier, "earlier");
  ASSERT_TRUE(HandToUnprivilegedUser(earlier));
  ASSERT_EQ(chmod(earlier.c_str(), 0444), 0);
  ProcessSetup setup;
  setup.unprivileged = true;  // root may write any file
  const ProgramRun run = RunPixquillWith({"-i", input, "-o", Output()}, setup);
  EXPECT_EQ(OutcomeOf(run), Outcome::kStopped) << run.stdoutText;
  EXPECT_EQ(ReadBytes(earlier), (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
  EXPECT_EQ(Entries(Output()), std::vector<std::string>{"keep.jpg"});
}

TEST_F(HostileEnvironment, AFolderNearThePathLimitTakesTheJpeg) {
  // 4086 characters: the JPEG's path fits the limit, a longer temporary name beside it would not.
  constexpr size_t kFolderLength = 4086;
  std::string deep = Output();
  while (deep.size() + 1 < kFolderLength) {
    deep += "/" + std::string(std::min<size_t>(200, kFolderLength - deep.size() - 1), 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0) << std::strerror(errno);
  }
  ASSERT_TRUE(WriteTestDng(folder / "a.dng", DngOptions{}));
  const ProgramRun run = RunPixquill({"-i", folder / "a.dng", "-o", deep});
  EXPECT_EQ(OutcomeOf(run), Outcome::kConverted) << run.stdoutText;
  EXPECT_EQ(OutputProblem(deep, true), "");
}

}  // namespace
