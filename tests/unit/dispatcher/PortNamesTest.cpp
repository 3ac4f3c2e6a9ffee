#include "comm/PortNames.h"

#include <gtest/gtest.h>

#include <climits>

#ifndef _WIN32
TEST(PortNamesTest, ComPortsMapToTheirDeviceOrToTheDefaultSerialDevice) {
    const TPortMap map{{3, "/dev/ttyUSB0"}};
    const struct {
        std::int32_t port;
        const char* path;
    } cases[] = {
        {1, "/dev/ttyS0"},
        {2, "/dev/ttyS1"},
        {3, "/dev/ttyUSB0"},
        {0, "/dev/ttyS-1"},
        {INT_MIN, "/dev/ttyS-2147483649"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortDevicePath(c.port, map), c.path) << c.port;
    EXPECT_EQ(PortDevicePath(3), "/dev/ttyS2");
}
#endif

#ifndef _WIN32
// kestro --port /dev/... names the port in messages by the COM n that leads to the device.
TEST(PortNamesTest, ADeviceIsNamedByTheComPortThatLeadsToIt) {
    const TPortMap map{{3, "/dev/ttyUSB0"}, {1, "/dev/ttyACM0"}};
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyUSB0", map), 3);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyACM0", map), 1);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS1", map), 2);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS0", map), 0); // COM1 leads elsewhere
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS2", map), 0); // so does COM3
    for (const char* other : {"/dev/ttySx", "/dev/ttyS", "/dev/ttyS-1", "/dev/ttyS+1", "/dev/null"})
        EXPECT_EQ(PortNumberOfDevice(other, map), 0) << other;
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS0"), 1);
}
#else
TEST(PortNamesTest, ADeviceIsNamedByItsComNumber) {
    EXPECT_EQ(PortNumberOfDevice("\\\\.\\COM12"), 12);
    EXPECT_EQ(PortNumberOfDevice("com3"), 3);
    EXPECT_EQ(PortNumberOfDevice("\\\\.\\pipe\\x"), 0);
}
#endif

// The one reader of "COM<n>": the settings file's keys, --port and the Windows device names.
TEST(PortNamesTest, ComPortNamesAreReadOnlyInTheirOneForm) {
    const struct {
        const char* text;
        std::int32_t port;
    } cases[] = {
        {"COM1", 1},  {"com12", 12},     {"Com007", 7},        {"COM2147483647", INT_MAX},
        {"COM0", 0},  {"COM", 0},        {"COM2147483648", 0}, {"COM99999999999", 0},
        {"COM1 ", 0}, {" COM1", 0},      {"COM-1", 0},         {"COM+1", 0},
        {"CON1", 0},  {"/dev/ttyS0", 0}, {"COM1a", 0},         {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComPortNumber(c.text), c.port) << c.text;
}
