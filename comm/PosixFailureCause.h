#pragma once

#include <string>

// Causes of serial port failures on POSIX systems, as the user reads them: the device path, the
// system's reason and, where one helps, what to do about it.

// Why `device` could not be opened, from the errno of open (or EWOULDBLOCK from flock: the port
// is locked by another program).
std::string OpenFailureCause(const std::string& device, int error);

// The device went away under an open port (unplugged, far side hung up); `reason` says how.
std::string DeviceGoneCause(const std::string& device, const std::string& reason);

// Any other failure of an operation on `device`.
std::string OperationFailureCause(const std::string& device, const std::string& operation,
                                  int error);

// The system's text for an errno value.
std::string SystemErrorText(int error);

// The programs holding `device` open: "name (pid N)", several separated by ", "; empty when the
// system does not tell (not Linux, or processes of other users without the right to see them).
std::string ProgramsHolding(const std::string& device);
