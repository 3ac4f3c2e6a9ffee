#include "comm/Win32CommSettings.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Win32CommSettingsTest, TimeoutsMakeReadsReturnAtOnceAndBoundWrites) {
    for (std::uint32_t writeTimeout : {200u, 2000u}) {
        const TCommTimeoutsImage t = MakeCommTimeouts(writeTimeout);
        EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
        EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(t.WriteTotalTimeoutConstant, writeTimeout);
    }
}

TEST(Win32CommSettingsTest, LineModeOverwritesOnlyTheLineSettings) {
    // What a driver might report: every flag set, odd framing, special characters in place.
    TDcbImage dcb;
    std::memset(&dcb, 0xA5, sizeof dcb);
    dcb.DCBlength = kDcbLength;
    dcb.Flags = 0xFFFFFFFFu;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    const TDcbImage reported = dcb;

    ApplyLineMode(dcb, 300);

    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 300u);
    EXPECT_EQ(dcb.Flags, 0x11u); // fBinary, fDtrControl = DTR_CONTROL_ENABLE, all else off
    EXPECT_EQ(dcb.XonLim, 0u);
    EXPECT_EQ(dcb.XoffLim, 768u);
    EXPECT_EQ(dcb.ByteSize, 8u);
    EXPECT_EQ(dcb.Parity, 0u);
    EXPECT_EQ(dcb.StopBits, 0u);
    EXPECT_EQ(dcb.wReserved, reported.wReserved);
    EXPECT_EQ(dcb.XonChar, reported.XonChar);
    EXPECT_EQ(dcb.XoffChar, reported.XoffChar);
    EXPECT_EQ(dcb.ErrorChar, reported.ErrorChar);
    EXPECT_EQ(dcb.EofChar, reported.EofChar);
    EXPECT_EQ(dcb.EvtChar, reported.EvtChar);
    EXPECT_EQ(dcb.wReserved1, reported.wReserved1);
}

TEST(Win32CommSettingsTest, SpeedGoesToTheDriverUnchanged) {
    TDcbImage dcb{};
    ApplyLineMode(dcb, -1);
    EXPECT_EQ(dcb.BaudRate, 0xFFFFFFFFu);
}

TEST(Win32CommSettingsTest, DevicePathNamesTheComPort) {
    EXPECT_EQ(Win32PortDevicePath(3), "\\\\.\\COM3");
    EXPECT_EQ(Win32PortDevicePath(12), "\\\\.\\COM12");
}
