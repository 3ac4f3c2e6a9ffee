#include "runtime/IniFile.h"
#include "runtime/Exception.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

void ExpectWriteFails(TIniFile& ini, const std::string& section, const std::string& key) {
    try {
        ini.WriteInteger(section, key, 5);
        ADD_FAILURE() << "the write succeeded";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + ini.FileName());
    }
}

TEST(IniFileTest, MissingFileGivesDefaultsAndCreatesNothing) {
    TTempFolder folder;
    const TIniFile ini(folder.File("Kestro.ini"));
    EXPECT_EQ(ini.ReadInteger("Congif", "ComPort", 1), 1);
    EXPECT_EQ(ini.ReadString("Congif", "ComPort", "x"), "x");
    EXPECT_TRUE(ini.ReadSectionValues("Congif").empty());
    EXPECT_EQ(folder.EntryCount(), 0u);
}

TEST(IniFileTest, ReadsIntegersLeniently) {
    TTempFolder folder;
    WriteBytes(folder.File("k.ini"), "[CONGIF]\r\ncomport=abc\r\nBaudRate=\r\nTimeout=0x1F4\r\n"
                                     "A= 3\r\nB=$C8\r\nC=-0\r\nD=3 4\r\n");
    const TIniFile ini(folder.File("k.ini"));
    EXPECT_EQ(ini.ReadInteger("Congif", "ComPort", 1), 1);
    EXPECT_EQ(ini.ReadInteger("Congif", "BaudRate", 9600), 9600);
    EXPECT_EQ(ini.ReadInteger("Congif", "Timeout", 200), 500);
    EXPECT_EQ(ini.ReadInteger("Congif", "A", 0), 3);
    EXPECT_EQ(ini.ReadInteger("Congif", "B", 0), 200);
    EXPECT_EQ(ini.ReadInteger("Congif", "C", 7), 0);
    EXPECT_EQ(ini.ReadInteger("Congif", "D", 7), 7);
    EXPECT_EQ(ini.ReadSectionValues("congif").size(), 7u);
}

TEST(IniFileTest, WritesReadBackAndCreateTheFile) {
    TTempFolder folder;
    TIniFile ini(folder.File("new.ini"));
    ini.WriteInteger("Congif", "ComPort", 1);
    ini.WriteInteger("Congif", "BaudRate", 9600);
    ini.WriteInteger("Congif", "Timeout", -200);
    ini.WriteInteger("congif", "COMPORT", 4);
    EXPECT_EQ(ini.ReadInteger("Congif", "ComPort", 0), 4);
    EXPECT_EQ(ini.ReadInteger("Congif", "Timeout", 0), -200);
    const std::string eol =
        ReadBytes(ini.FileName()).find('\r') == std::string::npos ? "\n" : "\r\n";
    EXPECT_EQ(ReadBytes(ini.FileName()),
              "[Congif]" + eol + "ComPort=4" + eol + "BaudRate=9600" + eol + "Timeout=-200" + eol);
    EXPECT_EQ(folder.EntryCount(), 1u); // no temporary file left behind
}

TEST(IniFileTest, WriteKeepsEveryOtherLineByteForByte) {
    TTempFolder folder;
    const std::string longLine(100000, 'x');
    const std::string before = "; settings of the clock tool\r\n"
                               "[Ports]\r\nCOM1=/dev/ttyUSB0\r\n"
                               "garbage line without equals\r\n" +
                               longLine + "\r\n" + std::string("bin\0\xFF\xFE=\x80", 8) +
                               "\r\n"
                               "[Congif]\r\n  ComPort = 2 ; old\r\n# note\r\nTimeout=100\r\n"
                               "\r\n[Last]\r\nz=1";
    WriteBytes(folder.File("k.ini"), before);
    TIniFile ini(folder.File("k.ini"));
    ini.WriteInteger("Congif", "ComPort", 3);
    ini.WriteInteger("Congif", "BaudRate", 300);
    ini.WriteInteger("New", "k", 1);
    std::string expected = before;
    expected.replace(expected.find("2 ; old"), 7, "3");
    expected.replace(expected.find("Timeout=100\r\n"), 13, "Timeout=100\r\nBaudRate=300\r\n");
    expected += "\r\n\r\n[New]\r\nk=1\r\n";
    EXPECT_EQ(ReadBytes(ini.FileName()), expected);
    EXPECT_EQ(ini.ReadString("Ports", "COM1", ""), "/dev/ttyUSB0");
}

