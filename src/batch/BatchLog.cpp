#include "batch/BatchLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

constexpr std::string_view kHeader =
    "# pixquillbatch job log: time, result, machine, RAW file, output folder, options (tab-separated; control bytes "
    "and \\ "
    "escaped)\n";
constexpr std::string_view kHeaderStart = "# pixquillbatch job log";
constexpr const char* kResultWords[] = {"converted", "failed", "stopped"};
constexpr size_t kColumns = 6;
// Names in a folder stop at 255 bytes; a longer folder name keeps its end and a hash.
constexpr size_t kLongestName = 200;
constexpr size_t kKeptEnd = 150;

bool KeepsItsByte(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("._-+,@=", c) != nullptr;
}

std::string Hash(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char hex[20];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

// The folder as one file name: "/" and every other byte outside a plain set as "%2F".
std::string FileNameFor(const std::string& folder) {
  std::string name;
  for (const char c : folder) {
    char code[4];
    std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
    name += KeepsItsByte(c) ? std::string(1, c) : std::string(code);
  }
  if (name.size() <= kLongestName) return name;
  size_t start = name.size() - kKeptEnd;
  while (start < name.size() && name[start] != '%') ++start;
  return Hash(folder) + name.substr(start);
}

std::string Unescaped(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char code = text[++i];
    if (code == 'n')
      out += '\n';
    else if (code == 'r')
      out += '\r';
    else if (code == 't')
      out += '\t';
    else if (code == 'x' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += code;
    }
  }
  return out;
}

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields = SplitAt(line, "\t");
  for (std::string& field : fields) field = Unescaped(field);
  return fields;
}

std::string Key(const std::string& input, const std::string& folder, const std::string& options) {
  return input + '\0' + folder + '\0' + options;
}

std::string ShellWord(const std::string& word) {
  if (!word.empty() &&
      std::all_of(word.begin(), word.end(), [](char c) { return KeepsItsByte(c) || c == '%' || c == '/' || c == ':'; }))
    return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string FirstBytes(const std::string& path, size_t count) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::string bytes(count, '\0');
  const ssize_t got = fd.get() < 0 ? -1 : read(fd.get(), bytes.data(), count);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

bool ReadAll(int fd, std::string& text) {
  char buffer[65536];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    text.append(buffer, static_cast<size_t>(got));
  }
  return true;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t wrote = write(fd, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    text.remove_prefix(static_cast<size_t>(wrote));
  }
  return true;
}

}  // namespace

std::optional<std::string> DefaultJobLogPath(const std::string& outputFolder, const std::string& currentFolder,
                                             const char* stateHome, const char* home) {
  std::string folder;
  if (stateHome && stateHome[0] == '/')
    folder = stateHome;
  else if (home && home[0] == '/')
    folder = std::string(home) + "/.local/state";
  else
    return std::nullopt;
  const std::string named = outputFolder.empty() ? "beside-inputs-from" + currentFolder : outputFolder;
  return AbsolutePath(folder + "/pixquillbatch/" + FileNameFor(named) + ".joblog");
}

std::optional<std::string> CheckJobLogPath(const std::string& path, const std::vector<BatchFile>& files) {
  const std::string refused = "Invalid job log " + EscapedText(path) + ": ";
  for (const BatchFile& file : files) {
    if (file.input == path) return refused + "it is one of the RAW files";
    if (file.outputFolder == path || PlannedOutputPath(file) == path) return refused + "a JPEG file goes there";
  }
  const int64_t size = FileSize(path);
  if (size == kFolderSize) return refused + "it is a folder";
  if (size < 0) return std::nullopt;
  if (!IsRegularFile(path)) return refused + "it is not a regular file";
  if (size > 0 && !StartsWith(FirstBytes(path, kHeaderStart.size()), kHeaderStart))
    return refused + "it is no job log of pixquillbatch, and would be overwritten";
  return std::nullopt;
}

std::string OptionsText(const std::vector<std::string>& options) {
  std::string text;
  for (const std::string& option : options) {
    if (!text.empty()) text += ' ';
    text += ShellWord(option);
  }
  return text;
}

std::string JobLogRow(const JobLogEntry& entry, const BatchFile& file, const std::string& options) {
  const std::string fields[] = {
      entry.time, kResultWords[static_cast<size_t>(entry.result)], entry.host, file.input, file.outputFolder, options};
  std::string row;
  for (const std::string& field : fields) {
    if (!row.empty()) row += '\t';
    row += EscapedText(field, true);
  }
  return row + '\n';
}

std::set<size_t> ConvertedBefore(const std::string& logText, const std::vector<BatchFile>& files,
                                 const std::string& options) {
  std::set<size_t> converted;
  for (const auto& [file, time] : ConvertedTimes(logText, files, options)) converted.insert(file);
  return converted;
}

std::map<size_t, std::string> ConvertedTimes(const std::string& logText, const std::vector<BatchFile>& files,
                                             const std::string& options) {
  std::map<std::string, size_t> wanted;
  for (size_t i = 0; i < files.size(); ++i) wanted[Key(files[i].input, files[i].outputFolder, options)] = i;
  std::map<size_t, std::string> converted;
  for (size_t start = 0, end; start < logText.size(); start = end + 1) {
    end = std::min(logText.find('\n', start), logText.size());
    const std::vector<std::string> fields = Fields(std::string_view(logText).substr(start, end - start));
    if (fields.size() != kColumns || fields[1] != kResultWords[0]) continue;
    auto file = wanted.find(Key(fields[3], fields[4], fields[5]));
    if (file != wanted.end()) converted[file->second] = fields[0];
  }
  return converted;
}

std::optional<std::string> OpenJobLog(const std::string& path, bool resume, JobLogFile& log) {
  log.path = path;
  const std::string folder = ParentFolder(path);
  if (!IsFolder(folder) && !MakeFolders(folder))
    return "The job log's folder " + EscapedText(folder) + " cannot be made";
  log.fd = UniqueFd(open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (log.fd.get() < 0) return "The job log " + EscapedText(path) + " cannot be opened: " + std::strerror(errno);
  if (flock(log.fd.get(), LOCK_EX | LOCK_NB) != 0)
    return "Another pixquillbatch is using the job log " + EscapedText(path) +
           " (a batch into the same folder); give --joblog=FILE to run beside it";
  std::string text;
  if (!ReadAll(log.fd.get(), text))
    return "The job log " + EscapedText(path) + " cannot be read: " + std::strerror(errno);
  if (!text.empty() && !StartsWith(text, kHeaderStart))
    return "Invalid job log " + EscapedText(path) + ": it is no job log of pixquillbatch, and would be overwritten";
  if (resume && !text.empty()) {
    log.earlier = std::move(text);
    return std::nullopt;
  }
  if (ftruncate(log.fd.get(), 0) != 0 || !WriteAll(log.fd.get(), kHeader))
    return "The job log " + EscapedText(path) + " cannot be written: " + std::strerror(errno);
  return std::nullopt;
}

void AppendToJobLog(JobLogFile& log, const std::string& rows) {
  if (rows.empty() || !log.writeError.empty()) return;
  if (!WriteAll(log.fd.get(), rows)) log.writeError = EscapedText(log.path) + ": " + std::strerror(errno);
}
