#pragma once
// Every option the program accepts, as one declared table. The argument scan and the
// profile reader both walk it: a row names the option, the form of its value, the settings
// field it writes and the enable flag it switches on.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "settings/ConversionSettings.h"

// A field of the settings record; monostate when a row writes none.
using SettingsField = std::variant<std::monostate, int32_t ConversionSettingsRecord::*,
                                   int8_t ConversionSettingsRecord::*, bool8 ConversionSettingsRecord::*,
                                   float ConversionSettingsRecord::*, std::string ConversionSettingsRecord::*>;

enum class ValueForm : uint8_t {
  Flag,     // no value; anything after "=" is ignored
  Integer,  // ReadIntegerValue
  Float,    // ReadFloatValue
  Keyword,  // spaces trimmed, then KeywordToCode of the row's kind
  Text,     // stored as it comes, after the caller's quote or space handling
};

// Where a row's value goes when it is not a settings field.
enum class OptionTarget : uint8_t {
  Settings,
  InputFile,        // ConversionJob.inputFile
  OutputFolder,     // ConversionJob.outputFolder
  OutputExtension,  // ConversionJob.outputExtension
  Profile,          // the profile file is applied at once
  Debug,            // ConversionJob.runMode = "DEBUG"
  Quiet,
  Pause,
};

enum class OptionScope : uint8_t {
  Everywhere,
  CommandLineOnly,  // not a profile key
  ProfileOnly,      // not a command-line option
};

struct OptionRow {
  std::string_view name;       // upper case, as compared
  std::string_view shortName;  // "-I" and the like; empty for most rows
  ValueForm form = ValueForm::Flag;
  int keywordKind = -1;
  SettingsField field;
  int32_t flagValue = 1;  // what a flag row stores
  SettingsField enableField;
  int8_t enableValue = 0;
  OptionTarget target = OptionTarget::Settings;
  OptionScope scope = OptionScope::Everywhere;
  // In a profile, text values lose their spaces at both ends but keep their quotes; a row
  // with this set loses its quotes instead and keeps its spaces.
  bool profileStripsQuotes = false;
  bool colour = false;  // a text value of six hexadecimal digits RRGGBB
};

// In the order in which the argument scan compares them.
extern const std::span<const OptionRow> OptionTable;

// The row whose name (or short name) equals the upper-cased argument name; null when none.
const OptionRow* FindCommandLineOption(std::string_view name);
// The row for an upper-cased profile key; null when none (the run options are no keys).
const OptionRow* FindProfileKey(std::string_view key);

// A flag row: stores its flag value and its enable flag.
void SetFlagOption(const OptionRow& row);

// A row with a value: sets its enable flag, then parses `value` by the row's form and
// stores it. The value has already passed whatever checks its source applies.
void StoreOptionValue(const OptionRow& row, std::string_view value);
