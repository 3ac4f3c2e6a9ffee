#include "WinTestSupport.h"

#include "app/uGlobals.h"

#include "comm/uCommKestro.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace wintest {

std::optional<std::int32_t> PortFromEnv(const char* name) {
    const std::string text = TextFromEnv(name);
    if (text.empty())
        return std::nullopt;
    try {
        return std::stoi(text);
    } catch (const std::logic_error&) {
        return std::nullopt;
    }
}

std::string TextFromEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string RequestFrame(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body)
        sum ^= static_cast<unsigned char>(c);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", sum);
    return "#" + body + "*" + digits + "\r";
}

std::string ReadLine(TCommDispatcher& dispatcher, std::uint32_t milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    std::string line;
    for (;;) {
        char c = 0;
        if (dispatcher.ReadChar(c)) {
            line += c;
            if (c == '\r')
                return line;
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !dispatcher.WaitForInput(static_cast<std::uint32_t>(left.count())))
            return line;
    }
}

void TMeterPortTest::SetUp() {
    const auto port = PortFromEnv(MeterPortVar);
    if (!port)
        GTEST_SKIP() << MeterPortVar << " is not set: no COM port is mapped to a virtual meter";
    SetEnglishMessages();
    Port = *port;
    LogPath = TextFromEnv(MeterLogVar);
    LogStart = ReadMeterLog(LogPath).size();
    Dispatcher.SetPort(Port);
}

} // namespace wintest
