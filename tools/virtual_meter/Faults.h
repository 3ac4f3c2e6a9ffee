#pragma once

#include "MeterProtocol.h"
#include "VirtualMeter.h"

#include <string>

namespace vmeter {

// Whether a fault changes the reply to this request. A changed clock write needs a valid
// clock write to change; every other fault applies to any reply.
bool FaultApplies(TFault fault, const TRequest& request);

// Whether the meter carries out the request under this fault: not when it stays silent,
// drops the line or answers with an error.
bool FaultLetsMeterAct(TFault fault);

// The error letter a fault replies with, 0 for a fault that is not an error reply.
char FaultErrorLetter(TFault fault);

// The bytes a meter sends for a reply body under a fault: the framed body, changed as the
// fault says (address, object letter, checksum, line noise, missing CR).
std::string WireReply(const std::string& body, TFault fault);

} // namespace vmeter
