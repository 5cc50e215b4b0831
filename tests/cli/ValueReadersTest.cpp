#include "cli/ValueReaders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const std::pair<std::string, int32_t> kIntegerRows[] = {
    {"90", 90},
    {"90px", 90},
    {"85%", 85},
    {"$FF", 255},
    {"$ff", 255},
    {"-$10", -16},
    {"%101", 5},
    {"%102", 2},
    {"1.5", 1},
    {"abc", 0},
    {"", 0},
    {" -20", -20},
    {"\t\t+7", 7},
    {"- 5", 0},
    {"$", 0},
    {"%", 0},
    {"$G1", 0},
    {"0x10", 0},
    {"007", 7},
    {"2147483647", 2147483647},
    {"2147483648", std::numeric_limits<int32_t>::min()},  // low 32 bits of a 64-bit number
    {"4294967297", 1},
    {"-4294967295", 1},
    {"$100000005", 5},
    {"99999999999999999999999", -159383553},  // (10^23 - 1) wrapped to 64 bits, low 32 bits
};

TEST(ValueReadersTest, IntegerRows) {
  for (const auto& [text, expected] : kIntegerRows) EXPECT_EQ(ReadIntegerValue(text), expected) << "[" << text << "]";
}

TEST(ValueReadersTest, OverlongIntegersWrapInsteadOfFailing) {
  // Every hexadecimal F past the sixteenth keeps the 64-bit number at all ones.
  EXPECT_EQ(ReadIntegerValue("$" + std::string(100000, 'F')), -1);
  EXPECT_EQ(ReadIntegerValue("-$" + std::string(100000, 'F')), 1);
}

const std::pair<std::string, float> kFloatRows[] = {
    {"2.2", 2.2f},      {"2,2", 2.0f},      {"0.01", 0.01f},    {"9.99", 9.99f}, {"-1.5e2", -150.0f},
    {"+3", 3.0f},       {".5", 0.5f},       {"5.", 5.0f},       {"1e", 1.0f},    {"1e+", 1.0f},
    {"2.5E-1x", 0.25f}, {" \t1.25", 1.25f}, {"abc", 0.0f},      {"", 0.0f},      {".", 0.0f},
    {"-", 0.0f},        {"inf", 0.0f},      {"Infinity", 0.0f}, {"0x10", 0.0f},  {"1e-400", 0.0f},
};

TEST(ValueReadersTest, FloatRows) {
  for (const auto& [text, expected] : kFloatRows) EXPECT_EQ(ReadFloatValue(text), expected) << "[" << text << "]";
}

TEST(ValueReadersTest, FloatWordsAndValuesBeyondSinglePrecision) {
  EXPECT_EQ(ReadFloatValue("+Infinity"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(ReadFloatValue("+infinity"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(ReadFloatValue("-INFINITY"), -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(ReadFloatValue("NaN")));
  EXPECT_TRUE(std::isnan(ReadFloatValue("nan")));
  EXPECT_EQ(ReadFloatValue("1e39"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(ReadFloatValue("-1e400"), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(ReadFloatValue(std::string(5000, '9')), std::numeric_limits<float>::infinity());
}

TEST(ValueReadersTest, StripOuterQuotes) {
  const std::pair<std::string, std::string> rows[] = {
      {"\"a b\"", "a b"}, {"\"\"x\"\"", "x"}, {"x\"y", "x\"y"},       {"\"x", "x"},
      {"\"", ""},         {"\"\"", ""},       {" \"x\" ", " \"x\" "},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(StripOuterQuotes(text), expected) << text;
}

}  // namespace
