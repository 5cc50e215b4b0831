#pragma once
// Filling the "%s1%" to "%s4%" placeholders of console message templates.
#include <string>
#include <string_view>

// Replaces every "%s1%" by s1, then every "%s2%" by s2, and so on, the search ignoring
// letter case. An empty argument leaves its placeholder in the text. A replacement is not
// searched again for its own or earlier placeholders, but a later placeholder that it
// brings in is filled in its turn.
std::string FillPlaceholders(std::string_view messageTemplate, std::string_view s1 = {}, std::string_view s2 = {},
                             std::string_view s3 = {}, std::string_view s4 = {});
