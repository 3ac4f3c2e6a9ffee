#include "tests/support/TempFolder.h"

#include "app/uGlobals.h"
#include "comm/PortNames.h"
#include "runtime/Exception.h"
#include "runtime/IniFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <tuple>

namespace {

class SettingsFile : public ::testing::Test {
protected:
    std::tuple<std::int32_t, std::int32_t, std::int32_t> Settings() const {
        const TSettings s = LoadConfigFrom(FIni).Settings;
        return {s.ComPort, s.BaudRate, s.Timeout};
    }

    TTempFolder FFolder;
    const std::string FIni = FFolder.File("Kestro4SetClock.ini");
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndCreatesNothing) {
    EXPECT_EQ(Settings(), std::make_tuple(1, 9600, 200));
    EXPECT_FALSE(std::filesystem::exists(FIni));
}

TEST_F(SettingsFile, SectionSpelledConfigIsNotRead) {
    WriteBytes(FIni, "[Config]\nComPort=3\nBaudRate=4800\nTimeout=500\n");
    EXPECT_EQ(Settings(), std::make_tuple(1, 9600, 200));
}

struct TValueCase {
    const char* Text;
    std::int32_t ExpectedPort; // defaults: ComPort 1, BaudRate 9600, Timeout 200
    std::int32_t ExpectedBaud;
    std::int32_t ExpectedTimeout;
};

void PrintTo(const TValueCase& c, std::ostream* os) {
    *os << '"' << c.Text << '"';
}

class SettingsValues : public SettingsFile, public ::testing::WithParamInterface<TValueCase> {};

// Each value goes into all three keys; the other keys must not be disturbed by a bad one.
TEST_P(SettingsValues, ReadLeniently) {
    const TValueCase& c = GetParam();
    const std::string v = c.Text;
    WriteBytes(FIni, "[Congif]\nComPort=" + v + "\nBaudRate=" + v + "\nTimeout=" + v + "\n");
    EXPECT_EQ(Settings(), std::make_tuple(c.ExpectedPort, c.ExpectedBaud, c.ExpectedTimeout));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsValues,
    ::testing::Values(TValueCase{"abc", 1, 9600, 200}, TValueCase{"", 1, 9600, 200},
                      TValueCase{"0x1F4", 500, 500, 500}, TValueCase{"$C8", 200, 200, 200},
                      TValueCase{" 3", 3, 3, 3}, TValueCase{"0", 0, 0, 0}, TValueCase{"9", 9, 9, 9},
                      TValueCase{"-5", -5, -5, -5}, TValueCase{"12ab", 1, 9600, 200}));

TEST_F(SettingsFile, BadValueLeavesOtherKeysAlone) {
    WriteBytes(FIni, "[congif]\ncomport=abc\nBAUDRATE=4800\nTimeout=\n");
    EXPECT_EQ(Settings(), std::make_tuple(1, 4800, 200));
}

TEST_F(SettingsFile, SaveCreatesSectionWithThreeDecimalKeys) {
    SaveConfigTo(FIni, {2, 4800, -1});
    const std::string content = ReadBytes(FIni);
    EXPECT_NE(content.find("[Congif]"), std::string::npos) << content;
    EXPECT_NE(content.find("ComPort=2"), std::string::npos) << content;
    EXPECT_NE(content.find("BaudRate=4800"), std::string::npos) << content;
    EXPECT_NE(content.find("Timeout=-1"), std::string::npos) << content;

    EXPECT_EQ(Settings(), std::make_tuple(2, 4800, -1));
}

TEST_F(SettingsFile, SaveKeepsCommentsOtherSectionsAndPorts) {
    WriteBytes(FIni, "; settings of the clock tool\n"
                     "[Ports]\nCOM1=/dev/ttyUSB0\n"
                     "[Congif]\nComPort=0x3\nBaudRate=9600\nTimeout=200\n"
                     "[Other]\nKey=Value\n");
    SaveConfigTo(FIni, {3, 9600, 200}); // unchanged values are written as well, in decimal
    const std::string content = ReadBytes(FIni);
    for (const char* kept : {"; settings of the clock tool", "[Ports]", "COM1=/dev/ttyUSB0",
                             "[Other]", "Key=Value", "ComPort=3", "BaudRate=9600", "Timeout=200"})
        EXPECT_NE(content.find(kept), std::string::npos) << kept << " missing in\n" << content;
    EXPECT_EQ(content.find("0x3"), std::string::npos) << content;
}

TEST_F(SettingsFile, UnwritableFileRaisesWithItsPath) {
    const std::string notAFolder = FFolder.File("plain-file");
    WriteBytes(notAFolder, "x");
    const std::string ini = notAFolder + "/Kestro4SetClock.ini";
    try {
        SaveConfigTo(ini, {1, 9600, 200});
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + ini);
    }
}

