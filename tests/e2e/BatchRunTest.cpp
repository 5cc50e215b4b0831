// End-to-end runs of pixquillbatch over generated DNG files: GNU parallel runs the real
// pixquillcmd once per file, here and on a stand-in second machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <thread>

#include "batch/BatchLog.h"
#include "platform/Files.h"
#include "platform/Machine.h"
#include "platform/Programs.h"
#include "support/DngWriter.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

using Lines = std::vector<std::string>;

// The run's lines with the time of "Converted N of M files in T s" left out.
Lines WithoutTime(const ProgramRun& run) {
  Lines lines;
  for (const std::string& line : run.lines) {
    const size_t time = line.rfind(" files in ");
    const bool summary = line.rfind("Converted ", 0) == 0 && time != std::string::npos && line.back() == 's';
    lines.push_back(summary ? line.substr(0, time + 6) : line);
  }
  return lines;
}

class BatchRun : public ::testing::Test {
 protected:
  // Job logs go to a state folder of the test's own, outside the output folders.
  void SetUp() override {
    mkdir(card().c_str(), 0755);
    mkdir(out().c_str(), 0755);
    setenv("XDG_STATE_HOME", state().c_str(), 1);
  }
  void TearDown() override { unsetenv("XDG_STATE_HOME"); }
  std::string card() const { return folder / "card"; }
  std::string out() const { return folder / "out"; }
  std::string state() const { return folder / "state"; }
  std::string JobLogOf(const std::string& outputFolder) const {
    return DefaultJobLogPath(outputFolder, "", state().c_str(), nullptr).value_or("");
  }
  std::string Dng(const std::string& relative, DngOptions options = {}) {
    const std::string path = card() + "/" + relative;
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
      mkdir(path.substr(0, slash).c_str(), 0755);
    EXPECT_TRUE(WriteTestDng(path, options)) << path;
    return path;
  }
  TempFolder folder;
};

TEST_F(BatchRun, AFolderTreeKeepsItsSubfoldersOrGoesFlatOrStaysBesideItsInputs) {
  Dng("DCIM/100/IMG_1.DNG");
  Dng("DCIM/101/img_2.dng");
  Dng("top.Dng");
  WriteText(card() + "/notes.txt", "not a photo");
  ProgramRun run = RunBatch({"-o", out(), card()});
  EXPECT_EQ(run.exitStatus, 0) << run.stdoutText << run.stderrText;
  EXPECT_EQ(WithoutTime(run), (Lines{"Converted 3 of 3 files"}));
  EXPECT_EQ(run.stderrText, "") << "no progress line when standard error is no terminal";
  EXPECT_EQ(FilesIn(out()), (Lines{"DCIM/100/IMG_1.jpg", "DCIM/101/img_2.jpg", "top.jpg"}));
  EXPECT_TRUE(IsWholeJpeg(out() + "/DCIM/100/IMG_1.jpg"));

  const std::string flat = folder / "flat";
  mkdir(flat.c_str(), 0755);
  EXPECT_EQ(RunBatch({"-q", "--no-subfolders", "-o", flat, card()}).stdoutText, "");
  EXPECT_EQ(FilesIn(flat), (Lines{"IMG_1.jpg", "img_2.jpg", "top.jpg"}));

  // Without -o each JPEG lands beside its input; relative paths start in the current folder.
  ProgramRun beside = RunBatch({"-q", "card/top.Dng", "card/DCIM/101"}, "", folder.path());
  EXPECT_EQ(beside.exitStatus, 0) << beside.stdoutText;
  EXPECT_TRUE(IsWholeJpeg(card() + "/top.jpg"));
  EXPECT_TRUE(IsWholeJpeg(card() + "/DCIM/101/img_2.jpg"));
  EXPECT_EQ(FilesIn(state() + "/pixquillbatch").size(), 3u) << "one job log for each of the three places";
}

