#include "comm/PortNames.h"

#include <gtest/gtest.h>

#include <climits>

#ifndef _WIN32
TEST(PortNamesTest, ComPortsMapToTheirDeviceOrToTheDefaultSerialDevice) {
    SetPortMap({{3, "/dev/ttyUSB0"}});
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
        EXPECT_EQ(PortDevicePath(c.port), c.path) << c.port;

    SetPortMap({});
    EXPECT_EQ(PortDevicePath(3), "/dev/ttyS2");
}
#endif

#ifndef _WIN32
// kestro --port /dev/... names the port in messages by the COM n that leads to the device.
TEST(PortNamesTest, ADeviceIsNamedByTheComPortThatLeadsToIt) {
    SetPortMap({{3, "/dev/ttyUSB0"}, {1, "/dev/ttyACM0"}});
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyUSB0"), 3);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyACM0"), 1);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS1"), 2);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS0"), 0); // COM1 leads elsewhere
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS2"), 0); // so does COM3
    EXPECT_EQ(PortNumberOfDevice("/dev/ttySx"), 0);
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS"), 0);
    EXPECT_EQ(PortNumberOfDevice("/dev/null"), 0);
    SetPortMap({});
    EXPECT_EQ(PortNumberOfDevice("/dev/ttyS0"), 1);
}
#else
TEST(PortNamesTest, ADeviceIsNamedByItsComNumber) {
    EXPECT_EQ(PortNumberOfDevice("\\\\.\\COM12"), 12);
    EXPECT_EQ(PortNumberOfDevice("com3"), 3);
    EXPECT_EQ(PortNumberOfDevice("\\\\.\\pipe\\x"), 0);
}
#endif
