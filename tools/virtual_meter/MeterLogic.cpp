#include "MeterLogic.h"

#include <algorithm>

namespace vmeter {

namespace {

constexpr int OptoBaudRate = 300;

std::string AddressText(int addr) {
    return {static_cast<char>('0' + addr / 10), static_cast<char>('0' + addr % 10)};
}

std::string AnswerWith(int addr, char object, const std::string& data) {
    std::string body = "A" + AddressText(addr) + object;
    if (!data.empty())
        body += "," + data;
    return body;
}

} // namespace

std::optional<int> AnsweringMeter(const TOptions& options, const TRequest& request, int baudRate) {
    const std::optional<int> addr = RequestAddress(request.Addr);
    if (!addr)
        return std::nullopt;
    const auto& bus = options.BusMeters;
    if (*addr >= 0 && std::find(bus.begin(), bus.end(), *addr) != bus.end())
        return addr;
    const bool optoHears = options.OptoMeter >= 0 && baudRate == OptoBaudRate;
    if (optoHears && (*addr == -1 || *addr == options.OptoMeter))
        return options.OptoMeter;
    return std::nullopt;
}

std::string ErrorBody(int addr, char letter) {
    return "E" + AddressText(addr) + letter;
}

std::string AnswerBody(int addr, bool isOptoMeter, const TRequest& request, TMeterState& state,
                       TMeterClock::TInstant at) {
    if (!request.ChecksumOk)
        return ErrorBody(addr, 'S');
    if (!request.WellFormed)
        return ErrorBody(addr, 'D');

    if (request.Object == 'E' && request.Cmd == 'R')
        return AnswerWith(addr, 'E', "");

    if (request.Object == 'C' && request.Cmd == 'R')
        return AnswerWith(addr, 'C', FormatClockData(state.Clock.Read(at)));

    if (request.Object == 'C' && request.Cmd == 'W') {
        const std::optional<std::int64_t> moment = ParseClockData(request.Data);
        if (!moment)
            return ErrorBody(addr, 'D');
        state.Clock.Write(*moment, at);
        return AnswerWith(addr, 'C', request.Data);
    }

    if (request.Object == 'k' && request.Cmd == 'W') {
        if (request.Data != "01" && request.Data != "00")
            return ErrorBody(addr, 'D');
        if (isOptoMeter)
            state.LinkMode = request.Data == "01";
        return AnswerWith(addr, 'k', request.Data);
    }

    return ErrorBody(addr, 'C');
}

} // namespace vmeter
