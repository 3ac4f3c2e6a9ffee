#include "cli/FailureCause.h"

#include "comm/uCommDispatcher.h"

std::string PortFailureCause(const TCommDispatcher& channel) {
    std::string cause = channel.LastFailureCause();
    return cause.empty() ? channel.DevicePath() : cause;
}
