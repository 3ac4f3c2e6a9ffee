#include "cli/Result.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>

namespace {

std::string IsoTime(TDateTime value, bool milliseconds) {
    return FormatDateTime(milliseconds ? "yyyy-mm-ddThh:nn:ss.zzz" : "yyyy-mm-ddThh:nn:ss", value);
}

std::string TargetName(const TResult& result) {
    if (result.Optohead)
        return "optohead";
    char text[8];
    std::snprintf(text, sizeof text, "%02d", result.Address.value_or(0));
    return text;
}

std::string SignedSeconds(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.3f s", static_cast<double>(ms) / 1000.0);
    return text;
}

nlohmann::ordered_json ToJson(const TResult& result) {
    nlohmann::ordered_json line;
    const auto orNull = [](const auto& value) {
        return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
    };
    line["command"] = result.Command;
    line["address"] = orNull(result.Address);
    line["optohead"] = result.Optohead;
    line["success"] = result.Success;
    line["error"] =
        result.Success ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(result.Error);
    line["answered"] = orNull(result.Answered);
    line["meter_time"] = result.MeterTime
                             ? nlohmann::ordered_json(IsoTime(*result.MeterTime, false))
                             : nlohmann::ordered_json(nullptr);
    line["pc_time"] = result.PcTime ? nlohmann::ordered_json(IsoTime(*result.PcTime, true))
                                    : nlohmann::ordered_json(nullptr);
    line["offset_ms"] = orNull(result.OffsetMs);
    line["elapsed_ms"] = std::llround(result.ElapsedMs);
    return line;
}

std::string TableLine(const TResult& result) {
    std::string line = TargetName(result) + "  ";
    if (!result.Success)
        return line + "FAILED  " + result.Error;
    line += "OK  ";
    if (result.Command == "read" && result.MeterTime && result.PcTime && result.OffsetMs)
        return line + FormatDateTime("dd.mm.yyyy hh:nn:ss", *result.MeterTime) + "  PC " +
               FormatDateTime("dd.mm.yyyy hh:nn:ss.zzz", *result.PcTime) + "  offset " +
               SignedSeconds(*result.OffsetMs);
    if (result.MeterTime)
        return line + "set to " + FormatDateTime("dd.mm.yyyy hh:nn:ss", *result.MeterTime);
    return line + result.Text;
}

} // namespace

void TResultWriter::Write(const TResult& result) const {
    if (FJson)
        std::cout << ToJson(result).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    else
        std::cout << TableLine(result);
    // Each result as soon as it is known: a script reading the output follows the batch.
    std::cout << std::endl;
}

std::int64_t OffsetMs(TDateTime meter, TDateTime pc) {
    return std::llround((meter - pc) * 86400000.0);
}
