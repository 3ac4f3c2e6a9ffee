// The Config dialog's fill and read-back rules, which every window's dialog applies.
#include "app/ConfigFields.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

struct TRoundTrip {
    const char* Name;
    TSettings Stored;
    int PortIndex;     // what the port list shows
    int BaudIndex;     // what the speed list shows
    TSettings AfterOk; // OK with the fields left as shown
};

// The speed list's text when it shows entry `index` (empty for none).
std::string ShownBaud(int index) {
    return index < 0 ? std::string() : std::string(ConfigBaudEntries[index]);
}

class ConfigFieldsTest : public ::testing::TestWithParam<TRoundTrip> {};

TEST_P(ConfigFieldsTest, OkWithTheFieldsAsShownGivesTheseSettings) {
    const TRoundTrip& c = GetParam();
    EXPECT_EQ(ConfigPortIndex(c.Stored.ComPort), c.PortIndex);
    EXPECT_EQ(ConfigBaudIndex(c.Stored.BaudRate), c.BaudIndex);
    const TSettings got =
        ConfigSettingsFromFields(c.PortIndex, ShownBaud(c.BaudIndex), c.Stored.Timeout);
    EXPECT_EQ(got.ComPort, c.AfterOk.ComPort);
    EXPECT_EQ(got.BaudRate, c.AfterOk.BaudRate);
    EXPECT_EQ(got.Timeout, c.AfterOk.Timeout);
}

constexpr std::int32_t IntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t IntMin = std::numeric_limits<std::int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Settings, ConfigFieldsTest,
    ::testing::Values(TRoundTrip{"Listed", {2, 4800, 500}, 1, 0, {2, 4800, 500}},
                      TRoundTrip{"Defaults", {1, 9600, 200}, 0, 1, {1, 9600, 200}},
                      TRoundTrip{"LastPort", {4, 9600, 2000}, 3, 1, {4, 9600, 2000}},
                      TRoundTrip{"PortZero", {0, 9600, 200}, -1, 1, {1, 9600, 200}},
                      TRoundTrip{"PortBeyondList", {5, 9600, 200}, -1, 1, {1, 9600, 200}},
                      TRoundTrip{"PortExtremes", {IntMin, 9600, 200}, -1, 1, {1, 9600, 200}},
                      TRoundTrip{"PortMax", {IntMax, 9600, 200}, -1, 1, {1, 9600, 200}},
                      TRoundTrip{"UnlistedSpeed", {1, 19200, 200}, 0, -1, {1, 9600, 200}},
                      TRoundTrip{"TimeoutAboveField", {1, 9600, 5000}, 0, 1, {1, 9600, 200}},
                      TRoundTrip{"TimeoutBelowFieldKept", {1, 9600, 50}, 0, 1, {1, 9600, 50}},
                      TRoundTrip{"TimeoutOne", {1, 9600, 1}, 0, 1, {1, 9600, 1}},
                      TRoundTrip{"TimeoutZero", {1, 9600, 0}, 0, 1, {1, 9600, 200}},
                      TRoundTrip{"TimeoutNegative", {1, 9600, -5}, 0, 1, {1, 9600, 200}}),
    [](const ::testing::TestParamInfo<TRoundTrip>& info) { return std::string(info.param.Name); });

TEST(ConfigFields, ASpeedChosenFromTheListIsTakenAsItsText) {
    for (std::size_t i = 0; i < ConfigBaudEntries.size(); ++i) {
        const TSettings got = ConfigSettingsFromFields(0, ConfigBaudEntries[i], 200);
        EXPECT_EQ(ConfigBaudIndex(got.BaudRate), static_cast<int>(i));
    }
}

} // namespace
