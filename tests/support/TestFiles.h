#pragma once
// Small file helpers for tests: private temporary folders and whole-file reads and writes.
#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under /tmp (ends without "/"); removed when the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
std::vector<uint8_t> ReadBytes(const std::string& path);

// True for a file that starts and ends as a JPEG does: one cut short or left half-written fails.
bool IsWholeJpeg(const std::string& path);

// Every file below `folder`, hidden ones too (a leftover temporary file is a fault),
// relative to it and sorted.
std::vector<std::string> FilesIn(const std::string& folder);
