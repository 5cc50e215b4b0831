#include "packaging/Reference.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include "cli/ConsoleMain.h"
#include "cli/ProductText.h"
#include "formats/FormatTables.h"
#include "pipeline/Limits.h"
#include "pipeline/Naming.h"
#include "platform/Drawing.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "settings/Keywords.h"

namespace {

const OptionRow* FindRow(std::string_view name) {
  for (const OptionRow& row : OptionTable)
    if (row.name == name) return &row;
  return nullptr;
}

const OptionNote* FindNote(std::string_view name) {
  for (const OptionGroup& group : OptionGroups())
    for (const OptionNote& note : group.notes)
      if (note.name == name) return &note;
  return nullptr;
}

ValueKind KindOf(const OptionRow& row) {
  const OptionNote* note = FindNote(row.name);
  return note ? note->kind : ValueKind::ByForm;
}

bool TakesValue(const OptionRow& row) { return row.form != ValueForm::Flag; }

std::string Placeholder(const OptionRow& row, ValueKind kind) {
  if (row.target == OptionTarget::OutputExtension) return "EXT";
  switch (kind) {
    case ValueKind::RawFile:
    case ValueKind::File: return "FILE";
    case ValueKind::Folder: return "FOLDER";
    case ValueKind::Colour: return "RRGGBB";
    case ValueKind::Mask: return "MASK";
    case ValueKind::ByForm: break;
  }
  switch (row.form) {
    case ValueForm::Integer:
    case ValueForm::Float: return "NUM";
    case ValueForm::Keyword: return "WORD";
    case ValueForm::Text: return "TEXT";
    case ValueForm::Flag: break;
  }
  return {};
}

std::string Joined(const std::vector<std::string>& words, std::string_view separator) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : std::string(separator)) + word;
  return text;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// A field's value as users write it: keywords in upper case, flags as on or off.
std::string FieldText(const OptionRow& row) {
  return std::visit(
      [&row](auto member) -> std::string {
        using Member = decltype(member);
        if constexpr (std::is_same_v<Member, std::monostate>) {
          return {};
        } else if constexpr (std::is_same_v<Member, std::string ConversionSettingsRecord::*>) {
          return ConversionSettings.*member;
        } else if constexpr (std::is_same_v<Member, float ConversionSettingsRecord::*>) {
          char text[32];
          std::snprintf(text, sizeof text, "%g", static_cast<double>(ConversionSettings.*member));
          return text;
        } else {
          const int32_t value = static_cast<int32_t>(ConversionSettings.*member);
          if (row.form == ValueForm::Flag) return value == row.flagValue ? "on" : "off";
          if (row.form == ValueForm::Keyword) return ToUpper(CodeToKeyword(row.keywordKind, value));
          return std::to_string(value);
        }
      },
      row.field);
}

// Roff for "-i FILE, --input=FILE": names in bold, the placeholder in italics.
std::string RoffSynopsis(const OptionRow& row, ValueKind kind) {
  const std::string value = TakesValue(row) ? RoffText(Placeholder(row, kind)) : "";
  std::string text;
  if (!row.shortName.empty()) {
    text = "\\fB" + RoffText(ToLower(row.shortName)) + "\\fR";
    if (!value.empty()) text += " \\fI" + value + "\\fR";
    text += ", ";
  }
  text += "\\fB" + RoffText(ToLower(row.name)) + "\\fR";
  if (!value.empty()) text += "=\\fI" + value + "\\fR";
  return text;
}

std::string RoffOption(const OptionRow& row, const OptionNote& note) {
  std::string text = ".TP\n" + RoffSynopsis(row, note.kind) + "\n" + RoffText(note.text) + "\n";
  const std::vector<std::string> words = OptionWords(row);
  if (!words.empty()) text += RoffText(Placeholder(row, note.kind) + ": " + Joined(words, ", ") + ".") + "\n";
  const std::string fallback = note.defaultText.empty() ? OptionDefault(row) : std::string(note.defaultText);
  if (!fallback.empty()) text += RoffText("Default: " + fallback + ".") + "\n";
  if (row.scope == OptionScope::CommandLineOnly) text += "Not a profile key.\n";
  if (row.scope == OptionScope::ProfileOnly) text += "A profile key only.\n";
  return text;
}

