#pragma once
// Reading INI-style text files (profiles and language files): groups in square brackets,
// "key = value" lines, ";" comments. A file is read line by line and handed to its reader
// as it goes, so a file of any size takes no more memory than one line and what the reader
// keeps of it.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

struct IniEntry {
  std::string key;    // as written, without the blanks around it
  std::string value;  // without the blanks at both ends; empty when the line has no "="
};

// What a reader does with the lines that matter, in file order: a group line (its name is
// the text between "[" and "]", as written) and a key line of the group opened last. Key
// lines that stand before the first group line belong to no group and are not passed.
struct IniHandlers {
  std::function<void(const std::string& groupName)> group;
  std::function<void(const IniEntry& entry)> entry;
};

// No value that a key takes is this long: names, paths and watermark texts stop at 64 KiB
// when their placeholders are expanded, colours and numbers are a few characters. A longer
// key line is a stray or binary line, and is skipped; it is the most the reader holds. A
// group line is never skipped, since its keys would then fall to the group before it: its
// name is read from its first kMaxIniLineBytes bytes.
inline constexpr size_t kMaxIniLineBytes = 64 * 1024;

// The reading state between two pieces of a file's bytes.
struct IniScan {
  std::string line;  // the current line's bytes so far, at most kMaxIniLineBytes
  bool lineTooLong = false;
  bool firstLine = true;
  bool utf8 = false;     // the text is UTF-8: a byte-order mark, or allUtf8
  bool allUtf8 = false;  // set before the first bytes when every byte of the file is valid UTF-8
  bool inGroup = false;
};

// Takes the next bytes of a file, in pieces of any size. Lines end at CR, LF or CR LF;
// blanks at the start of a line are ignored. After a UTF-8 byte-order mark, or with
// allUtf8 set, the text is UTF-8; otherwise every byte is one Latin-1 character.
void ScanIniBytes(IniScan& scan, std::string_view bytes, const IniHandlers& handlers);

// The file has ended: passes its last line when no line break closed it.
void EndIniBytes(IniScan& scan, const IniHandlers& handlers);

// Whether a file's bytes, given in pieces of any size, are valid UTF-8 from end to end.
struct Utf8Check {
  std::string pending;  // the start of a sequence that the next piece may complete
  bool valid = true;
};
void CheckUtf8Bytes(Utf8Check& check, std::string_view bytes);
[[nodiscard]] bool EndUtf8Check(const Utf8Check& check);

// Reads a file through the handlers. A file whose bytes are all valid UTF-8 (what Linux
// editors write) is read as UTF-8 even without a byte-order mark, so it is read twice. False when the path is empty,
// does not name a regular file, or the file cannot be opened or read; a FIFO or a terminal is refused without waiting
// for it.
[[nodiscard]] bool ReadIniFile(const std::string& path, const IniHandlers& handlers);
