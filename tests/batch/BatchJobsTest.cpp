// What the batch hands GNU parallel (its arguments and the shell command of every job,
// run here by /bin/sh as GNU parallel would), the batch's own job log, and the memory bound.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "support/ProgramState.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

using Lines = std::vector<std::string>;

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The command with GNU parallel's replacements, each quoted: {1/} and {N}, the Nth field
// (empty beyond those given, as for a group that is not full).
std::string Replaced(std::string command, const Lines& given) {
  std::vector<std::pair<std::string, std::string>> fields = {{"{1/}", given[0].substr(given[0].rfind('/') + 1)}};
  for (size_t i = 1; i <= 24; ++i)
    fields.push_back({std::string("{").append(std::to_string(i)).append("}"), i <= given.size() ? given[i - 1] : ""});
  for (const auto& [token, value] : fields)
    for (size_t at = 0; (at = command.find(token, at)) != std::string::npos; at += Quoted(value).size())
      command.replace(at, token.size(), Quoted(value));
  return command;
}

Lines Arguments(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  return SplitPathList(std::string(bytes.begin(), bytes.end()), true);
}

class BatchJobCommand : public ::testing::Test {
 protected:
  // A pixquillcmd that records its arguments and ends with the status in "status"; for an
  // input named "bad" it complains on standard error and fails.
  void SetUp() override {
    WriteText(stub, "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + folder / "args" +
                        "'\ncase $4 in *bad*) echo \"Error: $4\" >&2; exit 1;; esac\nexit $(cat '" + folder / "status" +
                        "')\n");
    chmod(stub.c_str(), 0755);
  }
  std::string Finished() {
    const std::vector<uint8_t> bytes = ReadBytes(finished);
    return std::string(bytes.begin(), bytes.end());
  }
  ProgramRun Run(const std::string& command, int status) {
    WriteText(folder / "status", std::to_string(status));
    WriteText(finished, "");
    const std::string variables = "PIXQUILLBATCH_PROGRAM=" + Quoted(stub) + " PIXQUILLBATCH_ARG_1=" + Quoted(option) +
                                  " PIXQUILLBATCH_FINISHED=" + Quoted(finished) + " PATH=" + Quoted(folder.path()) +
                                  ":$PATH; ";
    return RunProgram("/bin/sh", {"-c", variables + command});
  }
  TempFolder folder;
  const std::string stub = folder / "pixquillcmd";
  const std::string finished = folder / "finished";
  const std::string option = "--wm-text=$(touch hacked) `x` \"q\" 'q'";
};

TEST_F(BatchJobCommand, HostileNamesAndOptionsReachPixquillcmdAsTheyAre) {
  const std::string input = "/card/it's $(x) {1}.dng", output = "/out/ends in a space \\ ";
  ProgramRun failed = Run(Replaced(JobCommand(JobPlace::ThisMachine, 1), {"7", input, output}), 2);
  EXPECT_EQ(Arguments(folder / "args"), (Lines{option, "-q", "-i", input, "-o", output + "/."}));
  EXPECT_EQ(Finished(), "7 2\n");
  failed = Run(Replaced(JobCommand(JobPlace::SharedFiles, 1), {input, output}), 1);
  EXPECT_EQ(failed.stdoutText,
            "\x1f"
            "exit 1\n")
      << "pixquillcmd's own failure is reported, not retried";
  EXPECT_EQ(failed.exitStatus, 0);
  ProgramRun missing = Run(Replaced(JobCommand(JobPlace::SharedFiles, 1), {input, output}), 127);
  EXPECT_EQ(missing.exitStatus, 127) << "a machine without pixquillcmd fails the job, which goes elsewhere";
  EXPECT_EQ(missing.stdoutText, "");
  EXPECT_EQ(FileSize(folder / "hacked"), -1);

  // On another machine the job works in its own folder and removes the input it was sent.
  const std::string work = folder / ".parallel/tmp/host-1-1";
  ASSERT_TRUE(MakeFolders(work));
  WriteText(work + "/it's.dng", "x");
  const std::string remote = "cd " + Quoted(work) + " && PARALLEL_SSHHOST=host; ";
  ProgramRun sent = Run(remote + Replaced(JobCommand(JobPlace::Transferred, 1), {"/card/./it's.dng", output}), 0);
  EXPECT_EQ(sent.stdoutText,
            "\x1f"
            "exit 0\n");
  EXPECT_EQ(Arguments(folder / "args"), (Lines{option, "-q", "-i", "./it's.dng", "-o", work}));
  EXPECT_EQ(FileSize(work + "/it's.dng"), -1);
}

