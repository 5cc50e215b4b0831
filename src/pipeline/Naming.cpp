#include "pipeline/Naming.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "settings/ConversionSettings.h"

namespace {

constexpr std::string_view kDefaultMask = "%filename%.%ext%";

// The file part of the current file (after the last "/" or "\"), without its extension.
// Only the last dot can start an extension, and not when it opens the file part or a
// space follows it somewhere.
std::string BaseName(const std::string& path) {
  size_t separator = path.find_last_of("/\\");
  std::string filePart = separator == std::string::npos ? path : path.substr(separator + 1);
  size_t dot = filePart.rfind('.');
  if (dot == std::string::npos || dot == 0 || filePart.find(' ', dot) != std::string::npos) return filePart;
  return filePart.substr(0, dot);
}

// Right-aligned in five characters with "0" on the left; a longer text keeps its first five.
std::string FiveDigits(int32_t value) {
  std::string digits = std::to_string(value);
  if (digits.size() >= 5) return digits.substr(0, 5);
  return std::string(5 - digits.size(), '0') + digits;
}

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

struct NameValues {
  const ImageRequest& request;
  const ImageResult& result;
};

struct NamePlaceholder {
  std::string_view token;
  std::string (*value)(const NameValues& values);
  // The value is fixed before the file is converted: neither decoding, the clock nor chance
  // decides it. A run converts one file, so its running number is always the first.
  bool knownBeforeConversion = false;
};

constexpr bool kKnownBefore = true;

// Expansion order matters: a value holding a later token is expanded again, one holding an
// earlier token is not. Each date and time token reads the clock when it is expanded.
constexpr NamePlaceholder kNamePlaceholders[] = {
    {"%filename%", [](const NameValues& v) { return BaseName(v.request.currentFile); }, kKnownBefore},
    {"%filename[u]%", [](const NameValues& v) { return ToUpper(BaseName(v.request.currentFile)); }, kKnownBefore},
    {"%filename[l]%", [](const NameValues& v) { return ToLower(BaseName(v.request.currentFile)); }, kKnownBefore},
    {"%filename[t]%", [](const NameValues& v) { return ToTitle(BaseName(v.request.currentFile)); }, kKnownBefore},
    {"%ext%", [](const NameValues& v) { return v.request.outputExtension; }, kKnownBefore},
    {"%ext[u]%", [](const NameValues& v) { return ToUpper(v.request.outputExtension); }, kKnownBefore},
    {"%ext[t]%", [](const NameValues& v) { return ToTitle(v.request.outputExtension); }, kKnownBefore},
    {"%yyyy%", [](const NameValues&) { return std::to_string(LocalNow().tm_year + 1900); }},
    {"%mm%", [](const NameValues&) { return TwoDigits(LocalNow().tm_mon + 1); }},
    {"%dd%", [](const NameValues&) { return TwoDigits(LocalNow().tm_mday); }},
    {"%hh%", [](const NameValues&) { return TwoDigits(LocalNow().tm_hour); }},
    {"%ii%", [](const NameValues&) { return TwoDigits(LocalNow().tm_min); }},
    {"%ss%", [](const NameValues&) { return TwoDigits(LocalNow().tm_sec); }},
    {"%bpp%", [](const NameValues& v) { return std::to_string(v.result.targetBpp); }},
    {"%width%", [](const NameValues& v) { return std::to_string(v.result.outputWidth); }},
    {"%height%", [](const NameValues& v) { return std::to_string(v.result.outputHeight); }},
    {"%frame%", [](const NameValues& v) { return std::to_string(v.result.frameNumber); }},
    {"%rnd%", [](const NameValues& v) { return FiveDigits(v.request.randomNumber); }},
    {"%n%", [](const NameValues& v) { return FiveDigits(v.request.fileCounter); }, kKnownBefore},
};

constexpr auto kTokens = [] {
  std::array<std::string_view, std::size(kNamePlaceholders)> tokens{};
  for (size_t i = 0; i < tokens.size(); ++i) tokens[i] = kNamePlaceholders[i].token;
  return tokens;
}();

const NamePlaceholder* FindPlaceholder(std::string_view token) {
  auto row = std::find_if(std::begin(kNamePlaceholders), std::end(kNamePlaceholders),
                          [&](const NamePlaceholder& p) { return p.token == token; });
  return row == std::end(kNamePlaceholders) ? nullptr : row;
}

// Expands, in table order, every token that `probe` holds; the values go into `text`.
std::string ExpandTokensPresentIn(const std::string& probe, std::string text, const ImageRequest& request,
                                  const ImageResult& result) {
  for (std::string_view token : kTokens)
    if (probe.find(token) != std::string::npos) text = ExpandNameToken(text, token, request, result);
  return text;
}

// The mask is its own probe, so a value that holds a later token is expanded again.
std::string ExpandMask(bool onlyKnownBeforeConversion, const ImageRequest& request, const ImageResult& result) {
  std::string mask = ToLower(request.settings.filenameMask);
  if (mask.empty()) mask = kDefaultMask;
  for (const NamePlaceholder& placeholder : kNamePlaceholders) {
    if (onlyKnownBeforeConversion && !placeholder.knownBeforeConversion) continue;
    if (mask.find(placeholder.token) != std::string::npos)
      mask = ExpandNameToken(mask, placeholder.token, request, result);
  }
  return mask;
}

}  // namespace

