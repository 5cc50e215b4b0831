// Names and watermark texts whose tokens expand into further tokens must stay bounded.
#include <gtest/gtest.h>

#include <string>

#include "formats/FormatTables.h"
#include "pipeline/Naming.h"
#include "settings/ConversionSettings.h"
#include "support/ProgramState.h"

namespace {

ConversionSettingsRecord settings = DefaultConversionSettings(true);

ImageRequest request{settings};
ImageResult result;

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

void StartJob(const std::string& currentFile) {
  ResetProgramState();
  settings = DefaultConversionSettings(true);
  ClearImageRequest(request);
  result = ImageResult{};
  request.currentFile = currentFile;
  request.outputExtension = "jpg";
}

// Each "%filename[u]%" of the file name brings the whole name back, whose "%filename[l]%"
// bring it back again: unbounded, this 2 KB request asked for tens of gigabytes.
const std::string kSelfMultiplyingName = "/x/" + Repeat("%filename[u]%%filename[l]%%filename[t]%", 30) + ".cr2";

TEST(NamingLimits, SelfMultiplyingMaskStopsOneByteBeyondTheBound) {
  StartJob(kSelfMultiplyingName);
  settings.filenameMask = Repeat("%filename%", 100);
  const std::string name = ExpandFilenameMask(request, result);
  EXPECT_EQ(name.size(), kMaxExpandedTextBytes + 1);
  // Longer than any path the file system takes, so such a name can never be saved.
  EXPECT_GT(name.size(), 4096u);
}

TEST(NamingLimits, SelfMultiplyingWatermarkTextStaysBounded) {
  StartJob(kSelfMultiplyingName);
  settings.wmText = Repeat("%filename%%filename[u]%%filename[l]%%filename[t]%", 20);
  EXPECT_EQ(ExpandWatermarkText(request, result).size(), kMaxExpandedTextBytes + 1);
}

TEST(NamingLimits, LongExpansionsBelowTheBoundAreComplete) {
  const std::string base(200, 'a');
  StartJob("/in/" + base + ".cr2");
  settings.filenameMask = Repeat("%filename%-", 300) + ".%ext%";
  EXPECT_EQ(ExpandFilenameMask(request, result), Repeat(base + "-", 300) + ".jpg");  // 60,305 bytes
}

TEST(NamingLimits, AMaskLongerThanTheBoundWithoutTokensIsKept) {
  StartJob("/in/a.cr2");
  const std::string mask(kMaxExpandedTextBytes + 500, 'x');
  settings.filenameMask = mask;
  EXPECT_EQ(ExpandFilenameMask(request, result), mask);
}

}  // namespace
