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
    line["uncertainty_ms"] = orNull(result.UncertaintyMs);
    line["reads"] = orNull(result.Reads);
    line["widened_reads"] = orNull(result.WidenedReads);
    if (result.Command == "sync") {
        line["offset_before_ms"] = orNull(result.OffsetBeforeMs);
        line["uncertainty_before_ms"] = orNull(result.UncertaintyBeforeMs);
        line["max_offset_ms"] = orNull(result.MaxOffsetMs);
        line["takeover"] = result.TakeOver.empty() ? nlohmann::ordered_json(nullptr)
                                                   : nlohmann::ordered_json(result.TakeOver);
        line["pc_clock"] = result.PcClock.empty() ? nlohmann::ordered_json(nullptr)
                                                  : nlohmann::ordered_json(result.PcClock);
    }
    line["elapsed_ms"] = std::llround(result.ElapsedMs);
    return line;
}

// "+123 ms +- 9 ms" for a measured offset.
std::string Measured(std::int64_t offsetMs, std::int64_t uncertaintyMs) {
    char text[64];
    std::snprintf(text, sizeof text, "%+lld ms +- %lld ms", static_cast<long long>(offsetMs),
                  static_cast<long long>(uncertaintyMs));
    return text;
}

// Said, not hidden: replies came sooner than the line's speed allows, so each read counted
// with its whole exchange. Empty on a line that keeps its timing.
std::string Untimed(const TResult& result) {
    return result.WidenedReads.value_or(0) > 0
               ? "no line timing: reads counted from request to reply"
               : std::string();
}

std::string InParentheses(const std::string& text) {
    return text.empty() ? text : " (" + text + ")";
}

// " (limit 50 ms)", or when the measurement could not tell so closely, the limit it could.
std::string Limit(const TResult& result) {
    if (!result.MaxOffsetMs)
        return {};
    return " (limit " + std::to_string(*result.MaxOffsetMs) + " ms" +
           (result.LimitIsUncertainty ? ": the measured uncertainty)" : ")");
}

std::string TableLine(const TResult& result) {
    std::string line = TargetName(result) + "  ";
    if (!result.Success)
        return line + "FAILED  " + result.Error;
    line += "OK  ";
    const bool measured = result.UncertaintyMs.has_value() && result.OffsetMs.has_value();
    if (result.Command == "offset" && measured)
        return line + "offset " + Measured(*result.OffsetMs, *result.UncertaintyMs) + " (" +
               std::to_string(result.Reads.value_or(0)) + " reads" +
               (Untimed(result).empty() ? "" : "; " + Untimed(result)) + ")";
    if (result.Command == "read" && result.MeterTime && result.PcTime && result.OffsetMs)
        return line + FormatDateTime("dd.mm.yyyy hh:nn:ss", *result.MeterTime) + "  PC " +
               FormatDateTime("dd.mm.yyyy hh:nn:ss.zzz", *result.PcTime) + "  offset " +
               (measured ? Measured(*result.OffsetMs, *result.UncertaintyMs) +
                               InParentheses(Untimed(result))
                         : SignedSeconds(*result.OffsetMs));
    if (result.Command == "sync" && result.MeterTime && measured && result.OffsetBeforeMs &&
        result.UncertaintyBeforeMs)
        return line + "set to " + FormatDateTime("dd.mm.yyyy hh:nn:ss", *result.MeterTime) +
               "  before " + Measured(*result.OffsetBeforeMs, *result.UncertaintyBeforeMs) +
               ", after " + Measured(*result.OffsetMs, *result.UncertaintyMs) + Limit(result) +
               InParentheses(Untimed(result)) + "  " + result.TakeOver;
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