// A "/" may reach a subfolder of the output folder, but a name must not start again from
// the root or climb out of the folder through a ".." component.
bool NameStaysInFolder(std::string_view name) {
  if (name.starts_with('/')) return false;
  for (size_t start = 0; start <= name.size();) {
    const size_t end = std::min(name.find('/', start), name.size());
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

std::span<const std::string_view> NamePlaceholders() { return kTokens; }

std::string ExpandNameToken(const std::string& text, std::string_view token, const ImageRequest& request,
                            const ImageResult& result) {
  const NamePlaceholder* placeholder = FindPlaceholder(token);
  if (!placeholder) return text;
  const std::string value = placeholder->value({request, result});
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = FindNoCase(text, token, pos)) != std::string::npos; pos = hit + token.size()) {
    out.append(text, pos, hit - pos);
    out.append(value);
    if (out.size() > kMaxExpandedTextBytes) {
      out.resize(kMaxExpandedTextBytes + 1);
      return out;
    }
  }
  out.append(text, pos);
  return out;
}

std::string ExpandFilenameMask(const ImageRequest& request, const ImageResult& result) {
  return ExpandMask(false, request, result);
}

std::string ExpandFilenameMaskBeforeConversion(const ImageRequest& request) {
  return ExpandMask(true, request, ImageResult{});
}

std::string BuildOutputPath(const ImageRequest& request, const ImageResult& result) {
  const std::string name = ExpandFilenameMask(request, result);
  if (!NameStaysInFolder(name)) return {};
  std::string folder = request.outputFolder;
  if (request.settings.keepSubfolders) folder += request.currentSubfolder;
  return folder + name;
}

std::string ExpandWatermarkText(const ImageRequest& request, const ImageResult& result) {
  const std::string& text = request.settings.wmText;
  if (std::count(text.begin(), text.end(), '%') < 2) return text;
  // The configured text is the probe: literal text keeps its case, and values are expanded
  // again only by tokens that the configured text holds itself.
  return ExpandTokensPresentIn(ToLower(text), text, request, result);
}

void ApplyFileTimestamp(const std::string& input, const std::string& output, const ConversionSettingsRecord& s) {
  switch (s.fileTimestamp) {
    case kTimestampOriginal: (void)CopyModificationTime(input, output); break;
    case kTimestampCustom: (void)SetLocalModificationTime(output, s.fileTimestampCustom); break;
    default: break;
  }
}
