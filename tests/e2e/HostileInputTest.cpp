// Hostile numbers through the real program: huge and negative sizes, percentages, angles,
// offsets, frame widths, headerless sizes, font sizes, padding and leading. Every run ends
// with a defined outcome - converted, "Conversion stopped" (exit status 1) or an "Error: "
// line (exit status 2) - within its time and memory, never with a crash or a hang.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/BitmapPtr.h"
#include "support/DngWriter.h"
#include "support/RunOutcomes.h"
#include "support/RunProgram.h"
#include "support/TestFiles.h"

namespace {

// Each run gets this much address space (more than the largest bitmap the limits admit,
// twice over), 60 s, and must stay below 768 MB of resident memory: the inputs are tiny,
// so only a stage that failed to refuse a hostile number could need more.
constexpr int64_t kAddressSpace = int64_t{4} << 30;
constexpr int kSeconds = 60;
constexpr long kPeakKilobytes = 768 * 1024;

constexpr const char* kMax = "2147483647";
constexpr const char* kMin = "-2147483648";

enum class Input { kDng, kNoise };

struct HostileCase {
  const char* label;
  Input input;
  std::vector<std::string> options;
  Outcome expected;
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.label; }

std::string Option(const char* name, const char* value) { return std::string(name) + "=" + value; }

class HostileInput : public ::testing::TestWithParam<HostileCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteTestDng(folder / "photo.dng", DngOptions{}));
    // Neither a camera file nor a JPEG: only the headerless reader takes it.
    std::vector<uint8_t> noise(1000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7919 % 251);
    WriteBytes(folder / "noise.raw", noise);
    BitmapPtr mark = AdoptBitmap(FreeImage_Allocate(24, 16, 32));
    ASSERT_TRUE(mark);
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, mark.get(), (folder / "mark.png").c_str(), 0));
    ASSERT_EQ(mkdir(Output().c_str(), 0755), 0);
  }
  std::string Output() const { return folder / "out"; }
  TempFolder folder;
};

TEST_P(HostileInput, EndsWithADefinedOutcome) {
  const HostileCase& c = GetParam();
  std::vector<std::string> args = {"-i", folder / (c.input == Input::kDng ? "photo.dng" : "noise.raw"), "-o", Output()};
  for (const std::string& option : c.options)
    args.push_back(option == "MARK" ? "--wm-image=" + folder / "mark.png" : option);

  const ProgramRun run = RunPixquillWithin(args, kSeconds, kAddressSpace);
  const std::string abnormal = AbnormalEndOf(run, kPeakKilobytes);
  ASSERT_EQ(abnormal, "") << c.label;
  EXPECT_EQ(ToString(OutcomeOf(run)), ToString(c.expected)) << c.label << "\n" << run.stdoutText;
  EXPECT_EQ(OutputProblem(Output(), c.expected == Outcome::kConverted), "") << c.label;
}

using O = Outcome;
const char* const kWidth = "--width";
const char* const kHeight = "--height";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sizes, HostileInput,
    ::testing::Values(
        // A target no stage may allocate fails the resize; one that works out at no pixels
        // at all leaves the image as it is.
        HostileCase{"largest pixel sizes", Input::kDng, {Option(kWidth, kMax), Option(kHeight, kMax)}, O::kStopped},
        HostileCase{"largest width, small height", Input::kDng, {Option(kWidth, kMax), Option(kHeight, "10")},
                    O::kStopped},
        // Just beyond the byte limit but within the address space each run gets: only the
        // stage's own check keeps this from taking 1 GB.
        HostileCase{"just beyond the byte limit", Input::kDng, {Option(kWidth, "20000"), Option(kHeight, "18000")},
                    O::kStopped},
        HostileCase{"sides within reach, bytes beyond", Input::kDng, {Option(kWidth, "65535"), Option(kHeight, "65535")},
                    O::kStopped},
        HostileCase{"side beyond any JPEG", Input::kDng, {Option(kWidth, "70000"), Option(kHeight, "2")}, O::kStopped},
        HostileCase{"negative sizes", Input::kDng, {Option(kWidth, kMin), Option(kHeight, "-1")}, O::kConverted},
        HostileCase{"largest percentages", Input::kDng,
                    {Option(kWidth, kMax), "--width-unit=percent", Option(kHeight, kMax), "--height-unit=percent"},
                    O::kStopped},
        HostileCase{"negative percentages", Input::kDng,
                    {Option(kWidth, kMin), "--width-unit=percent", Option(kHeight, "-50"), "--height-unit=percent"},
                    O::kConverted},
        HostileCase{"largest width kept in proportion", Input::kDng,
                    {Option(kWidth, kMax), Option(kHeight, "1"), "--keep-aspect-ratio"}, O::kStopped},
        HostileCase{"one pixel kept in proportion", Input::kDng,
                    {Option(kWidth, "1"), Option(kHeight, kMax), "--keep-aspect-ratio"}, O::kConverted},
        HostileCase{"large images only, largest target", Input::kDng,
                    {Option(kWidth, kMax), Option(kHeight, kMax), "--resize-type=largeimages"}, O::kConverted},
        HostileCase{"zero width is refused", Input::kDng, {Option(kWidth, "0"), Option(kHeight, "5")}, O::kRefused}));
