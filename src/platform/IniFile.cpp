#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/FilePtr.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kReadPieceBytes = 64 * 1024;

std::string_view SkipLeadingBlanks(std::string_view line) {
  size_t first = line.find_first_not_of(" \t");
  return first == std::string_view::npos ? std::string_view{} : line.substr(first);
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

void InterpretLine(IniScan& scan, std::string_view line, const IniHandlers& handlers) {
  if (line.empty() || line[0] == ';') return;
  if (line[0] == '[') {
    scan.inGroup = true;
    handlers.group(GroupName(line));
    return;
  }
  if (!scan.inGroup || scan.lineTooLong) return;
  IniEntry entry = ParseKeyLine(line);
  if (!entry.key.empty()) handlers.entry(entry);
}

// Whether the text is UTF-8 shows in the file's first bytes, which open its first line.
void PassLine(IniScan& scan, const IniHandlers& handlers) {
  std::string_view bytes = scan.line;
  if (scan.firstLine) {
    scan.firstLine = false;
    const bool marked = StartsWith(bytes, kUtf8ByteOrderMark);
    scan.utf8 = marked || scan.allUtf8;
    if (marked) bytes.remove_prefix(kUtf8ByteOrderMark.size());
  }
  const std::string text = scan.utf8 ? std::string(bytes) : Latin1ToUtf8(bytes);
  InterpretLine(scan, SkipLeadingBlanks(text), handlers);
  scan.line.clear();
  scan.lineTooLong = false;
}

void AppendToLine(IniScan& scan, std::string_view part) {
  const size_t room = kMaxIniLineBytes - scan.line.size();
  if (part.size() > room) scan.lineTooLong = true;
  scan.line.append(part.substr(0, room));
}

// Opening a FIFO for reading waits for a writer, and a terminal for a line, so the file
// is opened without waiting and refused unless it is a regular file.
FilePtr OpenRegularFile(const std::string& path) {
  UniqueFd descriptor(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  const int fd = descriptor.get();
  struct stat info {};
  FilePtr file;
  if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
    file.reset(fdopen(fd, "rb"));
  if (file) (void)descriptor.release();  // the stream closes it
  return file;
}

// Reads the whole file through `take`; false when reading fails.
template <typename Take>
bool ReadPieces(std::FILE* file, Take take) {
  std::vector<char> piece(kReadPieceBytes);
  for (size_t got; (got = std::fread(piece.data(), 1, piece.size(), file)) > 0;)
    take(std::string_view{piece.data(), got});
  return !std::ferror(file);
}

}  // namespace

// A sequence cut by the end of a piece waits for the next one; at most three bytes wait.
void CheckUtf8Bytes(Utf8Check& check, std::string_view bytes) {
  if (!check.valid) return;
  std::string text = std::move(check.pending) + std::string(bytes);
  check.pending.clear();
  char32_t code = 0;
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = DecodeUtf8(text, pos, code);
    if (length > 0) {
      pos += length;
    } else if (text.size() - pos < 4) {
      check.pending = text.substr(pos);
      return;
    } else {
      check.valid = false;
      return;
    }
  }
}

bool EndUtf8Check(const Utf8Check& check) { return check.valid && check.pending.empty(); }

// A CR LF pair ends a line and then an empty one, which reads as nothing.
void ScanIniBytes(IniScan& scan, std::string_view bytes, const IniHandlers& handlers) {
  for (size_t pos = 0; pos < bytes.size();) {
    const size_t end = bytes.find_first_of("\r\n", pos);
    AppendToLine(scan, bytes.substr(pos, end - pos));
    if (end == std::string_view::npos) return;
    PassLine(scan, handlers);
    pos = end + 1;
  }
}

void EndIniBytes(IniScan& scan, const IniHandlers& handlers) {
  if (!scan.line.empty()) PassLine(scan, handlers);
}

bool ReadIniFile(const std::string& path, const IniHandlers& handlers) {
  if (path.empty()) return false;
  FilePtr file = OpenRegularFile(path);
  if (!file) return false;
  Utf8Check check;
  if (!ReadPieces(file.get(), [&](std::string_view bytes) { CheckUtf8Bytes(check, bytes); })) return false;
  IniScan scan;
  scan.allUtf8 = EndUtf8Check(check);
  std::rewind(file.get());
  if (!ReadPieces(file.get(), [&](std::string_view bytes) { ScanIniBytes(scan, bytes, handlers); })) return false;
  EndIniBytes(scan, handlers);
  return true;
}
