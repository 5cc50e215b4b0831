#pragma once
// Helpers shared by the fuzz targets: a private scratch file for targets that read files,
// splitting the input into several texts, and invariant checks that stop the fuzzer.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Stops the run with a message; libFuzzer then saves the input that broke the invariant.
inline void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

inline std::string_view AsText(const uint8_t* data, size_t size) { return {reinterpret_cast<const char*>(data), size}; }

// The input cut at every NUL byte (argument vectors cannot carry NUL either).
inline std::vector<std::string> SplitAtNul(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t nul; (nul = text.find('\0', start)) != std::string_view::npos; start = nul + 1)
    parts.emplace_back(text.substr(start, nul - start));
  parts.emplace_back(text.substr(start));
  return parts;
}

// One file per fuzzing process, rewritten for every input and removed at exit.
inline const std::string& ScratchFilePath() {
  static const std::string path = [] {
    char name[] = "/tmp/pixquill-fuzz-XXXXXX";
    int fd = mkstemp(name);
    Require(fd >= 0, "a scratch file can be created");
    close(fd);
    static std::string kept = name;
    std::atexit([] { unlink(kept.c_str()); });
    return kept;
  }();
  return path;
}

inline const std::string& WriteScratchFile(std::string_view bytes) {
  const std::string& path = ScratchFilePath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  Require(file != nullptr, "the scratch file opens");
  Require(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "the scratch file is written");
  std::fclose(file);
  return path;
}
