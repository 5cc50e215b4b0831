#include "cli/IniFile.h"

#include <cstdio>
#include <memory>

#include "platform/Files.h"
#include "platform/Text.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

std::string_view SkipLeadingBlanks(std::string_view line) {
  size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos ? std::string_view{} : line.substr(first);
}

// The next line of `text` from `pos`, moving `pos` past its line break.
std::string_view NextLine(std::string_view text, size_t& pos) {
  size_t end = text.find_first_of("\r\n", pos);
  if (end == std::string_view::npos) end = text.size();
  std::string_view line = text.substr(pos, end - pos);
  pos = end;
  if (pos < text.size() && text[pos] == '\r') {
    ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  } else if (pos < text.size()) {
    ++pos;
  }
  return line;
}

IniEntry ParseKeyLine(std::string_view line) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return {TrimBlanks(line), {}};
  return {TrimBlanks(line.substr(0, equals)), TrimBlanks(line.substr(equals + 1))};
}

std::string GroupName(std::string_view line) {
  std::string_view name = line.substr(1);
  return std::string(name.substr(0, name.find(']')));
}

// Up to kMaxIniFileBytes + 1 bytes, so that a file over the limit shows itself.
std::optional<std::string> ReadLimited(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[8192];
  while (bytes.size() <= static_cast<size_t>(kMaxIniFileBytes)) {
    size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get()) || bytes.size() > static_cast<size_t>(kMaxIniFileBytes)) return std::nullopt;
  return bytes;
}

}  // namespace

std::string DecodeIniBytes(std::string_view bytes) {
  if (StartsWith(bytes, kUtf8ByteOrderMark)) return std::string(bytes.substr(kUtf8ByteOrderMark.size()));
  return Latin1ToUtf8(bytes);
}

IniFile ParseIniText(std::string_view text) {
  IniFile file;
  for (size_t pos = 0; pos < text.size();) {
    std::string_view line = SkipLeadingBlanks(NextLine(text, pos));
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      file.groups.push_back({GroupName(line), {}});
    } else if (!file.groups.empty()) {
      IniEntry entry = ParseKeyLine(line);
      if (!entry.key.empty()) file.groups.back().entries.push_back(std::move(entry));
    }
  }
  return file;
}

std::optional<IniFile> ReadIniFile(const std::string& path) {
  if (path.empty() || FileSize(path) == -2) return std::nullopt;
  std::optional<std::string> bytes = ReadLimited(path);
  if (!bytes) return std::nullopt;
  return ParseIniText(DecodeIniBytes(*bytes));
}

const IniGroup* FindIniGroup(const IniFile& file, std::string_view name) {
  const std::string wanted = ToUpper(name);
  for (const IniGroup& group : file.groups)
    if (ToUpper(group.name) == wanted) return &group;
  return nullptr;
}
