#include "PrintUtils.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <sstream>

namespace {

TEST(PaddedPrint, Fields) {
  const struct {
    int width;
    int value;
    const char* expected;
  } nums[] = {{5, 42, "   42"}, {2, 12345, "12345"}, {3, -5, " -5"}, {0, 7, "7"},
              {-4, 7, "7"},     {1, 0, "0"},         {12, INT_MIN, " -2147483648"}};
  for (const auto& c : nums) {
    std::ostringstream out;
    PrintSpacePaddedNum(out, c.width, c.value);
    EXPECT_EQ(out.str(), c.expected) << c.width << " " << c.value;
  }

  const struct {
    int width;
    float value;
    const char* expected;
  } floats[] = {{8, 2.5f, "   2.500"}, {2, -0.25f, "-0.250"}, {0, 1e6f, "1000000.000"}};
  for (const auto& c : floats) {
    std::ostringstream out;
    PrintSpacePaddedFloat(out, c.width, c.value);
    EXPECT_EQ(out.str(), c.expected) << c.width << " " << c.value;
  }

  const struct {
    int width;
    const char* text;
    const char* expected;
  } strings[] = {{6, "ab", "ab    "}, {2, "abcdef", "abcdef"}, {3, "", "   "}, {-1, "a", "a"}};
  for (const auto& c : strings) {
    std::ostringstream out;
    PrintSpacePaddedString(out, c.width, c.text);
    EXPECT_EQ(out.str(), c.expected) << c.width << " " << c.text;
  }

  // Padding wider than any internal chunk.
  std::ostringstream wide;
  PrintSpacePaddedNum(wide, 200, 1);
  EXPECT_EQ(wide.str(), std::string(199, ' ') + "1");
}

TEST(DateStamp, EightDigitDate) {
  const std::string stamp = GetDateStamp();
  ASSERT_EQ(stamp.size(), 8u);
  EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos);
  const int year = std::atoi(stamp.substr(0, 4).c_str());
  const int month = std::atoi(stamp.substr(4, 2).c_str());
  const int day = std::atoi(stamp.substr(6, 2).c_str());
  EXPECT_GE(year, 2020);
  EXPECT_TRUE(month >= 1 && month <= 12) << stamp;
  EXPECT_TRUE(day >= 1 && day <= 31) << stamp;
}

}  // namespace
