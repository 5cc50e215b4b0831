#pragma once
// The product's name, version and the fixed texts printed around a run.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int32_t programVersion = 320;
inline constexpr std::string_view kProductName = "Quillmark";

// The version number as printed: a "." after the first and after the second digit, and a
// trailing ".0" dropped (320 -> "3.2", 321 -> "3.2.1", 300 -> "3.0").
std::string VersionText(int32_t number);

// "Quillmark 3.2".
std::string ProductTitle(std::string_view name, int32_t number);

// The four banner lines printed before a run unless quiet.
std::vector<std::string> BannerLines();

// The help text, one string per line, with the program name and a randomly chosen
// accepted input format (a new choice for every line that shows one) filled in.
std::vector<std::string> HelpTextLines();
