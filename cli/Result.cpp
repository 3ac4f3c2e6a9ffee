#include "cli/Result.h"

#include "cli/Figures.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>

namespace {

std::string TargetName(const TResult& result) {
    if (result.Optohead)
        return "optohead";
    char text[8];
    std::snprintf(text, sizeof text, "%02d", result.Address.value_or(0));
    return text;
}

// The take-over as the clock synchronisation names it: a code, a colon and a sentence.
std::string TakeOverCode(const std::string& takeOver) {
    return takeOver.substr(0, takeOver.find(':'));
}

std::string TakeOverSentence(const std::string& takeOver) {
    const std::size_t colon = takeOver.find(": ");
    return colon == std::string::npos ? takeOver : takeOver.substr(colon + 2);
}

const char* PcClockCode(TPcClockStatus::TState state) {
    switch (state) {
    case TPcClockStatus::TState::Synchronised:
        return "synchronised";
    case TPcClockStatus::TState::NotSynchronised:
        return "not-synchronised";
    case TPcClockStatus::TState::NotChecked:
        break;
    }
    return "not-checked";
}

nlohmann::ordered_json ToJson(const TResult& result) {
    using TJson = nlohmann::ordered_json;
    const auto orNull = [](const auto& value) {
        return value ? TJson(*value) : TJson(nullptr);
    };
    const auto textOrNull = [](const std::string& text) {
        return text.empty() ? TJson(nullptr) : TJson(text);
    };
    const auto timeOrNull = [](const std::optional<TDateTime>& time, bool milliseconds) {
        return time ? TJson(IsoLocalTime(*time, milliseconds)) : TJson(nullptr);
    };
    TJson line;
    line["schema"] = JsonSchema;
    line["command"] = textOrNull(result.Command);
    line["port"] = result.PortUsed ? textOrNull(result.PortUsed->Port) : TJson(nullptr);
    line["device"] = result.PortUsed ? textOrNull(result.PortUsed->Device) : TJson(nullptr);
    line["baud"] = result.PortUsed ? TJson(result.PortUsed->BaudRate) : TJson(nullptr);
    line["address"] = orNull(result.Address);
    line["optohead"] = result.Optohead;
    line["success"] = result.Success;
    line["error"] = result.Success ? TJson(nullptr) : TJson(result.Error);
    line["answered"] = orNull(result.Answered);
    line["meter_time"] = timeOrNull(result.MeterTime, false);
    line["pc_time"] = timeOrNull(result.PcTime, true);
    line["offset_ms"] = orNull(result.OffsetMs);
    line["uncertainty_ms"] = orNull(result.UncertaintyMs);
    line["reads"] = orNull(result.Reads);
    line["widened_reads"] = orNull(result.WidenedReads);
    std::string message = result.Text;
    if (result.Command == "sync") {
        line["offset_before_ms"] = orNull(result.OffsetBeforeMs);
        line["uncertainty_before_ms"] = orNull(result.UncertaintyBeforeMs);
        line["max_offset_ms"] = orNull(result.MaxOffsetMs);
        line["takeover"] = textOrNull(TakeOverCode(result.TakeOver));
        line["pc_clock"] =
            result.PcClockState ? TJson(PcClockCode(*result.PcClockState)) : TJson(nullptr);
        if (!result.TakeOver.empty())
            message = TakeOverSentence(result.TakeOver);
    }
    line["message"] = result.Success ? textOrNull(message) : TJson(nullptr);
    line["elapsed_ms"] = std::llround(result.ElapsedMs);
    return line;
}

// A measured offset with its uncertainty, "+1226 ms ± 9 ms".
std::string Measured(std::int64_t offsetMs, std::int64_t uncertaintyMs) {
    return OffsetText(offsetMs, uncertaintyMs, false);
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

// The details of a result that succeeded, after the target and "OK".
std::string Details(const TResult& result) {
    const bool measured = result.UncertaintyMs.has_value() && result.OffsetMs.has_value();
    if (result.Command == "offset" && measured)
        return "offset " + Measured(*result.OffsetMs, *result.UncertaintyMs) + "  (" +
               std::to_string(result.Reads.value_or(0)) + " reads" +
               (Untimed(result).empty() ? "" : "; " + Untimed(result)) + ")";
    if (result.Command == "read" && result.MeterTime && result.PcTime && measured)
        return FormatDateTime("dd.mm.yyyy hh:nn:ss", *result.MeterTime) + "  PC " +
               FormatDateTime("dd.mm.yyyy hh:nn:ss.zzz", *result.PcTime) + "  offset " +
               OffsetText(*result.OffsetMs, *result.UncertaintyMs, !result.Reads.has_value()) +
               InParentheses(Untimed(result));
    if (result.Command == "sync" && result.MeterTime && measured && result.OffsetBeforeMs &&
        result.UncertaintyBeforeMs)
        return "set to " + FormatDateTime("dd.mm.yyyy hh:nn:ss", *result.MeterTime) + "  before " +
               Measured(*result.OffsetBeforeMs, *result.UncertaintyBeforeMs) + "  after " +
               Measured(*result.OffsetMs, *result.UncertaintyMs) + Limit(result) +
               InParentheses(Untimed(result)) + "  " + TakeOverSentence(result.TakeOver);
    if (result.MeterTime)
        return "set to " + FormatDateTime("dd.mm.yyyy hh:nn:ss", *result.MeterTime);
    return result.Text;
}

std::string TableLine(const TResult& result) {
    // The status in a column of its own, as wide as its widest word.
    const std::string line = TargetName(result) + (result.Success ? "  OK      " : "  FAILED  ");
    return line + (result.Success ? Details(result) : result.Error);
}

} // namespace

std::string PortText(const TPortUsed& port) {
    // COM n alone where the device is what the system calls it (Windows: \\.\COM1).
    const bool plain = port.Device == port.Port || port.Device == "\\\\.\\" + port.Port;
    const std::string name = port.Port.empty() ? port.Device
                             : plain           ? port.Port
                                               : port.Port + " (" + port.Device + ")";
    return name + ", " + std::to_string(port.BaudRate) + " baud";
}

void TResultWriter::WriteHeader(const TPortUsed& port, bool optohead) const {
    if (!FJson)
        std::cout << "Port " << PortText(port) << (optohead ? " (optical head)\n" : "\n");
}

void TResultWriter::Write(const TResult& result) const {
    if (FJson)
        std::cout << ToJson(result).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    else
        std::cout << TableLine(result);
    // Each result as soon as it is known: a script reading the output follows the batch.
    std::cout << std::endl;
}

void TResultWriter::WriteRefusal(const std::string& command, const std::string& message,
                                 const std::optional<TPortUsed>& port) const {
    if (!FJson)
        return;
    TResult refusal;
    refusal.Command = command;
    refusal.PortUsed = port;
    refusal.Error = message;
    Write(refusal);
}
