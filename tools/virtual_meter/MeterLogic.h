#pragma once

#include "MeterClock.h"
#include "MeterProtocol.h"
#include "VirtualMeter.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vmeter {

// What the meters remember between requests.
struct TMeterState {
    TMeterClock Clock;
    bool LinkMode = false; // of the meter under the optical head
};

// The address of the meter that answers a request heard at this line speed, or nothing.
// Bus meters answer their own address at any speed; the meter under the optical head answers
// "??" and its own address, but hears only at 300 baud.
std::optional<int> AnsweringMeter(const TOptions& options, const TRequest& request, int baudRate);

// Reply body ("A"/"E", two address digits, letter, optional "," data) of meter `addr`,
// carrying out the request on `state` at the instant `at` (when the request was received).
std::string AnswerBody(int addr, bool isOptoMeter, const TRequest& request, TMeterState& state,
                       TMeterClock::TInstant at);

// An error reply body of meter `addr` with the given letter.
std::string ErrorBody(int addr, char letter);

} // namespace vmeter
