#include <gtest/gtest.h>

#include <string>

#include "settings/numeric.h"

namespace {

std::optional<std::int64_t> Round(std::string_view text) {
    return RoundDecimalText(text);
}

TEST(RoundDecimalText, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(Round("0.5"), 0);
    EXPECT_EQ(Round("1.5"), 2);
    EXPECT_EQ(Round("2.5"), 2);
    EXPECT_EQ(Round("3.5"), 4);
    EXPECT_EQ(Round("-2.5"), -2);
    EXPECT_EQ(Round("-3.5"), -4);
    EXPECT_EQ(Round("2.500000"), 2);
}

TEST(RoundDecimalText, AnythingPastTheHalfDecides) {
    EXPECT_EQ(Round("2.5000000000000000000001"), 3);
    EXPECT_EQ(Round("2.4999999999999999999999"), 2);
    EXPECT_EQ(Round("2.49"), 2);
    EXPECT_EQ(Round("2.6"), 3);
    EXPECT_EQ(Round("-2.51"), -3);
    EXPECT_EQ(Round("9.9"), 10);
}

TEST(RoundDecimalText, SignsAndBlanks) {
    EXPECT_EQ(Round("+7"), 7);
    EXPECT_EQ(Round("-7"), -7);
    EXPECT_EQ(Round("-0"), 0);
    EXPECT_EQ(Round("-0.4"), 0);
    EXPECT_EQ(Round(" 7 "), 7);
    EXPECT_EQ(Round("   -12.5  "), -12);
    EXPECT_EQ(Round("007"), 7);
}

TEST(RoundDecimalText, EitherSideOfThePointMayBeMissing) {
    EXPECT_EQ(Round(".5"), 0);
    EXPECT_EQ(Round(".6"), 1);
    EXPECT_EQ(Round("5."), 5);
    EXPECT_EQ(Round("-.5"), 0);
}

TEST(RoundDecimalText, HugeDigitStringsSaturate) {
    const auto big = Round(std::string(400, '9'));
    ASSERT_TRUE(big.has_value());
    EXPECT_GT(*big, 5461);
    EXPECT_EQ(ClampToInt16(*big, 5461), 5461);
    const auto small = Round("-" + std::string(400, '9') + ".5");
    ASSERT_TRUE(small.has_value());
    EXPECT_LT(*small, -5461);
    EXPECT_EQ(ClampToInt16(*small, 5461), -5461);
    EXPECT_EQ(Round("9223372036854775808"), Round("9223372036854775809"));
}

TEST(RoundDecimalText, RejectsWhatIsNotPlainDecimal) {
    for (const char* text : {"", " ", "+", "-", ".", "+.", "--1", "+-1", "1e9", "1E3", "1,5",
                             "1 000", "0x10", "abc", "7a", "1.2.3", "1..2", "∞", "- 1"})
        EXPECT_EQ(Round(text), std::nullopt) << '"' << text << '"';
}

TEST(ClampToInt16, StaysWithinTheLimit) {
    EXPECT_EQ(ClampToInt16(5461, 5461), 5461);
    EXPECT_EQ(ClampToInt16(5462, 5461), 5461);
    EXPECT_EQ(ClampToInt16(-5462, 5461), -5461);
    EXPECT_EQ(ClampToInt16(-3, 5461), -3);
    EXPECT_EQ(ClampToInt16(40000, INT16_MAX), INT16_MAX);
    EXPECT_EQ(ClampToInt16(INT64_MIN, INT16_MAX), -INT16_MAX);
}

}  // namespace
