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