// A job here converts a group of files; what the batch makes of its output and of the
// finished-files list it writes.
TEST_F(BatchJobCommand, AGroupJobGivesEachFileItsOwnLinesAndStatus) {
  ProgramRun run = Run(
      Replaced(JobCommand(JobPlace::ThisMachine, 1), {"4", "/card/bad.dng", "/out", "5", "/card/good.dng", "/out"}), 0);
  EXPECT_EQ(Finished(), "4 1\n5 0\n");
  BatchProgressRecord progress;
  progress.jobs.resize(5);
  std::map<size_t, size_t> current;
  for (size_t start = 0, end; (end = run.stdoutText.find('\n', start)) != std::string::npos; start = end + 1)
    ApplyGroupOutputLine("2\t" + run.stdoutText.substr(start, end - start), current, progress);
  ApplyFinishedFileLines(Finished(), progress);
  EXPECT_EQ(progress.output, (std::map<size_t, Lines>{{4, {"Error: /card/bad.dng"}}}));
  EXPECT_TRUE(!IsConverted(progress.jobs[3]) && IsConverted(progress.jobs[4]));
  EXPECT_EQ(TakeSettledJobs(progress, false), (std::vector<size_t>{3, 4})) << "logged as each ends";
}

TEST(BatchGroups, EveryFileOnceInOrderAndTheLastJobsSingleFiles) {
  for (const auto& [count, slots] : {std::pair<size_t, int64_t>{200, 2}, {40, 2}, {3, 2}, {1000, 16}}) {
    const std::vector<size_t> sizes = GroupSizes(count, slots);
    EXPECT_EQ(std::accumulate(sizes.begin(), sizes.end(), size_t{0}), count);
    EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), 8u);
    EXPECT_EQ(std::count(sizes.end() - slots, sizes.end(), 1), slots) << count << " files on " << slots;
  }
  EXPECT_LT(GroupSizes(200, 2).size(), 50u);
}

TEST(BatchParallelArguments, DeadMachinesAreRetriedElsewhereResumeGoesByFileAndOneThreadAJob) {
  ParallelRequest request;
  std::vector<std::string> args = ParallelArguments(request);
  EXPECT_EQ(std::find(args.begin(), args.end(), "--retries"), args.end()) << "one machine";
  EXPECT_EQ(std::find(args.begin(), args.end(), "--resume-failed"), args.end());
  request.settings.sshLogins = ":,dead.invalid";
  args = ParallelArguments(request);
  auto retries = std::find(args.begin(), args.end(), "--retries");
  ASSERT_NE(retries, args.end());
  EXPECT_EQ(*(retries + 1), "2") << "each machine tried once";
  // One OpenMP thread a job, unless the user chose a number; on other machines too.
  EXPECT_NE(std::find(args.begin(), args.end(), "OMP_NUM_THREADS"), args.end());
  setenv("OMP_NUM_THREADS", "3", 1);
  std::vector<std::string> environment = JobEnvironment(request);
  EXPECT_EQ(std::count(environment.begin(), environment.end(), "OMP_NUM_THREADS=1"), 0) << "the user's own number";
  unsetenv("OMP_NUM_THREADS");
  environment = JobEnvironment(request);
  EXPECT_EQ(std::count(environment.begin(), environment.end(), "OMP_NUM_THREADS=1"), 1);
}

