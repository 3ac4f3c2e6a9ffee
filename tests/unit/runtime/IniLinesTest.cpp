#include "runtime/IniLines.h"

#include <gtest/gtest.h>

namespace {

using inifile::FindValue;
using inifile::Parse;
using inifile::Render;

std::string Set(std::string_view content, std::string_view section, std::string_view key,
                std::string_view value) {
    auto lines = Parse(content);
    inifile::SetValue(lines, section, key, value, inifile::DetectEol(content));
    return Render(lines);
}

TEST(IniLinesTest, RenderGivesBackAnyContent) {
    const std::string samples[] = {
        "",
        "\n",
        "\r\n",
        "a",
        "a\r",
        "a\r\r\n",
        "[s]\nk=v",
        "\n\n\r\n\n",
        "x\r\ny\nz\r\n",
        std::string("k=\0v\xFF\n", 7),
        "\r\r\r",
    };
    for (const std::string& content : samples)
        EXPECT_EQ(Render(Parse(content)), content);
}

TEST(IniLinesTest, FindsTrimmedValuesWithoutRegardToCase) {
    const auto lines = Parse("k=outside\n[Other]\nComPort=9\n[ congif ]\n  COMPORT =  3 \n"
                             "comport=4\n[Congif]\nBaudRate=1200\n");
    EXPECT_EQ(FindValue(lines, "Congif", "ComPort"), "3");
    EXPECT_EQ(FindValue(lines, "Congif", "BaudRate"), std::nullopt); // first section only
    EXPECT_EQ(FindValue(lines, "Congif", "k"), std::nullopt);
    EXPECT_EQ(FindValue(lines, "Missing", "ComPort"), std::nullopt);
}

TEST(IniLinesTest, CommentsAndLinesWithoutKeysAreNotKeys) {
    const auto lines = Parse("[S]\n;a=1\n#b=2\nc\n=4\n[broken\nd=5\n");
    for (const char* key : {";a", "a", "#b", "b", "c", ""})
        EXPECT_EQ(FindValue(lines, "S", key), std::nullopt) << key;
    EXPECT_EQ(FindValue(lines, "S", "d"), "5"); // "[broken" has no "]": still in section S
    const auto values = inifile::SectionValues(lines, "s");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0], (std::pair<std::string, std::string>{"d", "5"}));
}

TEST(IniLinesTest, WriteReplacesTheValueInPlaceKeepingEverythingElse) {
    EXPECT_EQ(Set("; c\n[Congif]\nComPort = 1 \nTimeout=200\n", "congif", "COMPORT", "3"),
              "; c\n[Congif]\nComPort = 3\nTimeout=200\n");
    EXPECT_EQ(Set("[A]\r\nk=1\r\nk=2\r\n", "A", "k", "9"), "[A]\r\nk=9\r\nk=2\r\n");
}

TEST(IniLinesTest, WriteAddsAMissingKeyAfterTheLastKeyOfItsSection) {
    EXPECT_EQ(Set("[A]\nx=1\n; about B\n\n[B]\ny=2\n", "A", "z", "3"),
              "[A]\nx=1\nz=3\n; about B\n\n[B]\ny=2\n");
    EXPECT_EQ(Set("[A]\n\n[B]\n", "a", "z", "3"), "[A]\nz=3\n\n[B]\n");
    EXPECT_EQ(Set("[A]\nx=1", "A", "z", "3"), "[A]\nx=1\nz=3\n");
    const std::string eol = inifile::DetectEol(""); // the platform's, for content without one
    EXPECT_EQ(Set("[A]", "A", "z", "3"), "[A]" + eol + "z=3" + eol);
}

TEST(IniLinesTest, WriteAddsAMissingSectionAtTheEnd) {
    const std::string eol = inifile::DetectEol("");
    EXPECT_EQ(Set("", "Congif", "ComPort", "1"), "[Congif]" + eol + "ComPort=1" + eol);
    EXPECT_EQ(Set("[A]\r\nx=1\r\n", "B", "y", "2"), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    EXPECT_EQ(Set("[A]\nx=1\n\n", "B", "y", "2"), "[A]\nx=1\n\n[B]\ny=2\n");
    EXPECT_EQ(Set("junk", "B", "y", "2"), "junk" + eol + eol + "[B]" + eol + "y=2" + eol);
    EXPECT_EQ(Set("[Config]\nComPort=2\n", "Congif", "ComPort", "2"),
              "[Config]\nComPort=2\n\n[Congif]\nComPort=2\n");
}

TEST(IniLinesTest, RefusesNamesAndValuesThatWouldBreakTheFile) {
    EXPECT_TRUE(inifile::CanStore("Congif", "ComPort", "-12"));
    EXPECT_TRUE(inifile::CanStore("Congif", "ComPort", ""));
    EXPECT_FALSE(inifile::CanStore("", "k", "v"));
    EXPECT_FALSE(inifile::CanStore("a]b", "k", "v"));
    EXPECT_FALSE(inifile::CanStore("a\nb", "k", "v"));
    EXPECT_FALSE(inifile::CanStore("s", "", "v"));
    EXPECT_FALSE(inifile::CanStore("s", "a=b", "v"));
    EXPECT_FALSE(inifile::CanStore("s", ";k", "v"));
    EXPECT_FALSE(inifile::CanStore("s", " k", "v"));
    EXPECT_FALSE(inifile::CanStore("s", "k", "1\r\n[x]"));
}

} // namespace
