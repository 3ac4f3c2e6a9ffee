#pragma once

#include <string>

class TCommDispatcher;

// Why the channel's device could not be opened or used, for standard error after the program's
// message: the device path and the system's reason. The one place kestro asks for a cause.
std::string PortFailureCause(const TCommDispatcher& channel);
