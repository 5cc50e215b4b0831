#include "settings/MessageCatalogue.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/IniFile.h"
#include "platform/Text.h"

MessageCatalogueRecord MessageCatalogue;

namespace {

using MessagePair = std::pair<std::string_view, std::string_view>;

constexpr std::string_view kGroupMark = "_GROUP_";
constexpr std::string_view kEndMark = "_END_";
constexpr char kKeyValueSeparator = '\x01';  // sorts before every printable character

// Read in order: "_GROUP_" opens a group named by its value, "_END_" ends the table.
constexpr MessagePair kBuiltInMessages[] = {
    {"_GROUP_", "Menu"},
    {"File", "&File"},
    {"Add files", "Add files..."},
    {"Add folder", "Add folder..."},
    {"Exit", "E&xit"},
    {"Help", "&Help"},
    {"About", "About %s1%..."},
    {"_GROUP_", "General"},
    {"Preparing", "Preparing..."},
    {"Importing", "Importing..."},
    {"Converting", "Converting..."},
    {"Convert", "Convert"},
    {"Cancel", "Cancel"},
    {"OK", "OK"},
    {"Ready", "Ready"},
    {"_GROUP_", "Msg"},
    {"Import complete", "Import complete, new files added: %s1%"},
    {"Empty input files", "No input file(s) found. Please, add valid file(s) and try again!"},
    {"Conversion is not complete", "Conversion stopped"},
    {"Conversion complete", "Conversion complete"},
    {"Files converted", "Files converted: %s1% of %s2%"},
    {"Overwrite file", "The file %s1% already exists.\r\nDo you want to replace it?"},
    {"_GROUP_", "Dialog"},
    {"Select output folder", "Select the output folder"},
    {"Open files", "Open image files"},
    {"_GROUP_", "Preferences"},
    {"Title", "Preferences"},
    {"Language", "Language"},
    {"Theme", "Theme"},
    {"Output folder", "Output folder"},
    {"_GROUP_", "About"},
    {"Title", "About %s1%"},
    {"Version", "Version %s1%"},
    {"Website", "Visit the website"},
    {"_GROUP_", "Custom-Converter"},
    {"Title", "Custom converter"},
    {"Output format", "Output format"},
    {"_GROUP_", "Uninstall"},
    {"Title", "Uninstall %s1%"},
    {"Feedback", "Please tell us why you are uninstalling %s1%:"},
    {"Send", "Send feedback"},
    {"_END_", ""},
};

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = AsciiUpper(c);
  return upper;
}

