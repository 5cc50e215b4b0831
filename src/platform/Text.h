#pragma once
// Text helpers over UTF-8 std::string, the platform's encoding of arguments and file names.
#include <limits>
#include <string>
#include <string_view>
#include <vector>

// Unicode-aware case mapping of whole strings (é <-> É). Bytes that are not valid UTF-8
// are kept unchanged.
std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);

// First character upper case, all following characters lower case ("jpg" -> "Jpg").
std::string ToTitle(std::string_view text);

// Removes spaces (only ' ') at both ends.
std::string TrimSpaces(std::string_view text);
// Removes spaces and tabs at both ends.
std::string TrimBlanks(std::string_view text);

// The fields of `text` between `separator`s (not empty), empty fields included: one field
// for a text without separator. At most `maxFields`: the last holds the rest of the text.
std::vector<std::string> SplitAt(std::string_view text, std::string_view separator,
                                 size_t maxFields = std::numeric_limits<size_t>::max());

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);

// Replaces every occurrence of `from` (ASCII letters compared without regard to case) by
// `to`; the search continues behind the inserted text, so occurrences never overlap.
std::string ReplaceAllNoCase(std::string_view text, std::string_view from, std::string_view to);

// Position of `needle` in `text` comparing ASCII letters without regard to case, from `start`.
std::string::size_type FindNoCase(std::string_view text, std::string_view needle, std::string::size_type start = 0);

// Latin-1 bytes (each byte one character) turned into UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// Decodes the UTF-8 sequence at `pos` into `out`; returns its length, or 0 (and `out`
// unchanged) when it is not a valid, shortest-form sequence of a code point outside the
// surrogates.
size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& out);

// The value of a hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);
