#include "runtime/Format.h"
#include "runtime/Exception.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatTest, ConvertsIntegersAndTexts) {
    EXPECT_EQ(Format("%2.2d", {5}), "05");
    EXPECT_EQ(Format("%2.2d", {123}), "123");
    EXPECT_EQ(Format("%d", {-7}), "-7");
    EXPECT_EQ(Format("%.3d", {-7}), "-007");
    EXPECT_EQ(Format("%d", {std::int64_t{INT64_MIN}}), "-9223372036854775808");
    EXPECT_EQ(Format("%d", {4000000000u}), "4000000000");
    EXPECT_EQ(Format("%2.2x", {31}), "1F");
    EXPECT_EQ(Format("%2.2x", {10}), "0A");
    EXPECT_EQ(Format("%x", {-1}), "FFFFFFFF");
    EXPECT_EQ(Format("COM%d: %s", {3, "Port busy"}), "COM3: Port busy");
    EXPECT_EQ(Format("100%%", {}), "100%");
    EXPECT_EQ(Format("%.2s", {"abc"}), "ab");
}

TEST(FormatTest, PadsToWidthOnEitherSide) {
    EXPECT_EQ(Format("[%4d]", {7}), "[   7]");
    EXPECT_EQ(Format("[%-4d]", {7}), "[7   ]");
    EXPECT_EQ(Format("[%5s]", {"ab"}), "[   ab]");
    EXPECT_EQ(Format("[%-5s]", {std::string("ab")}), "[ab   ]");
    EXPECT_EQ(Format("[%1s]", {"abc"}), "[abc]");
}

TEST(FormatTest, IgnoresExtraArguments) {
    EXPECT_EQ(Format("%d", {1, 2, "three"}), "1");
    EXPECT_EQ(Format("plain", {1}), "plain");
}

TEST(FormatTest, KeepsBytesOfAnyValue) {
    const std::string text("a\0\xFF", 3);
    EXPECT_EQ(Format("%s", {text}), text);
}

TEST(FormatTest, MismatchRaisesConvertErrorNamingTheFormat) {
    const struct {
        const char* Format;
        std::initializer_list<TFormatArg> Args;
    } cases[] = {
        {"%d", {}},
        {"%d %d", {1}},
        {"%s", {5}},
        {"%d", {"five"}},
        {"%x", {"1F"}},
        {"%q", {1}},
        {"50%", {}},
        {"%-", {1}},
        {"%2.", {1}},
        {"%99999999d", {1}},
        {"%.99999999s", {"a"}},
    };
    for (const auto& c : cases) {
        try {
            Format(c.Format, c.Args);
            ADD_FAILURE() << "no error for " << c.Format;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), std::string("Format '") + c.Format +
                                       "' invalid or incompatible with argument");
        }
    }
}

} // namespace