// Orders `query`, upper-cased on the fly, against an upper-case stored key, by character codes.
int CompareUpper(std::string_view query, std::string_view stored) {
  size_t common = std::min(query.size(), stored.size());
  for (size_t i = 0; i < common; ++i) {
    auto a = static_cast<unsigned char>(AsciiUpper(query[i]));
    auto b = static_cast<unsigned char>(stored[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return query.size() == stored.size() ? 0 : (query.size() < stored.size() ? -1 : 1);
}

bool IsEnd(const MessagePair& pair) { return UpperAscii(pair.first) == kEndMark; }
bool IsGroup(const MessagePair& pair) { return UpperAscii(pair.first) == kGroupMark; }

// Entries are gathered as "KEY\x01value" so that sorting the texts orders them by key.
std::vector<std::string> GatherGroups(MessageCatalogueRecord& catalogue) {
  std::vector<std::string> joined(1);
  for (const MessagePair& pair : kBuiltInMessages) {
    if (IsEnd(pair)) break;
    if (IsGroup(pair)) {
      if (catalogue.groups.size() > 1) catalogue.groups.back().lastEntry = static_cast<int32_t>(joined.size()) - 1;
      catalogue.groups.push_back({UpperAscii(pair.second), static_cast<int32_t>(joined.size()), 0, {}});
    } else if (catalogue.groups.size() > 1) {
      joined.push_back(UpperAscii(pair.first) + kKeyValueSeparator + std::string(pair.second));
    }
  }
  if (catalogue.groups.size() > 1) catalogue.groups.back().lastEntry = static_cast<int32_t>(joined.size()) - 1;
  return joined;
}

void SortAndIndexGroup(MessageCatalogueRecord& catalogue, MessageGroup& group, std::vector<std::string>& joined) {
  if (group.lastEntry < group.firstEntry) return;
  std::sort(joined.begin() + group.firstEntry, joined.begin() + group.lastEntry + 1);
  int previousFirstChar = -1;
  for (int32_t entry = group.firstEntry; entry <= group.lastEntry; ++entry) {
    const std::string& text = joined[static_cast<size_t>(entry)];
    size_t separator = text.find(kKeyValueSeparator);
    catalogue.keys[static_cast<size_t>(entry)] = text.substr(0, separator);
    catalogue.values[static_cast<size_t>(entry)] = text.substr(separator + 1);
    if (separator == 0) continue;
    int firstChar = static_cast<unsigned char>(text[0]);
    if (firstChar != previousFirstChar) group.firstCharIndex[static_cast<size_t>(firstChar)] = entry;
    previousFirstChar = firstChar;
  }
}

// What a language file gives while it is read: for each catalogue entry, the first text of
// its key in the first file group of its group's name. Nothing else of the file is kept.
struct LanguageFileTexts {
  const MessageCatalogueRecord& catalogue;
  std::vector<bool> groupSeen;
  std::vector<std::optional<std::string>> texts;
  size_t group = 0;  // the catalogue group that the current file group translates; 0 for none
};

size_t CatalogueGroupNamed(const MessageCatalogueRecord& catalogue, const std::string& name) {
  const std::string upper = ToUpper(name);
  for (size_t g = 1; g < catalogue.groups.size(); ++g)
    if (catalogue.groups[g].name == upper) return g;
  return 0;
}

void EnterLanguageGroup(LanguageFileTexts& file, const std::string& name) {
  const size_t g = CatalogueGroupNamed(file.catalogue, name);
  file.group = g != 0 && !file.groupSeen[g] ? g : 0;
  if (g != 0) file.groupSeen[g] = true;
}

void TakeLanguageEntry(LanguageFileTexts& file, const IniEntry& entry) {
  if (file.group == 0) return;
  const MessageGroup& group = file.catalogue.groups[file.group];
  for (int32_t e = group.firstEntry; e <= group.lastEntry; ++e) {
    std::optional<std::string>& text = file.texts[static_cast<size_t>(e)];
    if (!text && CompareUpper(entry.key, file.catalogue.keys[static_cast<size_t>(e)]) == 0) text = entry.value;
  }
}

// The texts replace the built-in ones only once the whole file has been read.
void ApplyLanguageFile(MessageCatalogueRecord& catalogue, const std::string& path) {
  LanguageFileTexts file{catalogue, std::vector<bool>(catalogue.groups.size()),
                         std::vector<std::optional<std::string>>(catalogue.values.size()), 0};
  if (!ReadIniFile(path, {[&](const std::string& name) { EnterLanguageGroup(file, name); },
                          [&](const IniEntry& entry) { TakeLanguageEntry(file, entry); }}))
    return;
  for (size_t e = 0; e < file.texts.size(); ++e)
    if (file.texts[e]) catalogue.values[e] = std::move(*file.texts[e]);
}

int32_t FindGroup(std::string_view group) {
  const auto& groups = MessageCatalogue.groups;
  int32_t remembered = MessageCatalogue.lastGroup;
  if (remembered > 0 && CompareUpper(group, groups[static_cast<size_t>(remembered)].name) == 0) return remembered;
  MessageCatalogue.lastGroup = 0;
  for (size_t g = 1; g < groups.size() && MessageCatalogue.lastGroup == 0; ++g)
    if (CompareUpper(group, groups[g].name) == 0) MessageCatalogue.lastGroup = static_cast<int32_t>(g);
  return MessageCatalogue.lastGroup;
}

}  // namespace

bool LoadMessageCatalogue(const std::string& languageFile) {
  MessageCatalogueRecord catalogue;
  catalogue.groups.resize(1);
  std::vector<std::string> joined = GatherGroups(catalogue);
  catalogue.keys.resize(joined.size());
  catalogue.values.resize(joined.size());
  for (size_t g = 1; g < catalogue.groups.size(); ++g) SortAndIndexGroup(catalogue, catalogue.groups[g], joined);
  if (!languageFile.empty()) ApplyLanguageFile(catalogue, languageFile);
  MessageCatalogue = std::move(catalogue);
  return true;
}

std::string Translate(std::string_view key, std::string_view group) {
  int32_t number = FindGroup(group);
  if (number == 0 || key.empty()) return std::string(kNoStringError);
  const MessageGroup& found = MessageCatalogue.groups[static_cast<size_t>(number)];
  int32_t entry = found.firstCharIndex[static_cast<unsigned char>(AsciiUpper(key[0]))];
  if (entry == 0) return std::string(kNoStringError);
  for (; entry <= found.lastEntry; ++entry) {
    int order = CompareUpper(key, MessageCatalogue.keys[static_cast<size_t>(entry)]);
    if (order == 0) return MessageCatalogue.values[static_cast<size_t>(entry)];
    if (order < 0) break;
  }
  return std::string(kNoStringError);
}