std::string OptionsPart(std::string_view) {
  std::string text;
  for (const OptionGroup& group : OptionGroups()) {
    text += ".SS \"" + RoffText(group.heading) + "\"\n";
    if (!group.intro.empty()) text += RoffText(group.intro) + "\n";
    for (const OptionNote& note : group.notes)
      if (const OptionRow* row = FindRow(note.name)) text += RoffOption(*row, note);
  }
  return text;
}

std::string TokensPart(std::string_view) {
  std::string text;
  for (const TokenNote& note : TokenNotes())
    text += ".TP\n.B " + RoffText(note.token) + "\n" + RoffText(note.text) + "\n";
  return text;
}

std::string Bytes(int64_t bytes) {
  constexpr std::pair<int64_t, const char*> kUnits[] = {{int64_t{1} << 30, "GiB"}, {1 << 20, "MiB"}, {1 << 10, "KiB"}};
  for (const auto& [size, unit] : kUnits)
    if (bytes >= size && bytes % size == 0) return std::to_string(bytes / size) + " " + unit;
  return std::to_string(bytes) + " bytes";
}

std::string LimitsPart(std::string_view) {
  const std::pair<std::string, std::string> limits[] = {
      {"Picture side", std::to_string(kMaxImageSide) + " pixels, the longest side a JPEG file can record, for "
                                                       "the decoded picture and every picture a step makes from it."},
      {"Picture memory", Bytes(kMaxImageBytes) +
                             " of pixels for any one picture a step makes (a 48-bit "
                             "picture of " +
                             std::to_string(kMaxImageBytes / 6 / 1000000) +
                             " megapixels). A "
                             "request beyond a limit fails the conversion before the memory is asked for."},
      {"Headerless pixel data", Bytes(kMaxHeaderlessBytes) + " read at most."},
      {"Frame and watermark", std::to_string(kMaxCanvasSide) + " pixels a side for the canvas they are drawn on."},
      {"Profile lines", "A profile of any size is read line by line; a key line longer than " +
                            Bytes(kMaxIniLineBytes) + " is skipped."},
      {"Names and watermark texts", Bytes(kMaxExpandedTextBytes) + " after the name tokens are filled in."},
  };
  std::string text;
  for (const auto& [name, limit] : limits) text += ".TP\n" + RoffText(name) + "\n" + RoffText(limit) + "\n";
  return text;
}

std::string ProfileExamplePart(std::string_view exampleProfile) {
  std::string text = ".PP\n.RS\n.nf\n";
  std::istringstream lines{std::string(exampleProfile)};
  for (std::string line; std::getline(lines, line);) text += RoffText(line) + "\n";
  return text + ".fi\n.RE\n";
}

// The accepted input extensions in alphabetical order, as the completion offers them.
std::string InputExtensionsPart(std::string_view) {
  std::vector<std::string> extensions = AcceptedInputExtensions;
  std::sort(extensions.begin(), extensions.end());
  return RoffText("The input is a camera RAW file with one of these " + std::to_string(extensions.size()) +
                  " extensions, in any letter case: " + Joined(extensions, ", ") + ".") +
         "\n";
}

std::string CopyrightPart(std::string_view) { return RoffText(BannerLines()[1]) + "\n"; }

struct ManualPart {
  std::string_view name;
  std::string (*make)(std::string_view exampleProfile);
};

constexpr ManualPart kManualParts[] = {
    {"options", OptionsPart},     {"name-tokens", TokensPart},
    {"limits", LimitsPart},       {"profile-example", ProfileExamplePart},
    {"copyright", CopyrightPart}, {"input-extensions", InputExtensionsPart},
};

constexpr std::string_view kMarker = ".\\\" generated: ";

// The completion's shell text; @NAME@ fields are filled by CompletionScript.
constexpr std::string_view kCompletionTemplate =
    R"(# bash completion for @PROGRAM@                                   -*- shell-script -*-
# Generated at build time from the program's option, keyword and format tables.