// The three keys go in with one replace: when they do not fit under the size every read takes,
// none of them is saved and the file stays as it was.
TEST_F(SettingsFile, ASaveThatWouldNotFitLeavesTheFileAsItWas) {
    const std::string header = "[Congif]\n";
    const std::string before =
        header + std::string(TIniFile::MaxFileSize - header.size() - 20, ';') + "\n";
    WriteBytes(FIni, before);
    try {
        SaveConfigTo(FIni, {1, 9600, 200});
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + FIni + ": it would be larger than 1 MB");
    }
    EXPECT_TRUE(ReadBytes(FIni) == before); // no megabyte in the report
    EXPECT_EQ(FFolder.EntryCount(), 1u);
}

// The trace file comes from the settings file or, first, from KESTRO_TRACE; a later file
// without the section turns the trace off, and saving never writes the section.
TEST_F(SettingsFile, TraceFileIsReadNeverWrittenAndTheEnvironmentWins) {
    WriteBytes(FIni, "[Trace]\nFile = /var/log/kestro trace.log \n[Congif]\nComPort=2\n");
    const TStoredSettings stored = LoadConfigFrom(FIni);
    EXPECT_EQ(stored.TraceFile, "/var/log/kestro trace.log");
    EXPECT_EQ(TraceFileName(stored), "/var/log/kestro trace.log");
#ifdef _WIN32
    _putenv_s("KESTRO_TRACE", "-");
#else
    ::setenv("KESTRO_TRACE", "-", 1);
#endif
    EXPECT_EQ(TraceFileName(stored), "-");
#ifdef _WIN32
    _putenv_s("KESTRO_TRACE", "");
#else
    ::unsetenv("KESTRO_TRACE");
#endif
    SaveConfigTo(FIni, stored.Settings);
    EXPECT_EQ(ReadBytes(FIni).find("[Trace]"), 0u); // kept as it was, not added to

    WriteBytes(FIni, "[Congif]\nComPort=1\n");
    EXPECT_EQ(TraceFileName(LoadConfigFrom(FIni)), "");
    SaveConfigTo(FIni, {});
    EXPECT_EQ(ReadBytes(FIni).find("Trace"), std::string::npos);
}

#ifndef _WIN32
TEST_F(SettingsFile, PortsSectionMapsPortsToDevices) {
    WriteBytes(FIni, "[Ports]\n"
                     "COM1=/dev/ttyUSB0\n"
                     "com3 = /dev/serial/by-id/usb-FTDI\n"
                     "COM0=/dev/zero-port\n"
                     "COM=/dev/no-number\n"
                     "COMx2=/dev/bad\n"
                     "Port4=/dev/bad\n"
                     "COM2=\n"
                     "COM99999999999=/dev/overflow\n");
    const TPortMap ports = LoadConfigFrom(FIni).Ports;
    EXPECT_EQ(ports, (TPortMap{{1, "/dev/ttyUSB0"}, {3, "/dev/serial/by-id/usb-FTDI"}}));
    EXPECT_EQ(PortDevicePath(2, ports), "/dev/ttyS1"); // empty path: not mapped
    EXPECT_EQ(PortDevicePath(4, ports), "/dev/ttyS3");
}

#endif

TEST(PortMapFromSection, FirstEntryOfAPortCounts) {
    const auto map = PortMapFromSection({{"COM2", "/dev/a"}, {"Com02", "/dev/b"}});
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at(2), "/dev/a");
}

TEST(ConfigFileName, IsTheExecutableWithIniExtension) {
    const std::filesystem::path name = ConfigFileName();
    EXPECT_EQ(name.filename(), "settings_tests.ini");
    EXPECT_TRUE(name.is_absolute());
}

} // namespace