TEST(IniFileTest, WriteToAPathUnderARegularFileRaisesWithTheExactMessage) {
    TTempFolder folder;
    WriteBytes(folder.File("plain"), "content");
    TIniFile ini(folder.File("plain") + "/k.ini");
    ExpectWriteFails(ini, "Congif", "ComPort");
    EXPECT_EQ(ReadBytes(folder.File("plain")), "content");
}

TEST(IniFileTest, NamesThatWouldBreakTheFileRaiseAndChangeNothing) {
    TTempFolder folder;
    WriteBytes(folder.File("k.ini"), "[A]\nx=1\n");
    TIniFile ini(folder.File("k.ini"));
    ExpectWriteFails(ini, "A\n[B]", "x");
    ExpectWriteFails(ini, "A", "x=y");
    EXPECT_THROW(ini.WriteString("A", "x", "1\n[B]"), EIniFileException);
    EXPECT_EQ(ReadBytes(folder.File("k.ini")), "[A]\nx=1\n");
}

TEST(IniFileTest, APathThatIsAFolderIsRefusedAndNotReplaced) {
    TTempFolder folder;
    std::filesystem::create_directory(folder.Path() / "k.ini");
    TIniFile ini(folder.File("k.ini"));
    try {
        ini.ReadInteger("Congif", "ComPort", 1);
        ADD_FAILURE() << "a folder was read";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to read " + ini.FileName() + ": it is not a regular file");
    }
    ExpectWriteFails(ini, "Congif", "ComPort");
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path() / "k.ini"));
    EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(IniFileTest, ReadsTheFileOnceAndThenAnswersFromThatContentAndItsOwnWrites) {
    TTempFolder folder;
    WriteBytes(folder.File("k.ini"), "[Congif]\nComPort=2\nBaudRate=300\n[Ports]\nCOM1=/dev/a\n");
    TIniFile ini(folder.File("k.ini"));
    EXPECT_EQ(ini.ReadInteger("Congif", "ComPort", 1), 2);
    WriteBytes(folder.File("k.ini"), "[Congif]\nComPort=7\nBaudRate=1200\n");
    EXPECT_EQ(ini.ReadInteger("Congif", "BaudRate", 0), 300);
    EXPECT_EQ(ini.ReadSectionValues("Ports").size(), 1u);
    // A write works on the file as it is now and the object then reads what it wrote.
    ini.WriteInteger("Congif", "Timeout", 50);
    EXPECT_EQ(ReadBytes(ini.FileName()), "[Congif]\nComPort=7\nBaudRate=1200\nTimeout=50\n");
    EXPECT_EQ(ini.ReadInteger("Congif", "ComPort", 0), 7);
    EXPECT_EQ(ini.ReadInteger("Congif", "Timeout", 0), 50);
}

TEST(IniFileTest, AFileOverOneMegabyteIsRefusedAndNotReplaced) {
    TTempFolder folder;
    const std::string header = "[Congif]\nComPort=3\n";
    const std::string fits = header + std::string(TIniFile::MaxFileSize - header.size(), ';');
    WriteBytes(folder.File("fits.ini"), fits);
    EXPECT_EQ(TIniFile(folder.File("fits.ini")).ReadInteger("Congif", "ComPort", 1), 3);

    WriteBytes(folder.File("big.ini"), fits + ";");
    TIniFile ini(folder.File("big.ini"));
    try {
        ini.ReadString("Congif", "ComPort", "");
        ADD_FAILURE() << "an oversized file was read";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to read " + ini.FileName() + ": it is larger than 1 MB");
    }
    EXPECT_THROW(ini.ReadSectionValues("Ports"), EIniFileException);
    ExpectWriteFails(ini, "Congif", "ComPort");
    EXPECT_EQ(ReadBytes(ini.FileName()), fits + ";");
}

// A save whose result the next read would refuse is no save: the file stays as it was.
TEST(IniFileTest, ASaveIsRefusedWhenItsResultWouldBeOverOneMegabyte) {
    for (const std::size_t over : {0, 1}) {
        TTempFolder folder;
        const std::string added = "Timeout=200\n";
        const std::string header = "[Congif]\nComPort=3\n";
        const std::string before =
            header + std::string(TIniFile::MaxFileSize + over - header.size() - added.size(), ';');
        WriteBytes(folder.File("k.ini"), before);
        TIniFile ini(folder.File("k.ini"));
        try {
            ini.WriteInteger("Congif", "Timeout", 200);
            EXPECT_EQ(over, 0u);
            EXPECT_EQ(TIniFile(ini.FileName()).ReadInteger("Congif", "Timeout", 0), 200);
        } catch (const EIniFileException& e) {
            EXPECT_EQ(over, 1u);
            EXPECT_EQ(e.Message(),
                      "Unable to write to " + ini.FileName() + ": it would be larger than 1 MB");
            EXPECT_TRUE(ReadBytes(ini.FileName()) == before); // no megabyte in the report
        }
    }
}

