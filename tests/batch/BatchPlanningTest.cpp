// The batch's own options, its inputs and the output names it refuses, and what it reads
// back from GNU parallel: the job log and the tagged output of each job.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "batch/BatchInputs.h"
#include "batch/BatchOptions.h"
#include "batch/BatchReport.h"
#include "cli/ConsoleMain.h"
#include "cli/OptionTable.h"
#include "convert/ConversionJob.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"
#include "support/TestFiles.h"

namespace {

using Lines = std::vector<std::string>;

TEST(BatchOptions, NoBatchOptionHidesAPixquillcmdOption) {
  for (const BatchOptionRow& row : BatchOptionTable()) {
    EXPECT_EQ(FindCommandLineOption(ToUpper(row.name)), nullptr) << row.name;
    if (!row.shortName.empty()) {
      EXPECT_EQ(FindCommandLineOption(ToUpper(row.shortName)), nullptr) << row.shortName;
    }
  }
}

TEST(BatchOptions, AreTakenOutWhereverTheyStand) {
  BatchArguments split = SplitBatchArguments(
      {"-j", "3", "--width=800", "card", "--resume", "-S", "a", "--sshlogin=b", "-0", "--joblog=/tmp/log", "-q"});
  EXPECT_EQ(split.errorMessage, "");
  EXPECT_EQ(split.rest, (Lines{"--width=800", "card", "-q"}));
  EXPECT_EQ(split.settings.jobs, "3");
  EXPECT_EQ(split.settings.sshLogins, "a,b");
  EXPECT_EQ(split.settings.jobLog, "/tmp/log");
  EXPECT_TRUE(split.settings.resume);
  EXPECT_TRUE(split.settings.nullSeparated);
  EXPECT_FALSE(split.settings.transfer);
  // A batch option without its value is refused like a pixquillcmd option without one.
  EXPECT_EQ(SplitBatchArguments({"card", "--files-from"}).errorMessage, "Incorrect number of parameters");
}

TEST(BatchOptions, TheHelpShowsEveryRowInFormsTheSplitTakes) {
  const Lines help = BatchHelpLines();
  const auto shown = [&](const std::string& form) {
    return std::any_of(help.begin(), help.end(),
                       [&](const std::string& line) { return line.find(form) != std::string::npos; });
  };
  for (const BatchOptionRow& row : BatchOptionTable()) {
    EXPECT_FALSE(row.help.empty()) << row.name;
    const std::string name(row.name), shortName(row.shortName), value(row.valueName);
    if (row.flag) {
      EXPECT_TRUE(shown(name)) << name;
      EXPECT_TRUE(SplitBatchArguments({name}).settings.*(row.flag)) << name;
      continue;
    }
    EXPECT_TRUE(shown(name + "=" + value)) << name;
    EXPECT_EQ(SplitBatchArguments({name + "=v"}).settings.*(row.text), "v") << name;
    if (shortName.empty()) continue;
    EXPECT_TRUE(shown(shortName + " " + value)) << shortName;
    EXPECT_EQ(SplitBatchArguments({shortName, "v"}).settings.*(row.text), "v") << shortName;
    EXPECT_EQ(SplitBatchArguments({shortName + "v"}).settings.*(row.text), "v") << shortName << " attached";
  }
}

TEST(BatchOptions, MalformedOrImpossibleValuesAreRefusedUpFront) {
  constexpr int64_t kMachine = int64_t{16} << 30;
  const auto refused = [&](std::string BatchSettingsRecord::*field, const std::string& value, bool remote = false) {
    BatchSettingsRecord settings;
    settings.*field = value;
    if (remote) settings.sshLogins = "studio";
    return CheckBatchSettings(settings, kMachine).has_value();
  };
  EXPECT_TRUE(refused(&BatchSettingsRecord::jobs, "many"));
  EXPECT_TRUE(refused(&BatchSettingsRecord::jobs, "1+`touch x`"));
  EXPECT_FALSE(refused(&BatchSettingsRecord::jobs, "+2"));
  EXPECT_TRUE(refused(&BatchSettingsRecord::memFree, "1T")) << "more than the machine has";
  EXPECT_FALSE(refused(&BatchSettingsRecord::memFree, "1T", true)) << "other machines may have it";
  EXPECT_TRUE(refused(&BatchSettingsRecord::memFree, "1MK"));
  EXPECT_EQ(MemorySize("1.5K"), 1536);
  EXPECT_EQ(MemorySize("2g"), 2000000000);
  // GNU parallel probes the process limit before it starts more jobs than it has files.
  EXPECT_EQ(CappedJobs("100000", 3), "3");
  EXPECT_EQ(CappedJobs("0", 3), "3");
  EXPECT_EQ(CappedJobs("+100000", 3), "3");
  EXPECT_EQ(CappedJobs("2", 3), "2");
}

TEST(BatchInputs, PathListsByLineOrByNul) {
  EXPECT_EQ(SplitPathList("a.cr2\r\n\nb c.nef\nlast", false), (Lines{"a.cr2", "b c.nef", "last"}));
  EXPECT_EQ(SplitPathList(std::string("new\nline.dng\0\0b.dng\0", 20), true), (Lines{"new\nline.dng", "b.dng"}));
}

class BatchFolders : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  std::string Make(const std::string& relative) {
    const std::string path = folder / relative;
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
      mkdir(path.substr(0, slash).c_str(), 0755);
    WriteText(path, "x");
    return path;
  }
  TempFolder folder;
};