_@FN@_options='@OPTIONS@'
_@FN@_first_options='@FIRST@'
_@FN@_extensions=' @EXTENSIONS@ '
_@FN@_plain_words='@PLAIN@'

# The words a value of option $1 may take, or :raw, :folder or :file for a path.
_@FN@_values() {
  case ${1,,} in
@VALUES@  esac
}

# Adds "$1WORD" for each word of $2 that begins with $3, letter case ignored.
_@FN@_add_words() {
  local prefix=$1 typed=${3,,} word words
  read -ra words <<< "$2"
  for word in "${words[@]}"; do
    [[ ${word,,} == "$typed"* ]] && COMPREPLY+=("$prefix$word")
  done
}

# Adds "$2PATH" for each folder that begins with $3 and, for :raw, each file with an
# accepted extension (letter case ignored), for :file each file.
_@FN@_add_paths() {
  local kind=$1 prefix=$2 typed=$3 path name extension paths
  [[ $typed == [\"\']* ]] && typed=${typed:1} || typed=${typed//\\/}
  compopt -o filenames 2>/dev/null
  mapfile -t paths < <(compgen -d -- "$typed")
  for path in "${paths[@]}"; do COMPREPLY+=("$prefix$path"); done
  [[ $kind == :folder ]] && return
  mapfile -t paths < <(compgen -f -- "$typed")
  for path in "${paths[@]}"; do
    [[ -d $path ]] && continue
    name=${path##*/} extension=
    [[ $name == ?*.* ]] && extension=${name##*.}
    if [[ $kind == :file || ( -n $extension && $_@FN@_extensions == *" ${extension,,} "* ) ]]; then
      COMPREPLY+=("$prefix$path")
    fi
  done
}

_@FN@_add_values() {
  local values
  values=$(_@FN@_values "$1")
  case $values in
    :raw | :folder | :file) _@FN@_add_paths "$values" "$2" "$3" ;;
    *) _@FN@_add_words "$2" "$values" "$3" ;;
  esac
}

_@FN@() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  COMPREPLY=()
  # "=" usually ends a word, so --width=8 arrives as "--width" "=" "8".
  if [[ $cur == = ]]; then
    _@FN@_add_values "$prev" "" ""
  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
    _@FN@_add_values "${COMP_WORDS[COMP_CWORD-2]}" "" "$cur"
  elif [[ $cur == --*=* ]]; then
    _@FN@_add_values "${cur%%=*}" "${cur%%=*}=" "${cur#*=}"
  elif [[ $prev == -[!-]* && -n $(_@FN@_values "$prev") ]]; then
    _@FN@_add_values "$prev" "" "$cur"
  elif [[ $cur == -* || -z $_@FN@_plain_words ]]; then
    _@FN@_add_words "" "$_@FN@_options" "$cur"
    ((COMP_CWORD == 1)) && _@FN@_add_words "" "$_@FN@_first_options" "$cur"
  else
    _@FN@_add_paths "$_@FN@_plain_words" "" "$cur"
  fi
  [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
  return 0
}
complete -F _@FN@ @PROGRAM@
)";

std::string ValueWordsFor(const OptionRow& row) {
  switch (KindOf(row)) {
    case ValueKind::RawFile: return ":raw";
    case ValueKind::Folder: return ":folder";
    case ValueKind::File: return ":file";
    default: return Joined(OptionWords(row), " ");
  }
}

std::string CompletionValueCases() {
  std::string cases;
  for (const OptionRow& row : OptionTable) {
    const std::string words = ValueWordsFor(row);
    if (row.scope == OptionScope::ProfileOnly || !TakesValue(row) || words.empty()) continue;
    std::string pattern = ToLower(row.name);
    if (!row.shortName.empty()) pattern += " | " + ToLower(row.shortName);
    cases += "    " + pattern + ") echo '" + words + "' ;;\n";
  }
  return cases;
}

std::string CompletionOptions(std::span<const std::string> extraOptions) {
  std::vector<std::string> names;
  for (const OptionRow& row : OptionTable) {
    if (row.scope == OptionScope::ProfileOnly) continue;
    if (!row.shortName.empty()) names.push_back(ToLower(row.shortName));
    names.push_back(ToLower(row.name) + (TakesValue(row) ? "=" : ""));
  }
  names.insert(names.end(), extraOptions.begin(), extraOptions.end());
  return Joined(names, " ");
}

std::string FirstOptions() {
  std::vector<std::string> names;
  for (std::string_view name : HelpAndVersionNames()) names.push_back(ToLower(name));
  return Joined(names, " ");
}

std::string FunctionName(std::string_view program) {
  std::string name(program);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

}  // namespace

std::vector<std::string> NoteProblems() {
  std::vector<std::string> problems;
  for (const OptionRow& row : OptionTable)
    if (!FindNote(row.name)) problems.push_back("no note for the option " + std::string(row.name));
  for (const OptionGroup& group : OptionGroups())
    for (const OptionNote& note : group.notes)
      if (!FindRow(note.name)) problems.push_back("a note for " + std::string(note.name) + ", which is no option");
  auto hasNote = [](std::string_view token) {
    return std::any_of(TokenNotes().begin(), TokenNotes().end(), [&](const TokenNote& n) { return n.token == token; });
  };
  const auto tokens = NamePlaceholders();
  for (std::string_view token : tokens)
    if (!hasNote(token)) problems.push_back("no note for the name token " + std::string(token));
  for (const TokenNote& note : TokenNotes())
    if (std::find(tokens.begin(), tokens.end(), note.token) == tokens.end())
      problems.push_back("a note for " + std::string(note.token) + ", which is no name token");
  return problems;
}

std::vector<std::string> OptionWords(const OptionRow& row) {
  if (row.target == OptionTarget::OutputExtension) return AcceptedOutputFormats;
  std::vector<std::string> words;
  if (row.form != ValueForm::Keyword) return words;
  for (const OptionKeyword& keyword : KeywordKindTable(row.keywordKind).keywords) words.emplace_back(keyword.word);
  return words;
}

std::string OptionDefault(const OptionRow& row) {
  if (row.target == OptionTarget::OutputExtension && !AcceptedOutputFormats.empty())
    return AcceptedOutputFormats.front();
  return FieldText(row);
}

std::string RoffText(std::string_view text) {
  std::string roff = ReplaceAll(ReplaceAll(std::string(text), "\\", "\\e"), "-", "\\-");
  // A leading "." or "'" would start a request; help2man reads "[...]" and "/.../" lines
  // of its include file as section and pattern markers.
  if (!roff.empty() && std::string_view(".'[/").find(roff[0]) != std::string_view::npos) roff.insert(0, "\\&");
  return roff;
}

std::string ManualInclude(std::string_view manualTemplate, std::string_view exampleProfile) {
  std::string text;
  std::istringstream lines{std::string(manualTemplate)};
  for (std::string line; std::getline(lines, line);) {
    if (!StartsWith(line, kMarker)) {
      text += line + "\n";
      continue;
    }
    const std::string_view name = std::string_view(line).substr(kMarker.size());
    auto part = std::find_if(std::begin(kManualParts), std::end(kManualParts),
                             [&](const ManualPart& p) { return p.name == name; });
    if (part == std::end(kManualParts)) return {};
    text += part->make(exampleProfile);
  }
  return text;
}

std::string CompletionScript(std::string_view program, std::span<const std::string> extraOptions, bool pathArguments,
                             bool ownHelp) {
  std::string script(kCompletionTemplate);
  const std::pair<std::string_view, std::string> fields[] = {
      {"@FN@", FunctionName(program)},
      {"@PROGRAM@", std::string(program)},
      {"@OPTIONS@", CompletionOptions(extraOptions)},
      {"@FIRST@", ownHelp ? std::string() : FirstOptions()},
      {"@EXTENSIONS@", ToLower(Joined(AcceptedInputExtensions, " "))},
      {"@PLAIN@", pathArguments ? ":raw" : ""},
      {"@VALUES@", CompletionValueCases()},
  };
  for (const auto& [field, value] : fields) script = ReplaceAll(script, field, value);
  return script;
}