TEST_F(BatchRun, ADamagedFileFailsAloneAndTheReportNamesIt) {
  const std::string empty = card() + "/IMG_0000.dng";
  WriteText(empty, "");  // what an interrupted copy from a card leaves
  Dng("IMG_0001.dng");
  Dng("IMG_0002.dng");
  // What pixquillcmd said about it: its error line and, on its standard error, the reason.
  const Lines failure = {"Failed: " + empty, "  Error: Invalid input file",
                         "  pixquillcmd: " + empty + ": the file is empty"};
  ProgramRun run = RunBatch({"-o", out(), card()});
  EXPECT_EQ(run.exitStatus, 1);
  Lines expected = {"Converted 2 of 3 files"};
  expected.insert(expected.end(), failure.begin(), failure.end());
  EXPECT_EQ(WithoutTime(run), expected);
  EXPECT_TRUE(IsWholeJpeg(out() + "/IMG_0002.jpg"));

  ProgramRun quiet = RunBatch({"-q", "-o", out(), card()});
  EXPECT_EQ(quiet.exitStatus, 1);
  EXPECT_EQ(quiet.lines, failure);
  EXPECT_EQ(quiet.stderrText, "") << "GNU parallel's notices never show";

  // Jobs here convert several files each (the first job takes a to f): the damaged file
  // among them still fails alone, and every file has its own job log row.
  const std::string many = folder / "many", manyOut = folder / "many-out", damaged = many + "/b.dng";
  ASSERT_TRUE(MakeFolders(many) && MakeFolders(manyOut));
  for (char name = 'a'; name <= 'l'; ++name) EXPECT_TRUE(name == 'b' || WriteTestDng(many + "/" + name + ".dng", {}));
  WriteText(damaged, "");
  ProgramRun grouped = RunBatch({"-j", "1", "-o", manyOut, many});
  EXPECT_EQ(grouped.exitStatus, 1);
  EXPECT_EQ(WithoutTime(grouped),
            (Lines{"Converted 11 of 12 files", "Failed: " + damaged, "  Error: Invalid input file",
                   "  pixquillcmd: " + damaged + ": the file is empty"}));
  ProgramRun resumed = RunBatch({"-j", "1", "--resume", "-o", manyOut, many});
  EXPECT_EQ(resumed.lines.at(0).rfind("Converted 11 of 12 files in total, 0 of them in ", 0), 0u) << resumed.stdoutText;
}

TEST_F(BatchRun, ARefusedRequestOrACollisionConvertsNothing) {
  const std::string a = Dng("a/IMG_1.DNG"), b = Dng("b/IMG_1.DNG");
  auto expectRefused = [&](const Lines& args, const Lines& lines) {
    ProgramRun run = RunBatch(args);
    EXPECT_EQ(run.exitStatus, 2) << run.stdoutText;
    EXPECT_EQ(run.lines, lines);
    EXPECT_EQ(FilesIn(out()), Lines{}) << run.stdoutText;
    EXPECT_EQ(FileSize(out() + "/a"), -1) << "no subfolder made either";
  };
  expectRefused({"-o", out(), "--jpg-quality=500", card()}, {"Error: Invalid jpg-quality value"});
  expectRefused({"-o", folder / "missing", card()}, {"Error: Invalid output folder"});
  expectRefused({"-j", "2", "-o", out(), card(), "--files-from"}, {"Error: Incorrect number of parameters"});
  expectRefused({"-o", out(), "--no-subfolders", card()}, {"Error: Output file names collide; nothing was converted",
                                                           "  " + out() + "/IMG_1.jpg", "    " + a, "    " + b});
  // GNU parallel refuses a malformed job count: its error alone shows, without its usage text.
  ProgramRun badJobs = RunBatch({"-j", "many", "-o", out(), card()});
  EXPECT_EQ(badJobs.exitStatus, 2);
  ASSERT_EQ(badJobs.lines.size(), 1u) << badJobs.stdoutText;
  EXPECT_EQ(badJobs.lines[0].rfind("Error: ", 0), 0u) << badJobs.lines[0];
  EXPECT_EQ(badJobs.stderrText, "");
  EXPECT_EQ(FilesIn(out()), Lines{});
  EXPECT_EQ(FileSize(out() + "/a"), -1);
  // Random parts cannot be trusted to differ: a mask without the file name clashes.
  const std::string c = Dng("a/IMG_2.DNG");
  expectRefused({"-o", out(), "--filename-mask=%rnd%.%ext%", card()},
                {"Error: Output file names collide; nothing was converted", "  " + out() + "/a/%rnd%.jpg", "    " + a,
                 "    " + c});
}