// clang-format on

INSTANTIATE_TEST_SUITE_P(
    Angles, HostileInput,
    ::testing::Values(
        HostileCase{"largest angle", Input::kDng, {Option("--rotation", kMax)}, O::kConverted},
        HostileCase{"smallest angle", Input::kDng, {Option("--rotation", kMin)}, O::kConverted},
        HostileCase{
            "359 degrees about the centre", Input::kDng, {"--rotation=359", "--rotation-type=advanced"}, O::kConverted},
        HostileCase{"45 degrees, then the largest resize",
                    Input::kDng,
                    {"--rotation=45", Option(kWidth, "40000"), Option(kHeight, "40000")},
                    O::kStopped},
        HostileCase{
            "unknown rotation type", Input::kDng, {"--rotation=45", "--rotation-type=sideways"}, O::kConverted}));

INSTANTIATE_TEST_SUITE_P(
    Frames, HostileInput,
    ::testing::Values(HostileCase{"largest left frame", Input::kDng, {Option("--fr-solid-left", kMax)}, O::kConverted},
                      HostileCase{"largest frame on every side",
                                  Input::kDng,
                                  {Option("--fr-solid-left", kMax), Option("--fr-solid-right", kMax),
                                   Option("--fr-solid-top", kMax), Option("--fr-solid-bottom", kMax)},
                                  O::kConverted},
                      HostileCase{"smallest frame on every side",
                                  Input::kDng,
                                  {Option("--fr-solid-left", kMin), Option("--fr-solid-right", kMin),
                                   Option("--fr-solid-top", kMin), Option("--fr-solid-bottom", kMin)},
                                  O::kConverted},
                      HostileCase{"frame opacity out of range",
                                  Input::kDng,
                                  {"--fr-solid-top=5", Option("--fr-solid-opacity", kMin)},
                                  O::kConverted},
                      HostileCase{"frame beyond the image, watermark inside it",
                                  Input::kDng,
                                  {Option("--fr-solid-left", kMax), "--wm-text=Hi", "--wm-text-boundary=frame"},
                                  O::kStopped}));

INSTANTIATE_TEST_SUITE_P(
    TextWatermarks, HostileInput,
    ::testing::Values(
        // An offset that leaves nothing of the overlay inside the image fails the stage; one
        // that puts it outside entirely leaves the image unchanged.
        HostileCase{"largest offsets",
                    Input::kDng,
                    {"--wm-text=Hi", Option("--wm-text-x-offset", kMax), Option("--wm-text-y-offset", kMax)},
                    O::kStopped},
        HostileCase{"smallest offsets",
                    Input::kDng,
                    {"--wm-text=Hi", Option("--wm-text-x-offset", kMin), Option("--wm-text-y-offset", kMin)},
                    O::kConverted},
        HostileCase{"smallest offsets from the top left",
                    Input::kDng,
                    {"--wm-text=Hi", "--wm-text-position=topleft", Option("--wm-text-x-offset", kMin)},
                    O::kConverted},
        HostileCase{"largest font size", Input::kDng, {"--wm-text=Hi", Option("--wm-font-size", kMax)}, O::kConverted},
        HostileCase{"smallest font size", Input::kDng, {"--wm-text=Hi", Option("--wm-font-size", kMin)}, O::kConverted},
        HostileCase{"font size 0", Input::kDng, {"--wm-text=Hi", "--wm-font-size=0"}, O::kConverted},
        HostileCase{"font size of a large poster",
                    Input::kDng,
                    {"--wm-text=Hi", "--wm-font-size=20000", "--wm-text-antialiasing"},
                    O::kConverted},
        HostileCase{"largest padding", Input::kDng, {"--wm-text=Hi", Option("--wm-text-padding", kMax)}, O::kConverted},
        HostileCase{
            "smallest padding", Input::kDng, {"--wm-text=Hi", Option("--wm-text-padding", kMin)}, O::kConverted},
        HostileCase{"padding just below a canvas side",
                    Input::kDng,
                    {"--wm-text=Hi", "--wm-text-padding=16380", "--wm-text-antialiasing"},
                    O::kConverted},
        HostileCase{
            "largest leading", Input::kDng, {"--wm-text=a%eol%b", Option("--wm-font-leading", kMax)}, O::kConverted},
        HostileCase{
            "smallest leading", Input::kDng, {"--wm-text=a%eol%b", Option("--wm-font-leading", kMin)}, O::kConverted},
        HostileCase{"many lines",
                    Input::kDng,
                    {"--wm-text=" +
                     [] {
                       std::string text;
                       for (int i = 0; i < 5000; ++i) text += "x%eol%";
                       return text;
                     }()},
                    O::kConverted},
        HostileCase{"largest and smallest rotation",
                    Input::kDng,
                    {"--wm-text=Hi", Option("--wm-text-rotation", kMax)},
                    O::kConverted},
        HostileCase{"rotation of a wide antialiased box",
                    Input::kDng,
                    {"--wm-text=Hi", "--wm-text-rotation=45", "--wm-text-padding=3000", "--wm-text-antialiasing"},
                    O::kConverted},
        HostileCase{"opacities out of range",
                    Input::kDng,
                    {"--wm-text=Hi", Option("--wm-text-opacity", kMax), Option("--wm-back-opacity", kMin),
                     "--wm-text-antialiasing"},
                    O::kConverted},
        HostileCase{"alignment right with the smallest padding",
                    Input::kDng,
                    {"--wm-text=a%eol%bb", "--wm-text-alignment=right", Option("--wm-text-padding", kMin)},
                    O::kConverted}));

