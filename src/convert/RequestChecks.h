#pragma once
// The checks of the settings that refuse a request in every mode: the output depth and
// quality, the sizes and the colour ranges. In debug mode the settings report is printed
// beside them, up to the line whose value a check refused.
#include <optional>
#include <string>

// Checks the save options of the output extension (bit depth, then quality), after their
// report block. Returns the error message of the first failed check.
[[nodiscard]] std::optional<std::string> CheckSaveOptions(const std::string& extension, bool debug);

// Checks the settings of the enabled transform steps (sizes, ranges); the report stops at
// the line of the first failed check. Returns its error message.
[[nodiscard]] std::optional<std::string> CheckTransforms(bool debug);