TEST_F(BatchRun, OddFileNamesConvertFromFoldersAndFromLists) {
  const Lines names = {"sp ace.dng",      "quo'te.dng", "dq\"uote.dng",        "new\nline.dng",
                       "bad\xff\xfe.dng", "-dash.dng",  "$(touch hacked).dng", "brace{1} %filename%.dng"};
  std::string list;
  for (const std::string& name : names) list += Dng(name) + '\0';
  ProgramRun run = RunBatch({"-o", out(), card()});
  EXPECT_EQ(run.exitStatus, 0) << run.stdoutText;
  Lines expected;
  for (const std::string& name : names) expected.push_back(name.substr(0, name.size() - 4) + ".jpg");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(out()), expected);

  const std::string listed = folder / "listed";
  mkdir(listed.c_str(), 0755);
  ProgramRun fromList = RunBatch({"-q", "-0", "--files-from=-", "-o", listed}, list);
  EXPECT_EQ(fromList.exitStatus, 0) << fromList.stdoutText;
  EXPECT_EQ(FilesIn(listed), expected);
  EXPECT_EQ(FileSize(folder / "hacked"), -1);
  EXPECT_EQ(FileSize(out() + "/hacked"), -1);
}

// Waits until the job log names at least one finished job.
bool WaitForFirstJob(const std::string& jobLog) {
  for (int tries = 0; tries < 600; ++tries) {
    std::vector<uint8_t> log = ReadBytes(jobLog);
    if (std::count(log.begin(), log.end(), '\n') >= 2) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

TEST_F(BatchRun, AnInterruptedRunLeavesOnlyWholeJpegsAndResumes) {
  for (const char* name : {"a1.dng", "a2.dng", "a3.dng"}) Dng(name);
  DngOptions large;
  large.width = 4000;
  large.height = 3000;
  large.noise = 8;
  Dng("z.dng", large);
  const Lines args = {"-j", "1", "-o", out(), "--raw-load-as=24", card()};
  Lines command = {BatchBinary()};
  command.insert(command.end(), args.begin(), args.end());
  UniqueFd input(open("/dev/null", O_RDONLY));
  std::optional<StartedProgram> batch = StartProgram(command, {}, input.get(), SIGKILL);
  ASSERT_TRUE(batch);
  ASSERT_TRUE(WaitForFirstJob(JobLogOf(out())));
  kill(batch->pid, SIGTERM);
  EXPECT_EQ(WaitForProgram(batch->pid), 1);
  const Lines first = FilesIn(out());
  ASSERT_LT(first.size(), 5u) << "z.dng must still have been converting";
  for (const std::string& name : first) EXPECT_TRUE(IsWholeJpeg(out() + "/" + name)) << name;

  ProgramRun resumed = RunBatch({"-j", "1", "-o", out(), "--raw-load-as=24", "--resume", card()});
  EXPECT_EQ(resumed.exitStatus, 0) << resumed.stdoutText;
  EXPECT_EQ(WithoutTime(resumed), (Lines{"Converted 4 of 4 files"}));
  EXPECT_EQ(FilesIn(out()), (Lines{"a1.jpg", "a2.jpg", "a3.jpg", "z.jpg"}));
  std::vector<uint8_t> bytes = ReadBytes(JobLogOf(out()));
  const std::string log(bytes.begin(), bytes.end());
  size_t converted = 0;
  for (size_t at = 0; (at = log.find("\tconverted\t", at)) != std::string::npos; ++at) ++converted;
  EXPECT_EQ(converted, 4u) << "every file converted once: " << log;
}

TEST_F(BatchRun, ASecondMachineConvertsWhatIsTransferredToIt) {
  Dng("sub/IMG_1.DNG");
  Dng("sp ace.dng");
  const std::string remote = folder / "remote", standIn = folder / "standin-ssh";
  mkdir(remote.c_str(), 0755);
  const std::string build = BatchBinary().substr(0, BatchBinary().rfind('/'));
  // Stands in for ssh: skips its options and the host, then runs the command in another
  // folder of this machine, where pixquillcmd is on the PATH as on an installed host.
  WriteText(standIn,
            "#!/bin/sh\n"
            "while [ $# -gt 0 ]; do case \"$1\" in -l|-o|-p|-i|-F) shift 2;; -*) shift;; *) break;; esac; done\n"
            "shift; [ \"$1\" = -- ] && shift\n"
            "cd '" +
                remote +
                "' || exit 255\n"
                "HOME='" +
                remote + "' PATH='" + build + "':$PATH exec /bin/sh -c \"$*\"\n");
  chmod(standIn.c_str(), 0755);
  ProgramRun run = RunBatch({"--ssh=" + standIn, "-S", "standin", "--transfer", "-o", out(), card()});
  EXPECT_EQ(run.exitStatus, 0) << run.stdoutText << run.stderrText;
  EXPECT_EQ(FilesIn(out()), (Lines{"sp ace.jpg", "sub/IMG_1.jpg"}));
  EXPECT_TRUE(IsWholeJpeg(out() + "/sub/IMG_1.jpg"));
  std::vector<uint8_t> bytes = ReadBytes(JobLogOf(out()));
  const std::string log(bytes.begin(), bytes.end());
  size_t onStandIn = 0;
  for (size_t at = 0; (at = log.find("\tstandin\t", at)) != std::string::npos; ++at) ++onStandIn;
  EXPECT_EQ(onStandIn, 2u) << log;
  EXPECT_EQ(FilesIn(remote), Lines{}) << "the stand-in host keeps nothing";

  // Jobs that stay on this machine read a relative profile from the batch's folder.
  const std::string here = folder / "here";
  mkdir(here.c_str(), 0755);
  WriteText(folder / "web.ini", "[CLI]\n--filename-mask = %filename%-web.%ext%\n");
  ProgramRun local = RunBatch({"-S", ":", "--transfer", "--profile=web.ini", "-o", "here", "card"}, "", folder.path());
  EXPECT_EQ(local.exitStatus, 0) << local.stdoutText;
  EXPECT_EQ(FilesIn(here), (Lines{"sp ace-web.jpg", "sub/IMG_1-web.jpg"}));
}

// Stands in for ssh as the test above does; hosts named "dead..." cannot be reached.
std::string StandInSsh(const TempFolder& folder) {
  const std::string remote = folder / "remote", standIn = folder / "standin-ssh";
  mkdir(remote.c_str(), 0755);
  const std::string build = BatchBinary().substr(0, BatchBinary().rfind('/'));
  WriteText(standIn,
            "#!/bin/sh\n"
            "while [ $# -gt 0 ]; do case \"$1\" in -l|-o|-p|-i|-F) shift 2;; -*) shift;; *) break;; esac; done\n"
            "case \"$1\" in dead*) echo \"ssh: Could not resolve hostname $1\" >&2; exit 255;; esac\n"
            "shift; [ \"$1\" = -- ] && shift\ncd '" +
                remote + "' || exit 255\nHOME='" + remote + "' PATH='" + build + "':$PATH exec /bin/sh -c \"$*\"\n");
  chmod(standIn.c_str(), 0755);
  return standIn;
}

// The folders of /proc that stand for processes.
std::vector<std::string> ProcessFolders() {
  std::vector<std::string> folders;
  for (const auto& entry : std::filesystem::directory_iterator("/proc"))
    if (std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0])))
      folders.push_back(entry.path().string());
  return folders;
}

