#include "batch/BatchOptions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "batch/BatchReport.h"
#include "cli/ArgumentScan.h"
#include "platform/Machine.h"
#include "platform/Text.h"

namespace {

using B = BatchSettingsRecord;

// In the order of the help.
constexpr BatchOptionRow kBatchOptions[] = {
    {"--jobs", "-j", "N", &B::jobs, nullptr, false, "Convert N files at once on each machine (default: one per core)"},
    {"--files-from", "", "FILE", &B::filesFrom, nullptr, false,
     "Read more PATHs from FILE, one per line (- is standard input)"},
    {"--null", "-0", "", nullptr, &B::nullSeparated, false, "The PATHs in --files-from are separated by NUL bytes"},
    {"--resume", "", "", nullptr, &B::resume, false,
     "Convert only the files that no earlier run converted into the same\nfolder with the same options"},
    {"--joblog", "", "FILE", &B::jobLog, nullptr, false,
     "Keep the job log in FILE (default: a file named for the output folder\nin $XDG_STATE_HOME/pixquillbatch)"},
    {"--memfree", "", "SIZE", &B::memFree, nullptr, false,
     "Start a job only while SIZE bytes of memory are free (K, M, G, T\nsuffixes; default from the inputs and the "
     "load mode)"},
    {"--sshlogin", "-S", "HOSTS", &B::sshLogins, nullptr, true,
     "Also convert on these machines (comma-separated, : is this one)"},
    {"--sshloginfile", "", "FILE", &B::sshLoginFile, nullptr, false, "Read the machines from FILE, one per line"},
    {"--ssh", "", "COMMAND", &B::sshCommand, nullptr, false, "Reach the machines with COMMAND instead of ssh"},
    {"--transfer", "", "", nullptr, &B::transfer, false,
     "Send each RAW file to the machine that converts it and bring the\nJPEG back (for machines without a shared file "
     "system)"},
    {"--watch", "", "DIR", &B::watch, nullptr, false,
     "Keep converting: every RAW file that lands in DIR or a folder below\nit, once it is complete, until Ctrl-C "
     "(files already there first)"},
    {"--new-only", "", "", nullptr, &B::newOnly, false, "With --watch: leave the files already in DIR alone"},
    {"--help", "-h", "", nullptr, &B::help, false, "Display this help and exit"},
    {"--version", "-v", "", nullptr, &B::version, false, "Display version information and exit"},
};

constexpr size_t kHelpColumn = 26;

// The row an argument names, and the value it carries after "=" or after a short name.
const BatchOptionRow* FindBatchOption(const std::string& argument, std::optional<std::string>& attached) {
  const size_t equals = argument.find('=');
  const std::string name = argument.substr(0, equals);
  for (const BatchOptionRow& row : kBatchOptions) {
    if (name == row.name) {
      if (equals != std::string::npos) attached = argument.substr(equals + 1);
      return &row;
    }
    if (row.shortName.empty() || !StartsWith(argument, row.shortName)) continue;
    if (argument.size() == row.shortName.size()) return &row;
    if (row.text) {
      attached = argument.substr(row.shortName.size());
      return &row;
    }
  }
  return nullptr;
}

void StoreText(std::string& field, const std::string& value, bool repeats) {
  field = repeats && !field.empty() ? field + "," + value : value;
}

size_t LoginFileLines(const std::string& path) {
  std::ifstream file(path);
  size_t count = 0;
  for (std::string line; std::getline(file, line);) {
    line = TrimBlanks(line);
    count += !line.empty() && line[0] != '#';
  }
  return count;
}

bool IsDigits(std::string_view text) {
  return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "N", "+N", "-N" or "N%": what GNU parallel takes, without its file form.
bool IsJobCount(std::string_view jobs) {
  if (jobs.starts_with('+') || jobs.starts_with('-')) jobs.remove_prefix(1);
  if (jobs.ends_with('%')) jobs.remove_suffix(1);
  return IsDigits(jobs);
}

// The job slots a relative -j value gives on this machine.
int64_t LocalSlots(const std::string& jobs) {
  const int64_t cores = ProcessorCount();
  const int64_t number = std::atoll(jobs.c_str() + (jobs[0] == '+' || jobs[0] == '-'));
  if (jobs.back() == '%') return std::max<int64_t>(1, cores * number / 100);
  if (jobs[0] == '+') return cores + number;
  if (jobs[0] == '-') return std::max<int64_t>(1, cores - number);
  return number;
}

struct SizeSuffix {
  char letter;
  double factor;
};
constexpr SizeSuffix kSizeSuffixes[] = {
    {'K', 1024.0},
    {'M', 1024.0 * 1024},
    {'G', 1024.0 * 1024 * 1024},
    {'T', 1024.0 * 1024 * 1024 * 1024},
    {'k', 1e3},
    {'m', 1e6},
    {'g', 1e9},
    {'t', 1e12},
};

std::string HelpNames(const BatchOptionRow& row) {
  std::string names;
  if (!row.shortName.empty()) {
    names += row.shortName;
    if (!row.valueName.empty()) names.append(" ").append(row.valueName);
    names += ", ";
  }
  names += row.name;
  if (!row.valueName.empty()) names.append("=").append(row.valueName);
  return names;
}

void AddHelpRows(std::vector<std::string>& lines) {
  for (const BatchOptionRow& row : kBatchOptions) {
    std::string names = HelpNames(row);
    names.resize(std::max(kHelpColumn, names.size() + 2), ' ');
    std::string_view help = row.help;
    for (size_t nl; (nl = help.find('\n')) != std::string_view::npos; help.remove_prefix(nl + 1)) {
      lines.push_back("  " + names + std::string(help.substr(0, nl)));
      names.assign(kHelpColumn, ' ');
    }
    lines.push_back("  " + names + std::string(help));
  }
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
      continue;
    }
    if (row->flag) {
      split.settings.*(row->flag) = true;
      continue;
    }
    if (!value && i + 1 < args.size()) value = args[++i];
    if (!value || value->empty()) {
      split.errorMessage = kIncorrectParameterCount;
      break;
    }
    StoreText(split.settings.*(row->text), *value, row->repeats);
  }
  return split;
}

