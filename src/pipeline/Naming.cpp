#include "pipeline/Naming.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "convert/ConversionJob.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace {

constexpr std::string_view kDefaultMask = "%filename%.%ext%";

// fileTimestamp codes (keyword kind 22); CURRENT (0) and unknown codes leave the file alone.
constexpr int kTimestampOriginal = 1;
constexpr int kTimestampCustom = 2;

// The file part of the current file (after the last "/" or "\"), without its extension.
// Only the last dot can start an extension, and not when it opens the file part or a
// space follows it somewhere.
std::string BaseName() {
  const std::string& path = ConversionJob.currentFile;
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

struct NamePlaceholder {
  std::string_view token;
  std::string (*value)();
  // The value is fixed before the file is converted: neither decoding, the clock nor chance
  // decides it. A run converts one file, so its running number is always the first.
  bool knownBeforeConversion = false;
};

constexpr bool kKnownBefore = true;

// Expansion order matters: a value holding a later token is expanded again, one holding an
// earlier token is not. Each date and time token reads the clock when it is expanded.
constexpr NamePlaceholder kNamePlaceholders[] = {
    {"%filename%", [] { return BaseName(); }, kKnownBefore},
    {"%filename[u]%", [] { return ToUpper(BaseName()); }, kKnownBefore},
    {"%filename[l]%", [] { return ToLower(BaseName()); }, kKnownBefore},
    {"%filename[t]%", [] { return ToTitle(BaseName()); }, kKnownBefore},
    {"%ext%", [] { return ConversionJob.outputExtension; }, kKnownBefore},
    {"%ext[u]%", [] { return ToUpper(ConversionJob.outputExtension); }, kKnownBefore},
    {"%ext[t]%", [] { return ToTitle(ConversionJob.outputExtension); }, kKnownBefore},
    {"%yyyy%", [] { return std::to_string(LocalNow().tm_year + 1900); }},
    {"%mm%", [] { return TwoDigits(LocalNow().tm_mon + 1); }},
    {"%dd%", [] { return TwoDigits(LocalNow().tm_mday); }},
    {"%hh%", [] { return TwoDigits(LocalNow().tm_hour); }},
    {"%ii%", [] { return TwoDigits(LocalNow().tm_min); }},
    {"%ss%", [] { return TwoDigits(LocalNow().tm_sec); }},
    {"%bpp%", [] { return std::to_string(ConversionJob.targetBpp); }},
    {"%width%", [] { return std::to_string(ConversionJob.outputWidth); }},
    {"%height%", [] { return std::to_string(ConversionJob.outputHeight); }},
    {"%frame%", [] { return std::to_string(ConversionJob.frameNumber); }},
    {"%rnd%", [] { return FiveDigits(ConversionJob.randomNumber); }},
    {"%n%", [] { return FiveDigits(ConversionJob.fileCounter); }, kKnownBefore},
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
std::string ExpandTokensPresentIn(const std::string& probe, std::string text) {
  for (std::string_view token : kTokens)
    if (probe.find(token) != std::string::npos) text = ExpandNameToken(text, token);
  return text;
}

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

// The mask is its own probe, so a value that holds a later token is expanded again.
std::string ExpandMask(bool onlyKnownBeforeConversion) {
  std::string mask = ToLower(ConversionSettings.filenameMask);
  if (mask.empty()) mask = kDefaultMask;
  for (const NamePlaceholder& placeholder : kNamePlaceholders) {
    if (onlyKnownBeforeConversion && !placeholder.knownBeforeConversion) continue;
    if (mask.find(placeholder.token) != std::string::npos) mask = ExpandNameToken(mask, placeholder.token);
  }
  return mask;
}

}  // namespace

std::span<const std::string_view> NamePlaceholders() { return kTokens; }

std::string ExpandNameToken(const std::string& text, std::string_view token) {
  const NamePlaceholder* placeholder = FindPlaceholder(token);
  if (!placeholder) return text;
  const std::string value = placeholder->value();
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

std::string ExpandFilenameMask() { return ExpandMask(false); }

std::string ExpandFilenameMaskBeforeConversion() { return ExpandMask(true); }

std::string BuildOutputPath() {
  const std::string name = ExpandFilenameMask();
  if (!NameStaysInFolder(name)) return {};
  std::string folder = ConversionJob.outputFolder;
  if (ConversionSettings.keepSubfolders) folder += ConversionJob.currentSubfolder;
  return folder + name;
}

std::string ExpandWatermarkText() {
  const std::string& text = ConversionSettings.wmText;
  if (std::count(text.begin(), text.end(), '%') < 2) return text;
  // The configured text is the probe: literal text keeps its case, and values are expanded
  // again only by tokens that the configured text holds itself.
  return ExpandTokensPresentIn(ToLower(text), text);
}

void ApplyFileTimestamp() {
  const std::string& output = ConversionJob.outputFile;
  switch (ConversionSettings.fileTimestamp) {
    case kTimestampOriginal:
      (void)CopyModificationTime(ConversionJob.currentFile, output);
      break;
    case kTimestampCustom:
      (void)SetLocalModificationTime(output, ConversionSettings.fileTimestampCustom);
      break;
    default:
      break;
  }
}
