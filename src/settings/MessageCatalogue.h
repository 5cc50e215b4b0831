#pragma once
// Status texts looked up by key and group, so that a language file can replace them. The
// console never names a language file, so it always prints the built-in English texts.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Keys and group names are ASCII words; they are stored and compared upper-cased.
struct MessageGroup {
  std::string name;
  int32_t firstEntry = 0;  // entry numbers, from 1; a group without entries has last < first
  int32_t lastEntry = 0;
  // For every character code, the first entry whose key starts with it; 0 for none.
  std::array<int32_t, 256> firstCharIndex{};
};

struct MessageCatalogueRecord {
  std::vector<MessageGroup> groups;  // numbered from 1; index 0 is unused
  std::vector<std::string> keys;     // numbered from 1, sorted within each group
  std::vector<std::string> values;
  int32_t lastGroup = 0;  // the group of the last lookup, so that runs of lookups skip the search
};

// Only the main thread looks texts up.
extern MessageCatalogueRecord MessageCatalogue;

inline constexpr std::string_view kNoStringError = "%NO_STRING_ERROR%";

// Builds the catalogue from the built-in table; with a language file (INI text, one group
// per catalogue group) its values then replace the built-in ones key by key. A language
// file that cannot be read leaves the built-in texts. Returns true.
bool LoadMessageCatalogue(const std::string& languageFile);

// The text of `key` in `group`, both compared regardless of letter case; kNoStringError
// when either is missing.
std::string Translate(std::string_view key, std::string_view group);