std::optional<std::string> CheckBatchSettings(const BatchSettingsRecord& settings, int64_t machineMemory) {
  if (!settings.jobs.empty() && !IsJobCount(settings.jobs))
    return "Invalid --jobs value: " + settings.jobs + " (a number, +N, -N or N%)";
  for (const std::string& login : SplitAt(settings.sshLogins, ","))
    if (!settings.sshLogins.empty() && TrimBlanks(login).empty())
      return "Invalid --sshlogin value: " + settings.sshLogins + " (an empty machine name)";
  if (settings.newOnly && settings.watch.empty()) return "--new-only is for a watch: give --watch=DIR";
  if (settings.memFree.empty()) return std::nullopt;
  const std::optional<int64_t> bytes = MemorySize(settings.memFree);
  if (!bytes) return "Invalid --memfree value: " + settings.memFree + " (bytes, or a number with K, M, G or T)";
  if (RunsHereOnly(settings) && machineMemory > 0 && *bytes >= machineMemory)
    return "Invalid --memfree value: " + settings.memFree + " is more memory than this machine has (" +
           MemoryText(machineMemory) + "), so no job could start";
  return std::nullopt;
}

bool RunsHereOnly(const BatchSettingsRecord& settings) {
  return settings.sshLogins.empty() && settings.sshLoginFile.empty();
}

size_t MachineCount(const BatchSettingsRecord& settings) {
  size_t count = settings.sshLogins.empty() ? 0 : SplitAt(settings.sshLogins, ",").size();
  if (!settings.sshLoginFile.empty()) count += LoginFileLines(settings.sshLoginFile);
  return std::max<size_t>(count, 1);
}

std::string CappedJobs(const std::string& jobs, size_t files) {
  if (jobs.empty() || !IsJobCount(jobs)) return jobs;
  const bool plain = IsDigits(jobs);
  const int64_t slots = LocalSlots(jobs);
  if ((plain && slots == 0) || slots > static_cast<int64_t>(files)) return std::to_string(files);
  return jobs;
}

std::optional<int64_t> MemorySize(const std::string& text) {
  std::string number = text;
  double factor = 1;
  for (const SizeSuffix& suffix : kSizeSuffixes)
    if (!number.empty() && number.back() == suffix.letter) {
      factor = suffix.factor;
      number.pop_back();
      break;
    }
  const size_t point = number.find('.');
  const bool wellFormed = IsDigits(number.substr(0, point)) &&
                          (point == std::string::npos || IsDigits(number.substr(point + 1))) && number.size() <= 12;
  if (!wellFormed) return std::nullopt;
  const double bytes = std::atof(number.c_str()) * factor;
  if (bytes > 4e18) return std::nullopt;
  return static_cast<int64_t>(bytes);
}

std::vector<std::string> BatchHelpLines() {
  std::vector<std::string> lines = {
      "Usage: pixquillbatch [batch options] [pixquillcmd options] PATH...",
      "  or:  pixquillbatch --watch DIR [batch options] [pixquillcmd options]",
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
  };
  AddHelpRows(lines);
  lines.insert(lines.end(),
               {
                   " ",
                   "-q prints nothing but errors; on a terminal a progress line shows on standard error.",
                   "Exit status: 0 all files converted, 1 some failed or were not converted, 2 the request",
                   "was refused, 130 stopped by Ctrl-C.",
               });
  return lines;
}
