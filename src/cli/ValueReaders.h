#pragma once
// How option values become numbers and texts. Malformed numbers are not errors: whatever
// does not read as a number gives 0.
#include <cstdint>
#include <string>
#include <string_view>

// Leading spaces and tabs, an optional sign, then "$" and hexadecimal digits, "%" and
// binary digits, or decimal digits; reading stops at the first character that does not
// belong. The number is formed in 64 bits (wrapping) and its low 32 bits are returned:
// "90px" -> 90, "$FF" -> 255, "%101" -> 5, "1.5" -> 1, "abc" -> 0.
int32_t ReadIntegerValue(std::string_view text);

// A decimal number with "." as the decimal point whatever the locale: leading spaces and
// tabs, an optional sign, digits with an optional fraction, an optional exponent; the words
// "+Infinity", "-Infinity" and "NaN" in any letter case. Reading stops at the first
// character that does not belong ("2,2" -> 2.0); text that does not begin with a number
// gives 0.0. The result is rounded to single precision (beyond its range: infinity).
float ReadFloatValue(std::string_view text);

// Whether the readers above take the whole text as a number, leaving nothing but blanks
// behind it: "90", " $FF", "-1.5e3" do; "abc", "90px", "2,2" and, for integers, "1.5" do not.
bool IsWholeInteger(std::string_view text);
bool IsWholeFloat(std::string_view text);

// The text without every double quote at its start and at its end.
std::string StripOuterQuotes(std::string_view text);
