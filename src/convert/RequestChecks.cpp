#include "convert/RequestChecks.h"

#include <string_view>

#include "convert/SettingsReport.h"
#include "formats/FormatTables.h"
#include "settings/ConversionSettings.h"

namespace {

using Test = bool (*)(const ConversionSettingsRecord&);

template <auto Field, int Low, int High>
bool InRange(const ConversionSettingsRecord& s) {
  return s.*Field >= Low && s.*Field <= High;
}
template <auto Field>
bool NotZero(const ConversionSettingsRecord& s) {
  return s.*Field != 0;
}

// Compared as single-precision values. NaN passes no comparison, so it is refused
// explicitly: it would otherwise reach the colour adjustment as a gamma.
bool GammaInRange(const ConversionSettingsRecord& s) { return s.gamma >= 0.01f && s.gamma <= 9.99f; }

// A check of one transform setting, made when its step is enabled. In report order: the
// first that fails is the one whose line the report stops at.
struct TransformCheck {
  Test enabled;
  Test passes;
  std::string_view reportLine;  // the label of the report line of the value
  std::string_view error;
};

const TransformCheck kTransformChecks[] = {
    {NotZero<&ConversionSettingsRecord::doResize>, NotZero<&ConversionSettingsRecord::width>,
     "Width: ", "Invalid width value"},
    {NotZero<&ConversionSettingsRecord::doResize>, NotZero<&ConversionSettingsRecord::height>,
     "Height: ", "Invalid height value"},
    {NotZero<&ConversionSettingsRecord::doColorCorrection>, InRange<&ConversionSettingsRecord::brightness, -100, 100>,
     "Brightness: ", "Invalid brightness value"},
    {NotZero<&ConversionSettingsRecord::doColorCorrection>, InRange<&ConversionSettingsRecord::contrast, -100, 100>,
     "Contrast: ", "Invalid contrast value"},
    {NotZero<&ConversionSettingsRecord::doColorCorrection>, GammaInRange, "Gamma: ", "Invalid gamma value"},
};

// Checked after the depth, for the extensions that have a quality.
struct QualityCheck {
  std::string_view extension;
  Test passes;
  std::string_view error;
};

const QualityCheck kQualityChecks[] = {
    {"jpg", InRange<&ConversionSettingsRecord::jpgQuality, 1, 100>, "Invalid jpg-quality value"},
    {"webp", InRange<&ConversionSettingsRecord::webpQuality, 1, 100>, "Invalid webp-quality value"},
};

const TransformCheck* FirstFailedTransformCheck(const ConversionSettingsRecord& s) {
  for (const TransformCheck& check : kTransformChecks)
    if (check.enabled(s) && !check.passes(s)) return &check;
  return nullptr;
}

}  // namespace

std::optional<std::string> CheckSaveOptions(const std::string& extension, bool debug) {
  const auto depthSetting = BitDepthSetting(extension);
  if (!depthSetting) return std::nullopt;
  ReportSaveOptions(extension, debug);
  if (!IsPermittedBitDepth(extension, ConversionSettings.*depthSetting)) return "Invalid " + extension + "-bpp value";
  for (const QualityCheck& check : kQualityChecks)
    if (check.extension == extension && !check.passes(ConversionSettings)) return std::string(check.error);
  return std::nullopt;
}

std::optional<std::string> CheckTransforms(bool debug) {
  const TransformCheck* failed = FirstFailedTransformCheck(ConversionSettings);
  ReportTransforms(debug, failed ? failed->reportLine : std::string_view{});
  if (!failed) return std::nullopt;
  return std::string(failed->error);
}
