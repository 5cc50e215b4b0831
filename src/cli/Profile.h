#pragma once
// Profile files: INI-style text whose group "CLI" carries advanced options, keyed by their
// option names.
#include <string>

// Applies the keys of the file's first group named "CLI" (any letter case), in file order,
// each overwriting what came before. False when the path is empty or names no regular file
// that can be read; true otherwise, also when the file has no such group. A file of any
// size is read; a key line longer than kMaxIniLineBytes is skipped.
[[nodiscard]] bool ApplyProfile(const std::string& path);