INSTANTIATE_TEST_SUITE_P(
    PictureWatermarks, HostileInput,
    ::testing::Values(
        HostileCase{"largest offsets",
                    Input::kDng,
                    {"MARK", Option("--wm-image-x-offset", kMax), Option("--wm-image-y-offset", kMax)},
                    O::kStopped},
        HostileCase{"smallest offsets",
                    Input::kDng,
                    {"MARK", Option("--wm-image-x-offset", kMin), Option("--wm-image-y-offset", kMin)},
                    O::kConverted},
        HostileCase{"rotation", Input::kDng, {"MARK", "--wm-image-rotation=89"}, O::kConverted},
        HostileCase{"largest rotation", Input::kDng, {"MARK", Option("--wm-image-rotation", kMax)}, O::kConverted},
        HostileCase{"opacity out of range", Input::kDng, {"MARK", Option("--wm-image-opacity", kMin)}, O::kConverted}));

INSTANTIATE_TEST_SUITE_P(
    HeaderlessSizes, HostileInput,
    ::testing::Values(
        // On a camera file the RAW decoder still runs after a refused headerless read.
        HostileCase{"largest stated size, camera file",
                    Input::kDng,
                    {"--raw-load-as=16", Option("--raw-width", kMax), Option("--raw-height", kMax)},
                    O::kConverted},
        HostileCase{"largest stated size",
                    Input::kNoise,
                    {"--raw-load-as=16", Option("--raw-width", kMax), Option("--raw-height", kMax)},
                    O::kStopped},
        HostileCase{"negative stated size",
                    Input::kNoise,
                    {"--raw-load-as=8", Option("--raw-width", "-30"), Option("--raw-height", "-30")},
                    O::kStopped},
        HostileCase{"smallest stated size",
                    Input::kNoise,
                    {"--raw-load-as=8", Option("--raw-width", kMin), Option("--raw-height", kMin)},
                    O::kStopped},
        // One row more than the 1 GiB a headerless image may take (1 GiB itself loads, and
        // is left out here for its time and memory).
        HostileCase{"stated size just beyond 1 GiB",
                    Input::kNoise,
                    {"--raw-load-as=8", Option("--raw-width", "32768"), Option("--raw-height", "32769")},
                    O::kStopped},
        HostileCase{
            "largest header", Input::kNoise, {"--raw-load-as=8", Option("--raw-header-size", kMax)}, O::kStopped},
        HostileCase{
            "negative header", Input::kNoise, {"--raw-load-as=8", Option("--raw-header-size", kMin)}, O::kStopped},
        HostileCase{
            "header of all but one byte", Input::kNoise, {"--raw-load-as=8", "--raw-header-size=999"}, O::kConverted},
        HostileCase{
            "stated width only", Input::kNoise, {"--raw-load-as=16", Option("--raw-width", kMax)}, O::kConverted}));

INSTANTIATE_TEST_SUITE_P(
    OtherNumbers, HostileInput,
    ::testing::Values(
        HostileCase{"threshold beyond a byte", Input::kDng, {Option("--threshold", kMin)}, O::kConverted},
        HostileCase{"custom time stamps at both ends",
                    Input::kDng,
                    {"--file-timestamp=custom", Option("--file-timestamp-custom", kMin)},
                    O::kConverted},
        HostileCase{"latest custom time stamp",
                    Input::kDng,
                    {"--file-timestamp=custom", Option("--file-timestamp-custom", kMax)},
                    O::kConverted},
        HostileCase{"quality beyond range", Input::kDng, {Option("--jpg-quality", kMax)}, O::kRefused},
        HostileCase{"brightness beyond range", Input::kDng, {Option("--brightness", kMin)}, O::kRefused},
        HostileCase{"gamma not a number", Input::kDng, {"--gamma=NaN"}, O::kRefused},
        HostileCase{"gamma beyond float", Input::kDng, {"--gamma=1e39"}, O::kRefused},
        HostileCase{"bit depth beyond range", Input::kDng, {Option("--jpg-bpp", kMax)}, O::kRefused},
        HostileCase{
            "keywords of another kind", Input::kDng, {"--dither=percent", "--resize-algorithm=floyd"}, O::kConverted},
        // GD's working memory grows with the longer side: 5.8 GB for this strip, which left
        // without enough memory it turned into a dark picture reported as converted.
        HostileCase{"GD tone mapping of a long strip",
                    Input::kDng,
                    {"--raw-load-as=48", "--raw-tone-mapping=GD", Option(kWidth, "9000"), Option(kHeight, "200")},
                    O::kStopped}));

}  // namespace
