#pragma once
// Profile files: INI-style text whose group "CLI" carries advanced options, keyed by their
// option names.
#include <string>

// Applies the keys of the file's first group named "CLI" (any letter case), in file order,
// each overwriting what came before. False when the path is empty or the file cannot be
// read (or is too large to be a profile, see kMaxIniFileBytes); true otherwise, also when
// the file has no such group.
[[nodiscard]] bool ApplyProfile(const std::string& path);