TEST_F(BatchFolders, FolderTreesGiveTheirRawFilesWithSubfolders) {
  const std::string a = Make("card/DCIM/100/IMG_1.CR2"), b = Make("card/DCIM/101/img_2.nEf"), c = Make("card/top.dng"),
                    loose = Make("loose.ARW");
  Make("card/DCIM/100/IMG_1.THM");
  Make("card/notes.txt");
  std::vector<BatchFile> files = CollectBatchFiles({folder / "card/", loose, folder / "card/./top.dng"});
  ASSERT_EQ(files.size(), 4u) << "found once each, RAW files only";
  EXPECT_EQ(files[0].input, a);
  EXPECT_EQ(files[0].subfolder, "DCIM/100/");
  EXPECT_EQ(files[1].input, b);
  EXPECT_EQ(files[1].subfolder, "DCIM/101/");
  EXPECT_EQ(files[2].input, c);
  EXPECT_EQ(files[2].subfolder, "");
  EXPECT_EQ(files[3].input, loose);

  AssignOutputFolders(files, "/out", true);
  EXPECT_EQ(files[0].outputFolder, "/out/DCIM/100");
  EXPECT_EQ(files[2].outputFolder, "/out");
  AssignOutputFolders(files, "/out", false);
  EXPECT_EQ(files[1].outputFolder, "/out");
  AssignOutputFolders(files, "", true);
  EXPECT_EQ(files[1].outputFolder, folder / "card/DCIM/101");
}

struct ClashCase {
  const char* mask;
  bool keepSubfolders;
  size_t clashes;
};

class BatchClashes : public ::testing::TestWithParam<ClashCase> {};

TEST_P(BatchClashes, OutputsThatNothingKeepsApartAreFound) {
  ResetProgramState();
  ConversionJob.outputExtension = "jpg";
  ConversionSettings.filenameMask = GetParam().mask;
  std::vector<BatchFile> files = {
      {"/in/a/IMG_1.CR2", "a/", ""}, {"/in/b/IMG_1.CR2", "b/", ""}, {"/in/b/IMG_2.CR2", "b/", ""}};
  AssignOutputFolders(files, "/out", GetParam().keepSubfolders);
  EXPECT_EQ(FindOutputClashes(files).size(), GetParam().clashes) << GetParam().mask;
}

INSTANTIATE_TEST_SUITE_P(BatchMasks, BatchClashes,
                         ::testing::Values(ClashCase{"", true, 0}, ClashCase{"", false, 1},
                                           ClashCase{"%filename%-%rnd%.%ext%", false, 1},
                                           ClashCase{"%filename%-%n%.%ext%", true, 0},
                                           ClashCase{"photo.%ext%", true, 1}, ClashCase{"%width%.%ext%", true, 1},
                                           ClashCase{"%hh%%ii%%ss%.%ext%", false, 1}));