// Processes whose command line holds `text`.
size_t ProcessesNaming(const std::string& text) {
  size_t count = 0;
  for (const std::string& process : ProcessFolders()) {
    std::vector<uint8_t> bytes = ReadBytes(process + "/cmdline");
    count += std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
  }
  return count;
}

// The first process whose parent is `parent` (the batch has one: GNU parallel).
pid_t ChildOf(pid_t parent) {
  for (const std::string& process : ProcessFolders()) {
    std::vector<uint8_t> bytes = ReadBytes(process + "/stat");
    const std::string stat(bytes.begin(), bytes.end());
    const size_t close = stat.rfind(')');
    if (close != std::string::npos && std::atoi(stat.c_str() + close + 4) == parent) return std::atoi(stat.c_str());
  }
  return -1;
}

TEST_F(BatchRun, AResumedRunGoesByFileAndOptionsAndSaysWhatItDid) {
  for (const char* name : {"a/1.dng", "a/2.dng", "a/3.dng", "b/1.dng", "b/2.dng", "b/3.dng", "b/4.dng"}) Dng(name);
  EXPECT_EQ(RunBatch({"-q", "card/a"}, "", folder.path()).exitStatus, 0);
  ProgramRun other = RunBatch({"--resume", "card/b"}, "", folder.path());
  EXPECT_EQ(WithoutTime(other), Lines{"Converted 4 of 4 files"}) << "another card's log rows do not count";
  EXPECT_EQ(FilesIn(card() + "/b").size(), 8u);
  Dng("b/5.dng");
  ProgramRun added = RunBatch({"--resume", "card/b"}, "", folder.path());
  ASSERT_EQ(added.lines.size(), 1u);
  EXPECT_EQ(added.lines[0].rfind("Converted 5 of 5 files in total, 1 of them in ", 0), 0u) << added.lines[0];
}

