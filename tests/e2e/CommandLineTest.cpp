// The command line through the real program: exact console lines and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

const std::vector<std::string> kHelp = {
    " ",
    "Usage: pixquillcmd -i <filename> [options]",
    " ",
    "  pixquillcmd -i example.raw",
    "  pixquillcmd -i /tmp/example.raw",
    "  pixquillcmd -i /tmp/example.raw -o /tmp/converted",
    "  pixquillcmd -i /tmp/example.raw -o /tmp/converted --jpg-quality=95",
    " ",
    "Options:",
    " ",
    "  -h, -?, --help            Display this help and exit",
    "  -i FILE, --input=FILE     Set input file",
    "  -o PATH, --output=PATH    Set output folder",
    "  -c STR, --conversion=STR  Set output extension, STR = (jpg | bmp | ...)",
    " ",
    "Advanced options:",
    " ",
    "  --width=NUM               Set output image width",
    "  --height=NUM              Set output image height",
    "  --filename-mask=STR       Define output filename format",
    "  --flip-horizontal         Flip output image horizontally",
    "  --flip-vertical           Flip output image vertically",
    "  --brightness=NUM          Set output image brightness, NUM = -100..100",
    "  --contrast=NUM            Set output image contrast, NUM = -100..100",
    "  --gamma=NUM               Set output image gamma, NUM = 0.01..9.99",
    "  --invert                  Invert output image",
    "  --greyscale               Greyscale output image",
    "  --profile=FILE            Set configuration file with required settings",
    "    ...                     Refer documentation for all available options",
    " ",
    "Other options:",
    " ",
    "  -q, --quiet               Don't print status messages to stdout",
    "  -d, --debug               Print debug information to stdout",
    "  -p, --pause               Pause at exit",
    "  -v, --version             Display version information and exit",
    " ",
    "Every option and profile key: see man pixquillcmd.",
    "Many files at once, on every core: pixquillbatch (see man pixquillbatch).",
};

struct RunCase {
  std::vector<std::string> arguments;
  std::vector<std::string> lines;
  int exitStatus;
};

std::string Joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& a : arguments) text += "[" + a + "] ";
  return text;
}

TEST(CommandLineTest, HelpVersionAndRefusals) {
  const std::vector<std::string> refused = {"Error: Incorrect number of parameters"};
  const RunCase cases[] = {
      {{"-v"}, {"3.2"}, 0},
      {{"--Version", "-i", "a.raw"}, {"3.2"}, 0},
      {{"-h"}, kHelp, 0},
      {{"-?"}, kHelp, 0},
      {{"--HELP"}, kHelp, 0},
      {{}, kHelp, 0},
      {{"-o", "out", "--jpg-quality=80"}, kHelp, 2},
      {{"-q", "-v"}, kHelp, 2},
      {{"-U"}, {}, 0},
      {{"-T", "shot"}, {}, 0},
      {{"--jpg-quality", "90", "-i", "a.raw"}, refused, 2},
      {{"-i"}, refused, 2},
      {{"-i", "-q"}, refused, 2},
      {{"--width="}, refused, 2},
      {{"-q", "-i", "a.raw", "--width="}, refused, 2},
      {{"--profile=/nonexistent/pixquill-profile.ini", "-i", "a.raw"}, {"Error: Invalid profile file"}, 2},
  };
  for (const RunCase& c : cases) {
    ProgramRun run = RunPixquill(c.arguments);
    EXPECT_EQ(run.lines, c.lines) << Joined(c.arguments);
    EXPECT_EQ(run.exitStatus, c.exitStatus) << Joined(c.arguments);
    EXPECT_EQ(run.stderrText, "") << Joined(c.arguments);
  }
}

TEST(CommandLineTest, PauseAfterAnErrorEndsWhenInputIsClosed) {
  ProgramRun run = RunPixquill({"-p", "--width="});
  EXPECT_EQ(run.lines, std::vector<std::string>{"Error: Incorrect number of parameters"});
  EXPECT_EQ(run.exitStatus, 2) << "-1 means the wait hung and the run was killed";

  run = RunPixquill({"-p", "--width="}, "x");
  EXPECT_EQ(run.exitStatus, 2);
}

TEST(CommandLineTest, ProfileErrorsStopBeforeTheRun) {
  TempFolder folder;
  const std::string profile = folder / "quality.ini";
  WriteText(profile, "[CLI]\n--jpg-quality = 85\n");
  // The profile reads fine; the malformed option after it still stops the run.
  ProgramRun run = RunPixquill({"--profile=" + profile, "-i", "a.raw", "--gamma="});
  EXPECT_EQ(run.lines, std::vector<std::string>{"Error: Incorrect number of parameters"});
  EXPECT_EQ(run.exitStatus, 2);

  // Opening a FIFO for reading would wait for a writer that never comes.
  const std::string fifo = folder / "fifo.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  run = RunPixquillWithin({"-q", "--profile=" + fifo, "-i", "a.raw"}, 10, 0);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.lines, std::vector<std::string>{"Error: Invalid profile file"});
  EXPECT_EQ(run.exitStatus, 2);
}

}  // namespace
