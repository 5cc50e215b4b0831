// Float values at the edges of single precision round to the nearest float, as typed.
#include <gtest/gtest.h>

#include <limits>

#include "cli/ValueReaders.h"

namespace {

constexpr float kLargest = std::numeric_limits<float>::max();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct RoundingCase {
  const char* text;
  float expected;
};

void PrintTo(const RoundingCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class FloatRounding : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(FloatRounding, ReadsTheNearestFloat) {
  const RoundingCase& c = GetParam();
  EXPECT_EQ(ReadFloatValue(c.text), c.expected) << "value \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(Edges, FloatRounding,
                         ::testing::Values(
                             // The largest float as printed with nine digits lies just above it and must read
                             // back as the same float, not as infinity.
                             RoundingCase{"3.40282347e+38", kLargest}, RoundingCase{"-3.40282347e+38", -kLargest},
                             RoundingCase{"3.4028235e38", kLargest},
                             // From half a step above the largest float on (the tie included) it is infinity.
                             RoundingCase{"340282356779733661637539395458142568448", kInfinity},
                             RoundingCase{"3.5e38", kInfinity}, RoundingCase{"-1e39", -kInfinity},
                             RoundingCase{"1e99999", kInfinity},
                             // The small end: the smallest normal and subnormal floats, and below half of that.
                             RoundingCase{"1.17549435e-38", std::numeric_limits<float>::min()},
                             RoundingCase{"1.40129846e-45", std::numeric_limits<float>::denorm_min()},
                             RoundingCase{"7e-46", 0.0f}, RoundingCase{"1e-99999", 0.0f}));

}  // namespace