TEST_F(BatchRun, AnUnreachableMachineFailsNoFile) {
  for (const char* name : {"1.dng", "2.dng", "3.dng", "4.dng", "5.dng"}) Dng(name);
  WriteText(card() + "/0.dng", "");
  const std::string ssh = "--ssh=" + StandInSsh(folder);
  const Lines expected = {"Converted 5 of 6 files", "Failed: " + card() + "/0.dng", "  Error: Invalid input file",
                          "  pixquillcmd: " + card() + "/0.dng: the file is empty"};
  ProgramRun shared = RunBatch({ssh, "-S", ":,dead.invalid", "-o", out(), card()});
  EXPECT_EQ(shared.exitStatus, 1);
  EXPECT_EQ(WithoutTime(shared), expected);
}

TEST_F(BatchRun, EveryArgumentIsABatchOptionAPixquillcmdOptionOrAPath) {
  const std::string one = Dng("IMG_1.dng");
  ProgramRun attached = RunBatch({"-j1", "--jobs=1", "-o", out(), one});
  EXPECT_EQ(attached.lines.size(), 1u);
  EXPECT_EQ(attached.lines[0].rfind("Converted 1 of 1 file in ", 0), 0u) << attached.stdoutText;
  const std::pair<Lines, std::string> refused[] = {
      {{"--JOBS=4"}, "Error: Unknown option --JOBS=4 (did you mean --jobs?)"},
      {{"--jbos=4"}, "Error: Unknown option --jbos=4"},
      {{"--filename-mask=../%filename%.%ext%"},
       "Error: The file name mask gives ../IMG_1.jpg, which leaves the output folder; nothing was converted"},
      {{"-S", ",,"}, "Error: Invalid --sshlogin value: ,, (an empty machine name)"},
      {{"--memfree=1000T"}, "Error: Invalid --memfree value: 1000T is more memory than this machine has ("},
      {{"--files-from=/dev/null"}, "Error: No input files: --files-from=/dev/null names none"},
      {{"--watch=" + card()}, "Error: A watch takes no other PATH: " + one},
  };
  std::filesystem::remove(out() + "/IMG_1.jpg");
  for (const auto& [args, line] : refused) {
    Lines command = args;
    if (args[0] != "--files-from=/dev/null") command.insert(command.end(), {"-o", out(), one});
    ProgramRun run = RunBatch(command);
    EXPECT_EQ(run.exitStatus, 2) << args[0];
    ASSERT_EQ(run.lines.size(), 1u) << run.stdoutText;
    EXPECT_EQ(run.lines[0].substr(0, line.size()), line);
  }
  EXPECT_EQ(FilesIn(out()), Lines{});
}