TEST(BatchMemory, ALimitNoJobCanMeetIsNeverSet) {
  constexpr int64_t kGiB = 1 << 30;
  TempFolder folder;
  WriteText(folder / "small.dng", std::string(1000, 'x'));
  WriteText(folder / "huge.dng", "");
  ASSERT_EQ(truncate((folder / "huge.dng").c_str(), 2 * kGiB), 0);
  const std::vector<BatchFile> files = {{folder / "huge.dng", "", ""}, {folder / "small.dng", "", ""}};
  MemoryPlan plan = PlanMemory(files, {}, "2", 0, 16 * kGiB, 8 * kGiB);
  ASSERT_EQ(plan.tooLarge.size(), 1u) << "24 GiB for a 2 GiB file on a 16 GiB machine";
  EXPECT_EQ(plan.tooLarge[0].path, folder / "huge.dng");
  EXPECT_EQ(plan.files.size(), 1u);
  EXPECT_EQ(plan.memFree, "") << "the small file alone needs no bound";
  plan = PlanMemory({{folder / "huge.dng", "", ""}}, {}, "2", 0, 32 * kGiB, 8 * kGiB);
  EXPECT_EQ(plan.tooLarge.size(), 0u);
  EXPECT_EQ(plan.memFree, std::to_string(6 * kGiB)) << "three quarters of what is free, so a job can start";
}

// Job logs: where they are kept, which paths they may have, and resuming by file.
class BatchJobLogFile : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  TempFolder folder;
};

TEST_F(BatchJobLogFile, NamedForItsFolderOutsideIt) {
  const std::string state = folder.path();
  const auto path = [&](const std::string& output) {
    return DefaultJobLogPath(output, "/here/", state.c_str(), nullptr).value_or("");
  };
  EXPECT_EQ(path("/photos/web").rfind(state + "/pixquillbatch/", 0), 0u);
  EXPECT_NE(path("/a/b"), path("/a_b"));
  EXPECT_NE(path(""), path("/here"));
  const std::string deep(3000, 'x'), name = path("/" + deep);
  EXPECT_LE(name.size() - name.rfind('/') - 1, 255u);
  EXPECT_EQ(DefaultJobLogPath("/web", "/here/", "relative", "/home/u").value_or("").rfind("/home/u/.local/state/", 0),
            0u);
  EXPECT_FALSE(DefaultJobLogPath("/web", "/here/", nullptr, nullptr));
}

TEST_F(BatchJobLogFile, ResumeSkipsExactlyTheFilesConvertedBeforeWithTheSameOptions) {
  const std::vector<BatchFile> first = {{"/card/a\tb\\n\n.dng", "", "/out"}, {"/card/b.dng", "", "/out"}};
  const std::string options = OptionsText({"--width=800", "--wm-text=it's me"});
  JobLogFile log;
  ASSERT_FALSE(OpenJobLog(folder / "log", false, log));
  AppendToJobLog(log, JobLogRow({"t", JobResult::Converted, ":"}, first[0], options) +
                          JobLogRow({"t", JobResult::Failed, ":"}, first[1], options));
  log = {};
  ASSERT_FALSE(OpenJobLog(folder / "log", true, log));
  EXPECT_EQ(ConvertedBefore(log.earlier, first, options), (std::set<size_t>{0}));
  EXPECT_TRUE(ConvertedBefore(log.earlier, first, OptionsText({"--width=900"})).empty()) << "other options";
  const std::vector<BatchFile> other = {{"/card2/a.dng", "", "/out"}, {"/card/a\tb\\n\n.dng", "", "/web"}};
  EXPECT_TRUE(ConvertedBefore(log.earlier, other, options).empty()) << "not by job number, nor into another folder";
}

}  // namespace
