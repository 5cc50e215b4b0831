#include "cli/ProductText.h"

#include "formats/FormatTables.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Placeholders.h"
#include "platform/Text.h"

namespace {

// The maker notice keeps its legal form with "©"; the console cannot be trusted to show
// that sign, so every "©" is printed as "(c)".
constexpr std::string_view kMakerNotice = "Copyright © 2026 Quillmark Software";
constexpr std::string_view kWebAddress = "https://quillmark.example/pixquill";

// "%s1%" is the program name, "%s2%" an accepted input format. Lines that look empty hold
// one space: the help is fixed console output, read line by line by scripts and help2man.
constexpr std::string_view kHelpText[] = {
    " ",
    "Usage: %s1% -i <filename> [options]",
    " ",
    "  %s1% -i example.%s2%",
    "  %s1% -i /tmp/example.%s2%",
    "  %s1% -i /tmp/example.%s2% -o /tmp/converted",
    "  %s1% -i /tmp/example.%s2% -o /tmp/converted --jpg-quality=95",
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

std::string RandomAcceptedInputFormat() {
  if (AcceptedInputFormats.empty()) return {};
  int32_t last = static_cast<int32_t>(AcceptedInputFormats.size()) - 1;
  return AcceptedInputFormats[static_cast<size_t>(RandomInteger(0, last))];
}

}  // namespace

std::string VersionText(int32_t number) {
  std::string digits = std::to_string(number);
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i == 1 || i == 2) text += '.';
    text += digits[i];
  }
  if (EndsWith(text, "0")) text = text.substr(0, 3);
  return text;
}

std::string ProductTitle(std::string_view name, int32_t number) {
  return std::string(name) + " " + VersionText(number);
}

std::vector<std::string> BannerLines() {
  return {ProductTitle(kProductName, programVersion), ReplaceAllNoCase(kMakerNotice, "©", "(c)"),
          std::string(kWebAddress), " "};
}

std::vector<std::string> HelpTextLines() {
  const std::string programName = ProgramName();
  std::vector<std::string> lines;
  for (std::string_view line : kHelpText)
    lines.push_back(FillPlaceholders(line, programName, RandomAcceptedInputFormat()));
  return lines;
}