TEST_F(BatchRun, NamesOverTransferNeverReachOtherFiles) {
  const std::string broken = Dng("x\nevil/a.dng");
  Dng("sp /b.dng");
  Dng("bs\\/c.dng");
  const Lines args = {"--ssh=" + StandInSsh(folder), "-S", "standin", "--transfer", "-o", "out", "card"};
  ProgramRun refused = RunBatch(args, "", folder.path());
  EXPECT_EQ(refused.exitStatus, 2);
  EXPECT_EQ(refused.lines, (Lines{"Error: Names with a line break cannot be sent to other machines; nothing was "
                                  "converted",
                                  "  " + card() + "/x\\nevil/a.dng"}));
  EXPECT_EQ(FileSize(folder / "evil"), -1);
  std::filesystem::remove_all(broken.substr(0, broken.rfind('/')));
  ProgramRun sent = RunBatch(args, "", folder.path());
  EXPECT_EQ(sent.exitStatus, 0) << sent.stdoutText;
  EXPECT_EQ(FilesIn(out()), (Lines{"bs\\/c.jpg", "sp /b.jpg"}));
  EXPECT_EQ(FilesIn(folder / "remote"), Lines{});
}

TEST_F(BatchRun, ASecondBatchIntoTheSameFolderIsRefusedWhileTheFirstRuns) {
  Dng("a.dng");
  ASSERT_TRUE(MakeFolders(state() + "/pixquillbatch"));
  UniqueFd first(open(JobLogOf(out()).c_str(), O_RDWR | O_CREAT, 0644));
  ASSERT_EQ(flock(first.get(), LOCK_EX), 0);
  ProgramRun second = RunBatch({"-o", out(), card()});
  EXPECT_EQ(second.exitStatus, 2);
  ASSERT_EQ(second.lines.size(), 1u);
  EXPECT_EQ(second.lines[0].rfind("Error: Another pixquillbatch is using the job log ", 0), 0u);
  EXPECT_EQ(FilesIn(out()), Lines{});
  first.reset();
  EXPECT_EQ(RunBatch({"-o", out(), card()}).exitStatus, 0);
}

