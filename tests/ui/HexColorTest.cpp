#include "ui/HexColor.h"

#include <gtest/gtest.h>

using vokari::argbFromHex;

TEST(HexColor, ReadsRgbWithOrWithoutHashAndAlphaFirstWhenEightDigits) {
    EXPECT_EQ(argbFromHex("#4ADE80"), 0xFF4ADE80u);
    EXPECT_EQ(argbFromHex(" 4ade80 "), 0xFF4ADE80u);
    EXPECT_EQ(argbFromHex("804ADE80"), 0x804ADE80u);
    const QColor c = vokari::colorFromHex("#4ADE80");
    EXPECT_EQ(c.red(), 74);
    EXPECT_EQ(c.green(), 222);
    EXPECT_EQ(c.blue(), 128);
    EXPECT_EQ(c.alpha(), 255);
}

TEST(HexColor, MalformedStringsGiveWhatTheirLeadingDigitsSpell) {
    EXPECT_EQ(argbFromHex(""), 0u);
    EXPECT_EQ(argbFromHex("zz"), 0u);
    EXPECT_EQ(argbFromHex("#FFF"), 0xFFFu);             // three digits: a number, so transparent
    EXPECT_EQ(argbFromHex("12xyz4"), 0xFF12u);  // six characters get "FF" in front; reading stops at "x"
    EXPECT_EQ(argbFromHex("1234567890"), 0x34567890u);  // longer: only the low 32 bits carry colour
}
