#include "cli/Commands.h"

#include "cli/Result.h"
#include "comm/PortNames.h"
#include "comm/SerialPortList.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iostream>
#include <set>

namespace {

struct TPortLine {
    std::string Device;
    std::int32_t ComPort = 0; // 0: no COM n leads here
    std::string LeadsTo;
    bool Present = true;
};

std::string ComName(std::int32_t port) {
    return port > 0 ? "COM" + std::to_string(port) : "";
}

void Print(const TPortLine& line, bool json) {
    if (json) {
        nlohmann::ordered_json object;
        object["schema"] = JsonSchema;
        object["device"] = line.Device;
        object["port"] = line.ComPort > 0 ? nlohmann::ordered_json(ComName(line.ComPort))
                                          : nlohmann::ordered_json(nullptr);
        object["leads_to"] = line.LeadsTo.empty() ? nlohmann::ordered_json(nullptr)
                                                  : nlohmann::ordered_json(line.LeadsTo);
        object["present"] = line.Present;
        std::cout << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        return;
    }
    std::string text = line.Device;
    if (!line.LeadsTo.empty())
        text += " -> " + line.LeadsTo;
    if (line.ComPort > 0)
        text += "  (" + ComName(line.ComPort) + ")";
    if (!line.Present)
        text += "  missing";
    std::cout << text << '\n';
}

} // namespace

int RunPortsCommand(const TCliOptions& options, const TStoredSettings& stored) {
    std::vector<TPortLine> lines;
    std::set<std::string> listed;
    for (const TSerialPortInfo& port : ListSerialPorts()) {
        lines.push_back(
            {port.Device, PortNumberOfDevice(port.Device, stored.Ports), port.LeadsTo, true});
        listed.insert(port.Device);
    }
    // The settings file's map: every COM n it names, also where the device is no serial port
    // of the usual names (a virtual meter's link) or is missing.
    for (const auto& [port, device] : stored.Ports) {
        if (listed.count(device) != 0)
            continue;
        std::error_code error;
        const bool present = std::filesystem::exists(device, error);
        std::string leadsTo;
        if (present && std::filesystem::is_symlink(device, error))
            leadsTo = std::filesystem::canonical(device, error).string();
        lines.push_back({device, port, leadsTo, present});
    }
    for (const TPortLine& line : lines)
        Print(line, options.Json);
    if (lines.empty() && !options.Json)
        std::cerr << "kestro: no serial ports found\n";
    return 0;
}