TEST_F(BatchRun, NothingRunsOnAfterTheBatchHasEnded) {
  DngOptions large;
  large.width = 4000;
  large.height = 3000;
  large.noise = 8;
  for (const char* name : {"a.dng", "b.dng", "c.dng", "d.dng"}) Dng(name, large);
  UniqueFd input(open("/dev/null", O_RDONLY));
  const auto start = [&](const Lines& args) {
    Lines command = {BatchBinary(), "-j", "2", "--raw-load-as=24", "-o", out(), card()};
    command.insert(command.end(), args.begin(), args.end());
    std::optional<StartedProgram> batch = StartProgram(command, {}, input.get(), SIGKILL);
    for (int tries = 0; tries < 600 && ProcessesNaming(out() + "/.") == 0; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return batch;
  };
  // GNU parallel killed: its jobs are stopped before the batch ends.
  std::optional<StartedProgram> batch = start({});
  ASSERT_TRUE(batch);
  kill(ChildOf(batch->pid), SIGKILL);
  EXPECT_EQ(WaitForProgram(batch->pid), 1);
  EXPECT_EQ(ProcessesNaming(out() + "/."), 0u);
  // Ctrl-C: status 130, like other tools.
  batch = start({"--resume"});
  ASSERT_TRUE(batch);
  kill(batch->pid, SIGINT);
  EXPECT_EQ(WaitForProgram(batch->pid), 130);
  EXPECT_EQ(ProcessesNaming(out() + "/."), 0u);
  for (const std::string& name : FilesIn(out())) EXPECT_TRUE(IsWholeJpeg(out() + "/" + name)) << name;
}

TEST_F(BatchRun, AFileTooLargeForThisMachineFailsAloneInsteadOfBlockingTheRest) {
  Dng("small.dng");
  const std::string huge = card() + "/huge.dng";
  WriteText(huge, "");
  ASSERT_EQ(truncate(huge.c_str(), PhysicalMemoryBytes() / 12 + (int64_t{1} << 30)), 0);  // sparse
  ProgramRun run = RunBatch({"-o", out(), card()});
  EXPECT_EQ(run.exitStatus, 1);
  ASSERT_EQ(run.lines.size(), 3u) << run.stdoutText;
  EXPECT_EQ(WithoutTime(run)[0], "Converted 1 of 2 files");
  EXPECT_EQ(run.lines[1], "Failed: " + huge);
  EXPECT_EQ(run.lines[2].rfind("  Needs about ", 0), 0u) << run.lines[2];
}

TEST_F(BatchRun, AnUnreadableFolderIsAFailureAndLinksAreFollowedOnce) {
  Dng("a.dng");
  Dng("locked/b.dng");
  ASSERT_EQ(symlink(card().c_str(), (card() + "/loop").c_str()), 0);
  mkdir(state().c_str(), 0755);
  for (const std::string& path : {folder.path(), card(), out(), state()}) ASSERT_TRUE(HandToUnprivilegedUser(path));
  chmod((card() + "/locked").c_str(), 0);
  ProgramRun run =
      RunProgram("/usr/bin/env", {"HOME=" + state(), "XDG_STATE_HOME=" + state(), BatchBinary(), "-o", out(), card()},
                 "", "", 120, {.unprivileged = true});
  chmod((card() + "/locked").c_str(), 0755);
  EXPECT_EQ(run.exitStatus, 1);
  ASSERT_EQ(run.lines.size(), 3u) << run.stdoutText;
  EXPECT_EQ(run.lines[0].rfind("Converted 1 of 1 file in ", 0), 0u);
  EXPECT_EQ(run.lines[1], "Failed: " + card() + "/locked");
  EXPECT_EQ(run.lines[2], "  The folder could not be read: Permission denied");
}

TEST_F(BatchRun, AJobLogNeverReplacesAnotherFile) {
  const std::string input = Dng("a.dng");
  WriteText(folder / "notes.txt", "keep");
  const std::vector<uint8_t> raw = ReadBytes(input);
  for (const std::string& log : {input, folder / "notes.txt", out() + "/a.jpg"})
    EXPECT_EQ(RunBatch({"--joblog=" + log, "-o", out(), card()}).exitStatus, 2) << log;
  EXPECT_EQ(ReadBytes(input), raw);
  EXPECT_EQ(ReadBytes(folder / "notes.txt").size(), 4u);
  EXPECT_EQ(RunBatch({"--joblog=" + folder / "my.log", "-o", out(), card()}).exitStatus, 0);
  EXPECT_EQ(RunBatch({"--joblog=" + folder / "my.log", "--resume", "-o", out(), card()}).exitStatus, 0);
}

}  // namespace