TEST(IniFileTest, SeveralValuesAreWrittenAllOrNone) {
    TTempFolder folder;
    WriteBytes(folder.File("k.ini"), "[A]\nx=1\n");
    TIniFile ini(folder.File("k.ini"));
    EXPECT_THROW(ini.WriteValues({{"A", "x", "2"}, {"A", "y=z", "3"}}), EIniFileException);
    EXPECT_EQ(ReadBytes(ini.FileName()), "[A]\nx=1\n");
    ini.WriteValues({{"A", "x", "2"}, {"B", "y", "3"}, {"A", "z", "4"}});
    EXPECT_EQ(ReadBytes(ini.FileName()), "[A]\nx=2\nz=4\n\n[B]\ny=3\n");
    EXPECT_EQ(ini.ReadInteger("B", "y", 0), 3);
    EXPECT_EQ(folder.EntryCount(), 1u);
}

// The text in UTF-16 with its mark, from ASCII or UTF-8 text.
std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

TEST(IniFileTest, AUtf8MarkIsReadAndWrittenBack) {
    TTempFolder folder;
    const std::string mark = "\xEF\xBB\xBF";
    WriteBytes(folder.File("k.ini"), mark + "[Congif]\r\nComPort=3\r\n; \xC3\xA9t\xC3\xA9\r\n");
    TIniFile ini(folder.File("k.ini"));
    EXPECT_EQ(ini.ReadInteger("Congif", "ComPort", 1), 3);
    ini.WriteInteger("Congif", "ComPort", 4);
    EXPECT_EQ(ReadBytes(ini.FileName()), mark + "[Congif]\r\nComPort=4\r\n; \xC3\xA9t\xC3\xA9\r\n");
}

TEST(IniFileTest, Utf16FilesAreReadAndWrittenBackInTheirOwnByteOrder) {
    for (bool bigEndian : {false, true}) {
        TTempFolder folder;
        // A comment in Cyrillic, a character outside the basic plane and a lone surrogate
        // must all come back byte for byte.
        const std::u16string comment = u"; \u041D\u0430\u0441\u0442\u0440\u043E\u0439\u043A\u0438 "
                                       u"\U0001F600 ";
        const std::u16string before =
            u"[Congif]\r\nComPort=3\r\n" + comment + std::u16string(1, char16_t(0xD800)) + u"\r\n";
        WriteBytes(folder.File("k.ini"), Utf16(before, bigEndian));
        TIniFile ini(folder.File("k.ini"));
        EXPECT_EQ(ini.ReadInteger("Congif", "ComPort", 1), 3) << bigEndian;
        ini.WriteInteger("Congif", "ComPort", 12);
        ini.WriteInteger("Congif", "Timeout", 200);
        const std::u16string after = u"[Congif]\r\nComPort=12\r\nTimeout=200\r\n" + comment +
                                     std::u16string(1, char16_t(0xD800)) + u"\r\n";
        EXPECT_EQ(ReadBytes(ini.FileName()), Utf16(after, bigEndian)) << bigEndian;
        EXPECT_EQ(TIniFile(ini.FileName()).ReadInteger("Congif", "Timeout", 0), 200);

        // A value that is no UTF-8 text cannot be stored in UTF-16 and read back as written.
        EXPECT_THROW(ini.WriteString("Congif", "Name", "\xFF"), EIniFileException);
        EXPECT_EQ(ReadBytes(ini.FileName()), Utf16(after, bigEndian)) << bigEndian;
    }
}

#ifndef _WIN32
TEST(IniFileTest, WriteKeepsTheFilePermissionsAndSymbolicLinks) {
    TTempFolder folder;
    WriteBytes(folder.File("real.ini"), "[A]\nx=1\n");
    chmod(folder.File("real.ini").c_str(), 0640);
    std::filesystem::create_symlink("real.ini", folder.Path() / "link.ini");
    TIniFile ini(folder.File("link.ini"));
    ini.WriteInteger("A", "x", 2);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.Path() / "link.ini"));
    EXPECT_EQ(ReadBytes(folder.File("real.ini")), "[A]\nx=2\n");
    struct stat info {};
    ASSERT_EQ(stat(folder.File("real.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(IniFileTest, NewFileGetsTheUsualPermissions) {
    TTempFolder folder;
    const mode_t mask = umask(022);
    TIniFile(folder.File("k.ini")).WriteInteger("A", "x", 1);
    umask(mask);
    struct stat info {};
    ASSERT_EQ(stat(folder.File("k.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}
#endif

} // namespace
