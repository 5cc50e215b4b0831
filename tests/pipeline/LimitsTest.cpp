#include "pipeline/Limits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

constexpr int64_t kHuge = std::numeric_limits<int64_t>::max();

TEST(LimitsTest, BoundsHoldAtTheirEdgesAndSurviveHugeNumbers) {
  const struct {
    int64_t width, height, bpp;
    bool fits;
  } cases[] = {
      {65535, 1, 24, true},      {65536, 1, 24, false},    {1, 65536, 8, false},
      {32768, 32768, 8, true},  // exactly 1 GiB
      {32768, 32769, 8, false},  {16384, 16384, 32, true}, {16384, 16385, 32, false},
      {0, 10, 24, false},        {10, -1, 24, false},      {10, 10, 0, false},
      {kHuge, kHuge, 24, false}, {kHuge, 1, 1, false},     {1, kHuge, 96, false},
      {65535, 65535, 1, true},  // 512 MiB of single bits
  };
  for (const auto& c : cases)
    EXPECT_EQ(FitsImageLimits(c.width, c.height, c.bpp), c.fits) << c.width << "x" << c.height << "x" << c.bpp;
}

TEST(LimitsTest, IntermediateBitmapsMayHaveLongerSides) {
  EXPECT_TRUE(FitsImageBytes(100000, 100, 24));
  EXPECT_FALSE(FitsImageBytes(100000, 10000, 24));
  EXPECT_FALSE(FitsImageBytes(kHuge / 2, 3, 96));
}

}  // namespace
