#include "platform/Text.h"

#include <locale.h>

#include <clocale>
#include <cwctype>

namespace {

// C.UTF-8 carries the full Unicode case tables in glibc; a private locale object keeps
// the process-wide locale (and with it number formatting) untouched.
locale_t Utf8Locale() {
  static locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    return l;
  }();
  return locale;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

template <typename Map>
std::string MapCharacters(std::string_view text, Map map, size_t limit = std::string::npos) {
  std::string out;
  out.reserve(text.size());
  size_t count = 0;
  for (size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    size_t len = DecodeUtf8(text, pos, cp);
    if (len == 0) {  // invalid byte: kept as it is
      out += text[pos++];
      continue;
    }
    AppendUtf8(out, count < limit ? map(cp, count) : cp);
    ++count;
    pos += len;
  }
  return out;
}

char32_t UpperOf(char32_t cp) {
  if (cp < 0x80) return (cp >= 'a' && cp <= 'z') ? cp - 32 : cp;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), Utf8Locale()));
}

char32_t LowerOf(char32_t cp) {
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), Utf8Locale()));
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

std::string ToUpper(std::string_view text) {
  return MapCharacters(text, [](char32_t cp, size_t) { return UpperOf(cp); });
}

std::string ToLower(std::string_view text) {
  return MapCharacters(text, [](char32_t cp, size_t) { return LowerOf(cp); });
}

std::string ToTitle(std::string_view text) {
  return MapCharacters(text, [](char32_t cp, size_t i) { return i == 0 ? UpperOf(cp) : LowerOf(cp); });
}

std::string TrimSpaces(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> SplitAt(std::string_view text, std::string_view separator, size_t maxFields) {
  std::vector<std::string> fields;
  for (size_t end; fields.size() + 1 < maxFields && (end = text.find(separator)) != std::string_view::npos;
       text.remove_prefix(end + separator.size()))
    fields.emplace_back(text.substr(0, end));
  fields.emplace_back(text);
  return fields;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string::size_type FindNoCase(std::string_view text, std::string_view needle, std::string::size_type start) {
  if (needle.empty() || needle.size() > text.size()) return std::string::npos;
  for (size_t pos = start; pos + needle.size() <= text.size(); ++pos) {
    size_t i = 0;
    while (i < needle.size() && AsciiLower(text[pos + i]) == AsciiLower(needle[i])) ++i;
    if (i == needle.size()) return pos;
  }
  return std::string::npos;
}

std::string ReplaceAllNoCase(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = FindNoCase(text, from, pos)) != std::string::npos; pos = hit + from.size()) {
    out.append(text.substr(pos, hit - pos));
    out.append(to);
  }
  out.append(text.substr(pos));
  return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

size_t DecodeUtf8(std::string_view s, size_t pos, char32_t& out) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b0 = byte(pos);
  if (b0 < 0x80) {
    out = b0;
    return 1;
  }
  // Lead bytes F5 to FF start no sequence; read as three-byte leads they would turn bytes
  // that are not text into characters.
  size_t len = (b0 >= 0xF0 && b0 < 0xF5) ? 4 : (b0 >= 0xE0 && b0 < 0xF0) ? 3 : (b0 >= 0xC2 && b0 < 0xE0) ? 2 : 0;
  if (len == 0 || pos + len > s.size()) return 0;
  char32_t cp = b0 & (0x7Fu >> len);
  for (size_t i = 1; i < len; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(pos + i) & 0x3Fu);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  out = cp;
  return len;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