TEST(BatchClashReport, NamesEachOutputWithItsInputsAndAReplacedInput) {
  ResetProgramState();
  ConversionJob.outputExtension = "jpg";
  ConversionSettings.filenameMask = "x%filename%.cr2";
  std::vector<BatchFile> files = {{"/in/IMG.NEF", "", ""}, {"/in/xIMG.cr2", "", ""}};
  AssignOutputFolders(files, "", true);
  std::vector<OutputClash> clashes = FindOutputClashes(files);
  EXPECT_EQ(ClashReportLines(clashes, 20), (Lines{"Error: Output file names collide; nothing was converted",
                                                  "  /in/xIMG.cr2", "    /in/IMG.NEF", "    /in/xIMG.cr2"}));
  clashes.push_back(clashes.front());
  EXPECT_EQ(ClashReportLines(clashes, 1).back(), "  and 1 more");
  // A file whose output names itself fails its own conversion; it is no clash.
  ConversionSettings.filenameMask = "%filename%.cr2";
  files = {{"/in/a.cr2", "", ""}};
  AssignOutputFolders(files, "", true);
  EXPECT_TRUE(FindOutputClashes(files).empty());
}

TEST_F(BatchFolders, ABackslashIsPartOfANameAndNothingLeavesTheFolders) {
  ConversionJob.outputExtension = "jpg";
  Make("card/a\\b/c\\d.dng");
  Make("card/x\ny/e.dng");
  std::vector<BatchFile> files = CollectBatchFiles({folder / "card"});
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].subfolder, "a\\b/");
  AssignOutputFolders(files, "", true);
  EXPECT_EQ(files[0].outputFolder, folder / "card/a\\b");
  AssignOutputFolders(files, folder / "out", true);
  EXPECT_EQ(MissingOutputFolders(files), (Lines{folder / "out", folder / "out/a\\b", folder / "out/x\ny"}));
  EXPECT_EQ(NameLeavingOutputFolder(files), std::nullopt);
  ConversionSettings.filenameMask = "../%filename%.%ext%";
  EXPECT_EQ(NameLeavingOutputFolder(files), "../d.jpg") << "named as pixquillcmd names it";
}

BatchProgressRecord ThreeJobs() {
  BatchProgressRecord progress;
  progress.jobs.resize(3);
  return progress;
}

TEST(BatchJobLog, LinesByJobNumberTheLatestWinning) {
  BatchProgressRecord progress = ThreeJobs();
  const std::string log =
      "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n"
      "2\t:\t1.0\t0.5\t0\t0\t1\t0\tpixquillcmd -i 'a\tb'\n"
      "9\t:\t1.0\t0.5\t0\t0\t0\t0\tout of range\n"
      "3\t:\t1.0\t0.5\t0\t0\t-1\t15\tx\n"
      "1\t:\t1.0\t";
  ApplyJobLogLines(log, progress);
  EXPECT_FALSE(progress.jobs[0].finished) << "a cut line is no job";
  EXPECT_EQ(progress.jobs[1].exitValue, 1);
  EXPECT_EQ(progress.jobs[2].signal, 15);
  EXPECT_EQ(ConvertedCount(progress), 0u);
  ApplyJobLogLines("2\thost1\t2.0\t0.5\t0\t0\t0\t0\tx\n", progress);
  EXPECT_EQ(progress.jobs[1].exitValue, 0);
  EXPECT_EQ(ConvertedCount(progress), 1u);
}

TEST(BatchJobLog, ReaderHandsOverCompleteLinesOnce) {
  TempFolder folder;
  JobLogReader reader(folder / "log");
  EXPECT_EQ(reader.ReadNewLines(), "") << "no log yet";
  WriteText(folder / "log", "Seq\n1\tpart");
  EXPECT_EQ(reader.ReadNewLines(), "Seq\n");
  WriteText(folder / "log", "Seq\n1\tpart of it\n2\t");
  EXPECT_EQ(reader.ReadNewLines(), "1\tpart of it\n");
}

