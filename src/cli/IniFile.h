#pragma once
// Reading INI-style text files (profiles and language files): groups in square brackets,
// "key = value" lines, ";" comments.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct IniEntry {
  std::string key;    // as written, without the blanks around it
  std::string value;  // without the blanks at both ends; empty when the line has no "="
};

struct IniGroup {
  std::string name;  // the text between "[" and "]", as written
  std::vector<IniEntry> entries;
};

// Key lines that stand before the first group line belong to no group and are dropped.
struct IniFile {
  std::vector<IniGroup> groups;
};

// These files hold a few dozen short lines. A larger file is no profile or language file;
// refusing it keeps a stray binary file, or a device that never ends, from being read into
// memory.
inline constexpr int64_t kMaxIniFileBytes = 1 << 20;

// Text from the bytes of a file: UTF-8 after a UTF-8 byte-order mark, otherwise every byte
// is one Latin-1 character.
std::string DecodeIniBytes(std::string_view bytes);

// Splits already decoded text into groups and entries. Lines end at CR, LF or CR LF;
// blanks at the start of a line are ignored.
IniFile ParseIniText(std::string_view text);

// Reads and parses a file; nothing when the path is empty, names a folder, cannot be
// opened or read, or the file is larger than kMaxIniFileBytes.
std::optional<IniFile> ReadIniFile(const std::string& path);

// The first group whose name equals `name` regardless of letter case; null when none.
const IniGroup* FindIniGroup(const IniFile& file, std::string_view name);
