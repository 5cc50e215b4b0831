#include "settings/ConversionSettings.h"

#include <gtest/gtest.h>

#include "platform/Clock.h"

TEST(ConversionSettingsTest, ConsoleDefaults) {
  ConversionSettings.jpgQuality = 12;
  ConversionSettings.doResize = 1;
  int64_t before = LocalSecondsNow();
  ResetConversionSettings(true);
  int64_t after = LocalSecondsNow();
  const ConversionSettingsRecord& s = ConversionSettings;
  EXPECT_EQ(s.jpgQuality, 95);
  EXPECT_EQ(s.webpQuality, 100);
  EXPECT_EQ(s.doResize, 0);
  EXPECT_EQ(s.resizeAlgorithm, kResizeBicubic);
  EXPECT_EQ(s.rawToneMapping, kToneMapAl);
  EXPECT_EQ(s.wmTextPosition, kBottomRight);
  EXPECT_EQ(s.wmImagePosition, kBottomRight);
  EXPECT_EQ(s.wmTextXOffset, 10);
  EXPECT_EQ(s.wmTextYOffset, 10);
  EXPECT_EQ(s.wmBackOpacity, 1);
  EXPECT_EQ(s.frSolidOpacity, 255);
  EXPECT_EQ(s.filenameMask, "%filename%.%ext%");
  EXPECT_EQ(s.keepSubfolders, 1);
  EXPECT_EQ(s.keepAspectRatio, 0);
  EXPECT_FLOAT_EQ(s.gamma, 1.0f);
  EXPECT_EQ(s.wmFont, "Arial");
  EXPECT_EQ(s.wmFontColor, "FFFFFF");
  EXPECT_EQ(s.rotationBackColor, "000000");
  EXPECT_FALSE(s.wmText.empty());
  EXPECT_GE(s.fileTimestampCustom, static_cast<int32_t>(before));
  EXPECT_LE(s.fileTimestampCustom, static_cast<int32_t>(after));
}

TEST(ConversionSettingsTest, InteractiveFrontEndKeepsAspectRatio) {
  ResetConversionSettings(false);
  EXPECT_EQ(ConversionSettings.keepAspectRatio, 1);
  ResetConversionSettings(true);
  EXPECT_EQ(ConversionSettings.keepAspectRatio, 0);
}
