#include "runtime/SysUtils.h"

#include <gtest/gtest.h>

namespace {

struct TConversionCase {
    const char* Text;
    std::int32_t Expected; // with the default -999
};

class StrToIntDefTest : public testing::TestWithParam<TConversionCase> {};

TEST_P(StrToIntDefTest, ConvertsOrGivesDefault) {
    EXPECT_EQ(StrToIntDef(GetParam().Text, -999), GetParam().Expected)
        << "text \"" << GetParam().Text << "\"";
}

INSTANTIATE_TEST_SUITE_P(Decimal, StrToIntDefTest,
                         testing::Values(TConversionCase{"0", 0}, TConversionCase{"42", 42},
                                         TConversionCase{"+42", 42}, TConversionCase{"-42", -42},
                                         TConversionCase{"   3", 3},
                                         TConversionCase{"000000000000017", 17},
                                         TConversionCase{"2147483647", 2147483647},
                                         TConversionCase{"-2147483648", INT32_MIN},
                                         TConversionCase{"2147483648", -999},
                                         TConversionCase{"-2147483649", -999},
                                         TConversionCase{"99999999999999999999", -999}));

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, StrToIntDefTest,
    testing::Values(TConversionCase{"$C8", 200}, TConversionCase{"0x1F4", 500},
                    TConversionCase{"0X1f4", 500}, TConversionCase{"x1F", 31},
                    TConversionCase{"X1f", 31}, TConversionCase{"$FFFFFFFF", -1},
                    TConversionCase{"$80000000", INT32_MIN}, TConversionCase{"-$1", -1},
                    TConversionCase{"-0x10", -16}, TConversionCase{" +$10", 16},
                    TConversionCase{"$000000000000FF", 255}, TConversionCase{"$100000000", -999},
                    TConversionCase{"$G", -999}));

INSTANTIATE_TEST_SUITE_P(Malformed, StrToIntDefTest,
                         testing::Values(TConversionCase{"", -999}, TConversionCase{" ", -999},
                                         TConversionCase{"1 ", -999}, TConversionCase{"\t1", -999},
                                         TConversionCase{"+", -999}, TConversionCase{"-", -999},
                                         TConversionCase{"+-1", -999}, TConversionCase{"--1", -999},
                                         TConversionCase{"- 1", -999}, TConversionCase{"$", -999},
                                         TConversionCase{"0x", -999}, TConversionCase{"$-1", -999},
                                         TConversionCase{"abc", -999}, TConversionCase{"1.5", -999},
                                         TConversionCase{"12a", -999},
                                         TConversionCase{"0x0x1", -999}));

TEST(StrToIntDefTest, TextWithNulByteIsNotANumber) {
    EXPECT_EQ(StrToIntDef(std::string_view("12\0", 3), 7), 7);
}

TEST(TrimTest, RemovesControlCharactersAndBlanksAtBothEndsOnly) {
    EXPECT_EQ(Trim(" \t\r\n a b \x01\x20"), "a b");
    EXPECT_EQ(Trim(std::string_view("\0x\0", 3)), "x");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0"); // 8-bit characters are text
}

} // namespace
