#pragma once

#include "MeterLog.h"

#include "comm/uCommDispatcher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The ports scripts/test-windows.sh maps to virtual meters before it runs the tests. Without
// them the tests that need a port skip: these programs never open a port nobody mapped, so
// they cannot touch a real device.
namespace wintest {

// COM port of a virtual meter with meter 05 on the bus and meter 07 under the optical head.
inline constexpr const char* MeterPortVar = "KESTRO_WIN_TEST_COM";
// That meter's request log, as a Windows path.
inline constexpr const char* MeterLogVar = "KESTRO_WIN_TEST_METER_LOG";
// COM port mapped to a device that does not exist.
inline constexpr const char* MissingPortVar = "KESTRO_WIN_TEST_MISSING_COM";
// COM port of a virtual meter 05 that drops the line on the first request it hears.
inline constexpr const char* DropPortVar = "KESTRO_WIN_TEST_DROP_COM";

std::optional<std::int32_t> PortFromEnv(const char* name);
std::string TextFromEnv(const char* name);

// A request frame built here, apart from the engine's encoder: "#", body, "*", the XOR of the
// body as two upper-case hex digits, CR.
std::string RequestFrame(const std::string& body);

// Reads bytes until a CR or until `milliseconds` pass; returns what came, CR included.
std::string ReadLine(TCommDispatcher& dispatcher, std::uint32_t milliseconds);

// A test on the mapped meter port: skips without the mapping, otherwise sets the English texts,
// points the channel at the port and notes where the meter's log stands when the test begins.
class TMeterPortTest : public ::testing::Test {
protected:
    void SetUp() override;

    // Requests the meter heard since the test began, once `count` of them are logged.
    std::vector<TMeterLogEntry> HeardSinceStart(std::size_t count) const {
        return AwaitMeterLog(LogPath, LogStart, count);
    }

    std::int32_t Port = 0;
    std::string LogPath;
    std::size_t LogStart = 0;
    TCommDispatcher Dispatcher;
};

} // namespace wintest