TEST(BatchReport, CountsFailuresWithTheirReasonsAndWhatIsLeft) {
  std::vector<BatchFile> files = {{"/in/a.dng", "", ""}, {"/in/b.dng", "", ""}, {"/in/c.dng", "", ""}};
  BatchProgressRecord progress = ThreeJobs();
  ApplyJobLogLines("1\t:\t0\t0\t0\t0\t0\t0\tx\n2\t:\t0\t0\t0\t0\t2\t0\tx\n", progress);
  for (const char* line : {"2\tError: Invalid input file", "1\tProcessing: a.dng",
                           "1\t\x1f"
                           "exit 0",
                           "parallel: Warning: something", "2\t", "7\tstray"})
    ApplyOutputLine(line, progress);
  EXPECT_EQ(progress.notices, (Lines{"parallel: Warning: something", "7\tstray"}));
  EXPECT_EQ(progress.output.count(1), 0u) << "a converted file's lines are not kept";
  EXPECT_EQ(ReportLines(files, progress, 2.34, false),
            (Lines{"Converted 1 of 3 files in 2.3 s", "Failed: /in/b.dng", "  Error: Invalid input file",
                   "Not converted yet: 1 file (run the same command with --resume)"}));
  ApplyJobLogLines("3\t:\t0\t0\t0\t0\t-1\t9\tx\n", progress);
  EXPECT_EQ(ReportLines(files, progress, 3.0, true),
            (Lines{"Failed: /in/b.dng", "  Error: Invalid input file", "Failed: /in/c.dng", "  Stopped by signal 9"}));
}

TEST(BatchReport, ProgressShowsRateAndTimeLeft) {
  BatchProgressRecord progress;
  progress.jobs.resize(499);
  progress.earlierConverted = 1;
  EXPECT_EQ(ProgressText(progress, 1.0), "1/500 files");
  for (int i = 1; i <= 100; ++i) ApplyJobLogLines(std::to_string(i) + "\t:\t0\t0\t0\t0\t0\t0\tx\n", progress);
  EXPECT_EQ(ProgressText(progress, 50.0), "101/500 files, 2.0 files/s, 3 min 20 s left")
      << "an earlier run's files count as done but not in the rate";
}

TEST(BatchReport, AResumedRunSaysWhatItDidAndEachFailureWhy) {
  const std::vector<BatchFile> files = {{"/in/a.dng", "", ""}, {"/in/b.dng", "", ""}};
  BatchProgressRecord progress;
  progress.jobs.resize(2);
  progress.earlierConverted = 3;
  progress.notRun = {{"/in/huge.dng", "Needs about 24.0 GiB of memory"}};
  progress.unreadable = {{"/in/locked", "Permission denied"}};
  ApplyJobLogLines("1\tstudio\t0\t0\t0\t0\t0\t0\tx\n2\t:\t0\t0\t0\t0\t0\t0\tx\n", progress);
  for (const char* line : {"1\tWarning: Permanently added 'studio'\r",
                           "1\t\x1f"
                           "exit 1",
                           "2\t\x1f"
                           "exit 0"})
    ApplyOutputLine(line, progress);
  EXPECT_EQ(ReportLines(files, progress, 75.2, false),
            (Lines{"Converted 4 of 6 files in total, 1 of them in 1 min 15 s", "Failed: /in/a.dng",
                   "  Warning: Permanently added 'studio'", "Failed: /in/huge.dng", "  Needs about 24.0 GiB of memory",
                   "Failed: /in/locked", "  The folder could not be read: Permission denied"}));
  EXPECT_EQ(ProgressText(progress, 2.0), "6/6 files, 2 failed, 1.0 files/s, 0 s left");
  EXPECT_FALSE(EverythingConverted(progress));
  EXPECT_EQ(FitToWidth("120/500 files, 3.4 files/s", 10), "120/500 f") << "never wraps a terminal line";
}

}  // namespace
