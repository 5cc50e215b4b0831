#pragma once
// The program's reference, generated at build time from its own tables: the option table,
// the keyword tables, the accepted extensions, the name tokens and the limits give the man
// page's option list and the bash completion, so that a new option or keyword reaches both
// without a second edit. Only the sentences that say what an option does are written by
// hand (OptionNotes.cpp); the generator refuses to run while one is missing.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/OptionTable.h"

// What an option's value names, where the value form alone does not say it.
enum class ValueKind : uint8_t {
  ByForm,   // NUM, WORD or TEXT, from the row's value form
  RawFile,  // an input file with an accepted extension
  Folder,
  File,
  Colour,  // six hexadecimal digits RRGGBB
  Mask,    // a file-name mask with name tokens
};

struct OptionNote {
  std::string_view name;  // as in the option table, upper case
  std::string_view text;  // one or more sentences of plain text
  ValueKind kind = ValueKind::ByForm;
  std::string_view defaultText = {};  // said instead of the generated default
};

struct OptionGroup {
  std::string_view heading;
  std::string_view intro;  // may be empty
  std::span<const OptionNote> notes;
};

struct TokenNote {
  std::string_view token;  // as in NamePlaceholders()
  std::string_view text;
};

std::span<const OptionGroup> OptionGroups();
std::span<const TokenNote> TokenNotes();

// One line per option row or name token without a note, and per note that names neither;
// empty when the notes and the tables agree.
std::vector<std::string> NoteProblems();

// The words a value may take (keywords, or the accepted output extensions for -c), in
// table order; empty for every other option.
std::vector<std::string> OptionWords(const OptionRow& row);

// The value a run starts with (ConversionSettings as ResetConversionSettings leaves it), as
// users would write it; empty when there is none to state.
std::string OptionDefault(const OptionRow& row);

// `text` made safe for a roff line: backslashes escaped and a leading "." or "'" guarded.
std::string RoffText(std::string_view text);

// The help2man include file: `manualTemplate` with every line ".\" generated: NAME"
// replaced by the generated part NAME (options, name-tokens, limits, profile-example,
// copyright, input-extensions). An unknown NAME is an error, returned as an empty text.
std::string ManualInclude(std::string_view manualTemplate, std::string_view exampleProfile);

// A bash completion script for `program`: every option name of the table (the help and
// version commands as the first word only), keyword values ignoring letter case, RAW files
// by the accepted extensions for -i, folders for -o, files for other path values.
// `extraOptions` adds names of a front end's own options ("--jobs=" takes a value);
// `pathArguments` completes words that are not options as RAW files and folders;
// `ownHelp` leaves out pixquillcmd's help and version commands, for a front end whose
// options hold its own.
std::string CompletionScript(std::string_view program, std::span<const std::string> extraOptions = {},
                             bool pathArguments = false, bool ownHelp = false);
