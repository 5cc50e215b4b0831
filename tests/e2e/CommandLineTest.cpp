// The command line through the real program: exact console lines and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "support/DngWriter.h"
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
  }
}

struct StandardErrorCase {
  std::vector<std::string> arguments;
  std::string standardError;
};

// What standard error says beside the console's lines: the words ignored or read
// otherwise than written (not with -q), and the reason behind an error (with -q too).
TEST(CommandLineTest, StandardErrorSaysWhatWasIgnoredAndWhy) {
  TempFolder folder;
  const std::string dng = folder / "IMG_1.dng", jpg = folder / "photo.jpg";
  ASSERT_TRUE(WriteTestDng(dng, DngOptions{}));
  WriteText(jpg, "not a RAW file");
  const std::string noGroup = folder / "nogroup.ini", typo = folder / "typo.ini";
  WriteText(noGroup, "[Other]\n--width = 5\n");
  WriteText(typo, "[CLI]\n--widht = 800\n--gamma = 2,2\n");
  const std::string out = folder.path();
  const std::string p = "pixquillcmd: ";
  const StandardErrorCase cases[] = {
      {{"-h"}, ""},
      {{"-q", "-i", dng, "-o", out}, ""},
      {{"-i", dng, "-o", out, "IMG_2.dng", "IMG_3.dng"},
       p + "ignored: IMG_2.dng IMG_3.dng (one file a run; pixquillbatch converts many)\n"},
      {{"-i", dng, "-o", out, "--widht=800"}, p + "ignored: --widht=800 is not an option (see pixquillcmd -h)\n"},
      {{"-q", "-i", dng, "-o", out, "--widht=800", "x"}, ""},
      {{"-i", dng, "-o", out, "--resize-algorithm=lanczoz"},
       p + "--resize-algorithm=lanczoz: no such word, BOX is used; the words: BOX, BILINEAR, BSPLINE, BICUBIC, "
           "CATMULLROM, LANCZOS\n"},
      {{"-i", dng, "-o", out, "--rotation=abc", "--width=800px", "--gamma=1.5"},
       p + "--rotation=abc: not a number, read as 0\n" + p + "--width=800px: not a number, read as 800\n"},
      {{"-i", dng, "-o", out, "--wm-font-color=red", "--wm-back-color=00ff00"},
       p + "--wm-font-color=red: not six hexadecimal digits RRGGBB, read as 000000\n"},
      {{"-i", dng, "-o", out, "--profile=" + noGroup}, p + noGroup + ": no [CLI] group, so nothing of it is used\n"},
      {{"-i", dng, "-o", out, "--profile=" + typo},
       p + typo + ": ignored: --widht is not a profile key\n" + p + typo +
           ": --gamma = 2,2: not a number, read as 2\n"},
      {{"-q", "--width", "800", "-i", dng}, p + "--width takes its value after \"=\": write --width=800\n"},
      {{"-i", dng, "--width="}, p + "--width=: the value is missing\n"},
      {{"-q", "--profile=~/pixquill-none.ini", "-i", dng},
       p + "--profile=~/pixquill-none.ini: the shell does not expand ~ after \"=\": write --profile=" +
           std::string(std::getenv("HOME") ? std::getenv("HOME") : "$HOME") + "/pixquill-none.ini\n"},
      {{"-q", "-i", folder / "nosuch.dng"}, p + folder / "nosuch.dng" + ": No such file or directory\n"},
      {{"-q", "-i", dng, "-o", folder / "missing"}, p + folder / "missing" + "/: No such file or directory\n"},
      {{"-q", "-i", jpg}, p + jpg + ": \".jpg\" is not an accepted extension; accepted are those of the raw group: "},
  };
  for (const StandardErrorCase& c : cases) {
    const ProgramRun run = RunPixquill(c.arguments);
    if (c.standardError.ends_with(": "))  // the accepted extensions follow, as the format table lists them
      EXPECT_EQ(run.stderrText.rfind(c.standardError, 0), 0u) << Joined(c.arguments) << run.stderrText;
    else
      EXPECT_EQ(run.stderrText, c.standardError) << Joined(c.arguments);
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
