#include "cli/OptionTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sstream>

#include "cli/ArgumentScan.h"
#include "cli/Arguments.h"
#include "cli/Profile.h"
#include "convert/ConversionJob.h"
#include "support/ProgramState.h"
#include "support/TestFiles.h"

namespace {

std::string Show(int32_t v) { return std::to_string(v); }
std::string Show(int8_t v) { return std::to_string(v); }
std::string Show(uint8_t v) { return std::to_string(v); }
std::string Show(float v) {
  std::ostringstream out;
  out << v;
  return out.str();
}
std::string Show(const std::string& v) { return v; }

// A size code no keyword gives, so that the option's own code is seen to be stored.
constexpr int8_t kNoSuchSizeCode = 5;

#define FIELD(member) [] { return Show(ConversionSettings.member); }

struct OptionCase {
  std::string argument;  // "--NAME=value" as typed on the command line
  std::function<std::string()> field;
  std::string expected;
  std::function<std::string()> enable = nullptr;
  std::string expectedEnable = "";
  // Runs after the reset, for fields whose only value is their default.
  std::function<void()> prepare = nullptr;
};

// What each option must write, stated independently of the table. Every value differs from
// the field's default, so a row that writes the wrong field or nothing fails.
const std::vector<OptionCase>& OptionCases() {
  static const std::vector<OptionCase> cases = {
      {"--dds-load-as=rgba", FIELD(ddsLoadAs), "2"},
      {"--gif-frame-loading=last", FIELD(gifFrameLoading), "3"},
      {"--ico-frame-loading=first", FIELD(icoFrameLoading), "1"},
      {"--psd-color-mode=lab", FIELD(psdColorMode), "2"},
      {"--raw-load-as=48HS", FIELD(rawLoadAs), "4"},
      {"--raw-header-size=$10", FIELD(rawHeaderSize), "16"},
      {"--raw-width=640", FIELD(rawWidth), "640"},
      {"--raw-height=480", FIELD(rawHeight), "480"},
      {"--raw-tone-mapping=gd", FIELD(rawToneMapping), "4"},
      {"--tiff-frame-loading=random", FIELD(tiffFrameLoading), "4"},
      {"--bmp-bpp=24", FIELD(bmpBpp), "24"},
      {"--bmp-compression=rle", FIELD(bmpCompression), "1"},
      {"--bmp-color-table=exact", FIELD(bmpColorTable), "1"},
      {"--dds-bpp=32", FIELD(ddsBpp), "32"},
      {"--exr-bpp=96", FIELD(exrBpp), "96"},
      {"--exr-compression=b44", FIELD(exrCompression), "4"},
      {"--gif-bpp=8", FIELD(gifBpp), "8"},
      {"--hdr-bpp=96", FIELD(hdrBpp), "96"},
      {"--ico-bpp=4", FIELD(icoBpp), "4"},
      {"--j2k-bpp=48", FIELD(j2kBpp), "48"},
      {"--jng-bpp=32", FIELD(jngBpp), "32"},
      {"--jp2-bpp=16", FIELD(jp2Bpp), "16"},
      {"--jpg-bpp=8", FIELD(jpgBpp), "8"},
      {"--jpg-quality=85%", FIELD(jpgQuality), "85"},
      {"--jpg-chroma=high", FIELD(jpgChroma), "3"},
      {"--jpg-save-as=progressive", FIELD(jpgSaveAs), "3"},
      {"--jxr-bpp=24", FIELD(jxrBpp), "24"},
      {"--pbm-bpp=1", FIELD(pbmBpp), "1"},
      {"--pcx-bpp=24", FIELD(pcxBpp), "24"},
      {"--pfm-bpp=96", FIELD(pfmBpp), "96"},
      {"--pgm-bpp=8", FIELD(pgmBpp), "8"},
      {"--png-bpp=%110000", FIELD(pngBpp), "48"},
      {"--png-compression=zlib9", FIELD(pngCompression), "3"},
      {"--png-interlaced", FIELD(pngInterlaced), "1"},
      {"--ppm-bpp=24", FIELD(ppmBpp), "24"},
      {"--psd-bpp=32", FIELD(psdBpp), "32"},
      {"--tga-bpp=16", FIELD(tgaBpp), "16"},
      {"--tga-compression=rle", FIELD(tgaCompression), "1"},
      {"--tiff-bpp=64", FIELD(tiffBpp), "64"},
      {"--tiff-compression=lzw", FIELD(tiffCompression), "6"},
      {"--tiff-color-mode=cmyk", FIELD(tiffColorMode), "1"},
      {"--wbmp-bpp=1", FIELD(wbmpBpp), "1"},
      {"--webp-bpp=32", FIELD(webpBpp), "32"},
      {"--webp-quality=75", FIELD(webpQuality), "75"},
      {"--xpm-bpp=24", FIELD(xpmBpp), "24"},
      {"--rotation-type=advanced", FIELD(rotationType), "1"},
      {"--rotation=-90", FIELD(rotation), "-90", FIELD(doRotation), "1"},
      {"--rotation-back-color=FF0000", FIELD(rotationBackColor), "FF0000"},
      {"--width=800", FIELD(width), "800", FIELD(doResize), "1"},
      {"--width-unit=percent", FIELD(widthUnit), "1"},
      {"--height=600", FIELD(height), "600", FIELD(doResize), "1"},
      {"--height-unit=percent", FIELD(heightUnit), "1"},
      {"--keep-aspect-ratio", FIELD(keepAspectRatio), "1"},
      {"--resize-type=largeimages", FIELD(resizeType), "1"},
      {"--resize-algorithm=lanczos", FIELD(resizeAlgorithm), "5"},
      {"--flip-horizontal", FIELD(flipHorizontal), "1"},
      {"--flip-vertical", FIELD(flipVertical), "1"},
      {"--brightness=-20", FIELD(brightness), "-20", FIELD(doColorCorrection), "1"},
      {"--contrast=30", FIELD(contrast), "30", FIELD(doColorCorrection), "1"},
      {"--gamma=2,2", FIELD(gamma), "2", FIELD(doColorCorrection), "1"},
      {"--invert", FIELD(invert), "1", FIELD(doColorCorrection), "1"},
      {"--greyscale", FIELD(greyscale), "1"},
      {"--threshold=128", FIELD(threshold), "128", FIELD(doThreshold), "1"},
      {"--dither=bayer8", FIELD(dither), "2", FIELD(doDither), "1"},
      {"--fr-solid-left=5", FIELD(frSolidLeft), "5", FIELD(doFrame), "1"},
      {"--fr-solid-right=6", FIELD(frSolidRight), "6", FIELD(doFrame), "1"},
      {"--fr-solid-top=7", FIELD(frSolidTop), "7", FIELD(doFrame), "1"},
      {"--fr-solid-bottom=8", FIELD(frSolidBottom), "8", FIELD(doFrame), "1"},
      {"--fr-solid-left-color=FF0000", FIELD(frSolidLeftColor), "FF0000"},
      {"--fr-solid-right-color=00FF00", FIELD(frSolidRightColor), "00FF00"},
      {"--fr-solid-top-color=0000FF", FIELD(frSolidTopColor), "0000FF"},
      {"--fr-solid-bottom-color=FFFFFF", FIELD(frSolidBottomColor), "FFFFFF"},
      {"--fr-solid-opacity=128", FIELD(frSolidOpacity), "128"},
      {"--wm-solid-opacity=64", FIELD(frSolidOpacity), "64"},
      {"--wm-text=Holiday 2021", FIELD(wmText), "Holiday 2021", FIELD(doWatermark), "1"},
      {"--wm-font=DejaVu Sans", FIELD(wmFont), "DejaVu Sans"},
      {"--wm-font-size=20", FIELD(wmFontSize), "20"},
      {"--wm-font-leading=3", FIELD(wmFontLeading), "3"},
      {"--wm-font-color=FF00FF", FIELD(wmFontColor), "FF00FF"},
      {"--wm-font-style=bolditalic", FIELD(wmFontStyle), "3"},
      {"--wm-font-effect=strikethrought", FIELD(wmFontEffect), "2"},
      {"--wm-text-antialiasing", FIELD(wmTextAntialiasing), "1"},
      {"--wm-text-alignment=center", FIELD(wmTextAlignment), "1"},
      {"--wm-text-padding=4", FIELD(wmTextPadding), "4"},
      {"--wm-text-opacity=100", FIELD(wmTextOpacity), "100"},
      {"--wm-back-color=123456", FIELD(wmBackColor), "123456"},
      {"--wm-back-opacity=200", FIELD(wmBackOpacity), "200"},
      {"--wm-text-boundary=frame", FIELD(wmTextBoundary), "1"},
      {"--wm-text-position=topleft", FIELD(wmTextPosition), "0"},
      {"--wm-text-x-offset=-3", FIELD(wmTextXOffset), "-3"},
      {"--wm-text-y-offset=11", FIELD(wmTextYOffset), "11"},
      {"--wm-text-rotation=45", FIELD(wmTextRotation), "45"},
      {"--wm-text-size=fixed", FIELD(wmTextSize), "0", nullptr, "",
       [] { ConversionSettings.wmTextSize = kNoSuchSizeCode; }},
      {"--wm-image=logo.png", FIELD(wmImage), "logo.png", FIELD(doWatermark), "2"},
      {"--wm-image-greyscale", FIELD(wmImageGreyscale), "1"},
      {"--wm-image-opacity=50", FIELD(wmImageOpacity), "50"},
      {"--wm-image-boundary=frame", FIELD(wmImageBoundary), "1"},
      {"--wm-image-position=middlecenter", FIELD(wmImagePosition), "4"},
      {"--wm-image-x-offset=0", FIELD(wmImageXOffset), "0"},
      {"--wm-image-y-offset=-1", FIELD(wmImageYOffset), "-1"},
      {"--wm-image-rotation=90", FIELD(wmImageRotation), "90"},
      {"--wm-image-size=fixed", FIELD(wmImageSize), "0", nullptr, "",
       [] { ConversionSettings.wmImageSize = kNoSuchSizeCode; }},
      {"--filename-mask=%filename%_small", FIELD(filenameMask), "%filename%_small"},
      {"--file-timestamp=custom", FIELD(fileTimestamp), "2"},
      {"--file-timestamp-custom=1000", FIELD(fileTimestampCustom), "1000"},
      {"--no-subfolders", FIELD(keepSubfolders), "0"},
  };
  return cases;
}

std::string NameOf(const std::string& argument) {
  std::string name = argument.substr(0, argument.find('='));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

std::string ValueOf(const std::string& argument) {
  size_t equals = argument.find('=');
  return equals == std::string::npos ? "" : argument.substr(equals + 1);
}

std::string ShowField(const SettingsField& field, const ConversionSettingsRecord& record) {
  return std::visit(
      [&record](auto member) -> std::string {
        if constexpr (std::is_same_v<decltype(member), std::monostate>) {
          return "";
        } else {
          return Show(record.*member);
        }
      },
      field);
}

// Every distinct field that some row writes, as its enable flag or its value.
std::vector<SettingsField> FieldsWrittenByTheTable() {
  std::vector<SettingsField> fields;
  auto add = [&fields](const SettingsField& field) {
    if (std::holds_alternative<std::monostate>(field)) return;
    for (const SettingsField& known : fields)
      if (known == field) return;
    fields.push_back(field);
  };
  for (const OptionRow& row : OptionTable) {
    add(row.field);
    add(row.enableField);
  }
  return fields;
}

int CountChangedFields(const ConversionSettingsRecord& before) {
  int changed = 0;
  for (const SettingsField& field : FieldsWrittenByTheTable())
    changed += ShowField(field, before) != ShowField(field, ConversionSettings) ? 1 : 0;
  return changed;
}

void ResetAll(const OptionCase& c) {
  ResetProgramState();
  if (c.prepare) c.prepare();
}

void ExpectCaseApplied(const OptionCase& c, const ConversionSettingsRecord& defaults, const std::string& source) {
  EXPECT_EQ(c.field(), c.expected) << source << ": " << c.argument;
  int expectedChanges = 1;
  if (c.enable) {
    EXPECT_EQ(c.enable(), c.expectedEnable) << source << ": enable flag of " << c.argument;
    ++expectedChanges;
  }
  EXPECT_EQ(CountChangedFields(defaults), expectedChanges) << source << ": " << c.argument << " wrote other fields";
}

TEST(OptionTableTest, EveryOptionWritesItsFieldAndEnableFlagFromTheCommandLine) {
  for (const OptionCase& c : OptionCases()) {
    ResetAll(c);
    const ConversionSettingsRecord defaults = ConversionSettings;
    ASSERT_NE(c.field(), c.expected) << c.argument << ": the case could not fail";
    const OptionRow* row = FindCommandLineOption(NameOf(c.argument));
    if (row == nullptr) {
      EXPECT_EQ(NameOf(c.argument), "--WM-SOLID-OPACITY") << "no command-line option";
      continue;
    }
    CommandLine = {c.argument};
    ScanResult scan = ScanArguments();
    EXPECT_EQ(scan.errorMessage, "") << c.argument;
    ExpectCaseApplied(c, defaults, "command line");
  }
}

TEST(OptionTableTest, EveryProfileKeyWritesItsFieldAndEnableFlag) {
  TempFolder folder;
  for (const OptionCase& c : OptionCases()) {
    ResetAll(c);
    const ConversionSettingsRecord defaults = ConversionSettings;
    const std::string profile = folder / "case.ini";
    WriteText(profile, "[CLI]\n" + NameOf(c.argument) + " = " + ValueOf(c.argument) + "\n");
    ASSERT_TRUE(ApplyProfile(profile));
    if (FindProfileKey(NameOf(c.argument)) == nullptr) {
      EXPECT_EQ(NameOf(c.argument), "--FR-SOLID-OPACITY") << "no profile key";
      EXPECT_EQ(CountChangedFields(defaults), 0) << c.argument;
      continue;
    }
    ExpectCaseApplied(c, defaults, "profile");
  }
}

TEST(OptionTableTest, EveryRowHasACase) {
  std::set<std::string> covered;
  for (const OptionCase& c : OptionCases()) covered.insert(NameOf(c.argument));
  for (const OptionRow& row : OptionTable) {
    if (row.target != OptionTarget::Settings) continue;  // run options have their own tests
    EXPECT_TRUE(covered.count(std::string(row.name))) << row.name << " has no case";
  }
}

TEST(OptionTableTest, NamesAreUniqueUpperCaseAndRowsAreConsistent) {
  std::set<std::string_view> names;
  for (const OptionRow& row : OptionTable) {
    for (std::string_view name : {row.name, row.shortName}) {
      if (name.empty()) continue;
      EXPECT_TRUE(names.insert(name).second) << name << " appears twice";
      for (char c : name) EXPECT_FALSE(c >= 'a' && c <= 'z') << name;
    }
    bool writesSettings = row.target == OptionTarget::Settings;
    EXPECT_EQ(writesSettings, !std::holds_alternative<std::monostate>(row.field)) << row.name;
    if (row.form == ValueForm::Keyword) {
      EXPECT_GE(row.keywordKind, 0) << row.name;
    }
    if (!writesSettings) {
      EXPECT_EQ(row.scope, OptionScope::CommandLineOnly) << row.name;
    }
  }
}

}  // namespace
