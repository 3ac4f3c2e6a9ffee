#include "app/ConfigFields.h"

#include "runtime/SysUtils.h"

#include <string>

namespace {

template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& entries, std::string_view text) {
    for (std::size_t i = 0; i < N; ++i)
        if (entries[i] == text)
            return static_cast<int>(i);
    return -1;
}

} // namespace

int ConfigPortIndex(std::int32_t comPort) {
    return IndexOf(ConfigPortEntries, "COM" + std::to_string(comPort));
}

int ConfigBaudIndex(std::int32_t baudRate) {
    return IndexOf(ConfigBaudEntries, std::to_string(baudRate));
}

TSettings ConfigSettingsFromFields(int portIndex, std::string_view baudText, int timeout) {
    const TSettings defaults;
    TSettings settings;
    const bool listed = portIndex >= 0 && portIndex < static_cast<int>(ConfigPortEntries.size());
    settings.ComPort = listed ? portIndex + 1 : defaults.ComPort;
    settings.BaudRate = StrToIntDef(baudText, defaults.BaudRate);
    settings.Timeout = timeout >= 1 && timeout <= ConfigTimeoutMax ? timeout : defaults.Timeout;
    return settings;
}
