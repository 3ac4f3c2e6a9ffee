#include "app/Reconnect.h"

#include "comm/uCommDispatcher.h"

bool ShouldReconnect(const TCommDispatcher& channel) {
    return channel.PortLost();
}

bool Reconnect(TCommDispatcher& channel) {
    if (!channel.PortLost())
        return channel.GetActive();
    try {
        channel.Open();
    } catch (const EOpenPort&) {
        return false; // still missing: the next attempt tells whether it is back
    } catch (const ESetupPort&) {
        return false;
    }
    return true;
}

void RunReopeningOnce(TCommDispatcher& channel, const std::function<void()>& batch) {
    try {
        batch();
        return;
    } catch (const ECommError&) {
        if (!channel.PortLost())
            throw;
    }
    channel.Open();
    batch();
}
