#include "batch/BatchOptions.h"

#include <optional>

#include "cli/ArgumentScan.h"

namespace {

using B = BatchSettingsRecord;

constexpr BatchOptionRow kBatchOptions[] = {
    {"--jobs", "-j", &B::jobs, nullptr},
    {"--sshlogin", "-S", &B::sshLogins, nullptr, true},
    {"--sshloginfile", "", &B::sshLoginFile, nullptr},
    {"--ssh", "", &B::sshCommand, nullptr},
    {"--transfer", "", nullptr, &B::transfer},
    {"--files-from", "", &B::filesFrom, nullptr},
    {"--null", "-0", nullptr, &B::nullSeparated},
    {"--resume", "", nullptr, &B::resume},
    {"--joblog", "", &B::jobLog, nullptr},
    {"--memfree", "", &B::memFree, nullptr},
    {"--help", "-h", nullptr, &B::help},
    {"--version", "-v", nullptr, &B::version},
};

// The row an argument names, and the value it carries after "=" when it has one.
const BatchOptionRow* FindBatchOption(const std::string& argument, std::optional<std::string>& attached) {
  const size_t equals = argument.find('=');
  const std::string name = argument.substr(0, equals);
  for (const BatchOptionRow& row : kBatchOptions) {
    if (name != row.name && (row.shortName.empty() || argument != row.shortName)) continue;
    if (equals != std::string::npos) attached = argument.substr(equals + 1);
    return &row;
  }
  return nullptr;
}

void StoreText(std::string& field, const std::string& value, bool repeats) {
  field = repeats && !field.empty() ? field + "," + value : value;
}

}  // namespace

std::span<const BatchOptionRow> BatchOptionTable() { return kBatchOptions; }

BatchArguments SplitBatchArguments(const std::vector<std::string>& args) {
  BatchArguments split;
  for (size_t i = 0; i < args.size(); ++i) {
    std::optional<std::string> value;
    const BatchOptionRow* row = FindBatchOption(args[i], value);
    if (!row) {
      split.rest.push_back(args[i]);
    } else if (row->flag) {
      split.settings.*(row->flag) = true;
    } else if (value || i + 1 < args.size()) {
      StoreText(split.settings.*(row->text), value ? *value : args[++i], row->repeats);
    } else {
      split.errorMessage = kIncorrectParameterCount;
      break;
    }
  }
  return split;
}

std::vector<std::string> BatchHelpLines() {
  return {
      "Usage: pixquillbatch [batch options] [pixquillcmd options] PATH...",
      "Converts many camera RAW files at once: one pixquillcmd per file, run by GNU parallel",
      "on every core of this machine and, if asked, of others.",
      " ",
      "Each PATH is a RAW file or a folder, searched at any depth for RAW files.",
      "pixquillcmd's options (see pixquillcmd -h) apply to every file and are checked once,",
      "before any file is converted; -o DIR puts the JPEGs under DIR, keeping the subfolders",
      "found below a folder PATH unless --no-subfolders is given; without -o each JPEG goes",
      "next to its RAW file. Output names that would collide stop the batch before it starts.",
      " ",
      "Batch options:",
      " ",
      "  -j N, --jobs=N            Convert N files at once on each machine (default: one per core)",
      "  --files-from=FILE         Read more PATHs from FILE, one per line (- is standard input)",
      "  -0, --null                The PATHs in --files-from are separated by NUL bytes",
      "  --resume                  Convert only the files an earlier run did not convert",
      "  --joblog=FILE             Keep the job log in FILE (default: .pixquillbatch-joblog in the",
      "                            output folder, or in the current folder without -o)",
      "  --memfree=SIZE            Start a job only while SIZE bytes of memory are free (K, M, G",
      "                            suffixes; default from the largest input and the load mode)",
      "  -S HOSTS, --sshlogin=HOSTS  Also convert on these machines (comma-separated, : is this one)",
      "  --sshloginfile=FILE       Read the machines from FILE, one per line",
      "  --ssh=COMMAND             Reach the machines with COMMAND instead of ssh",
      "  --transfer                Send each RAW file to the machine that converts it and bring the",
      "                            JPEG back (for machines without a shared file system)",
      "  -h, --help                Display this help and exit",
      "  -v, --version             Display version information and exit",
      " ",
      "-q prints nothing but errors; on a terminal a progress line shows on standard error.",
      "Exit status: 0 all files converted, 1 some failed or were not converted, 2 the request",
      "was refused.",
  };
}
