// Build-time generator of the man page's include file and of the bash completion:
//   pixquill_reference manual TEMPLATE EXAMPLE_PROFILE OUTPUT
//   pixquill_reference completion PROGRAM OUTPUT [--paths] [--batch-options] [EXTRA_OPTION...]
// It fails (exit 1) while an option or name token has no note, so the man page can never
// leave one out silently.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/BatchOptions.h"
#include "convert/ConversionJob.h"
#include "formats/FormatTables.h"
#include "packaging/Reference.h"
#include "settings/ConversionSettings.h"

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return file ? text.str() : std::string();
}

bool WriteWhole(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  return static_cast<bool>(file.flush());
}

int Fail(const std::string& message) {
  std::cerr << "pixquill_reference: " << message << "\n";
  return 1;
}

int WriteManualInclude(const std::vector<std::string>& args) {
  if (args.size() != 4) return Fail("usage: manual TEMPLATE EXAMPLE_PROFILE OUTPUT");
  const std::string manualTemplate = ReadWhole(args[1]);
  const std::string example = ReadWhole(args[2]);
  if (manualTemplate.empty() || example.empty()) return Fail("cannot read " + args[1] + " or " + args[2]);
  const std::string include = ManualInclude(manualTemplate, example);
  if (include.empty()) return Fail(args[1] + " names a part that is not generated");
  return WriteWhole(args[3], include) ? 0 : Fail("cannot write " + args[3]);
}

// The option names of pixquillbatch's own table, "=" after those that take a value.
std::vector<std::string> BatchOptionNames() {
  std::vector<std::string> names;
  for (const BatchOptionRow& row : BatchOptionTable()) {
    if (!row.shortName.empty()) names.emplace_back(row.shortName);
    names.push_back(std::string(row.name) + (row.text ? "=" : ""));
  }
  return names;
}

int WriteCompletion(const std::vector<std::string>& args) {
  if (args.size() < 3) return Fail("usage: completion PROGRAM OUTPUT [--paths] [--batch-options] [EXTRA_OPTION...]");
  std::vector<std::string> extra(args.begin() + 3, args.end());
  const bool paths = !extra.empty() && extra.front() == "--paths";
  if (paths) extra.erase(extra.begin());
  const bool batch = !extra.empty() && extra.front() == "--batch-options";
  if (batch) {
    extra.erase(extra.begin());
    const std::vector<std::string> names = BatchOptionNames();
    extra.insert(extra.begin(), names.begin(), names.end());
  }
  const std::string script = CompletionScript(args[1], extra, paths, batch);
  return WriteWhole(args[2], script) ? 0 : Fail("cannot write " + args[2]);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& problem : NoteProblems()) std::cerr << "packaging/OptionNotes.cpp: " << problem << "\n";
  if (!NoteProblems().empty()) return 1;
  BuildInputExtensionTable();
  BuildOutputFormatTable();
  ResetConversionJob();
  ResetConversionSettings(true);
  if (!args.empty() && args[0] == "manual") return WriteManualInclude(args);
  if (!args.empty() && args[0] == "completion") return WriteCompletion(args);
  return Fail("usage: manual ... | completion ...");
}
