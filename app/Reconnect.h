#pragma once

#include <functional>

class TCommDispatcher;

// How a lost port comes back. A port is lost while it is closed because it could not be opened
// or because its device vanished (TCommDispatcher::PortLost); a port closed on purpose is not.
// The window tries again every ReconnectIntervalMs while it is idle; the command line reopens
// once before it gives up on a batch.

constexpr int ReconnectIntervalMs = 2000;

// Whether an idle caller should try to open the port again now.
bool ShouldReconnect(const TCommDispatcher& channel);

// Opens a lost port again; true when it is open now. A failed attempt leaves the port lost,
// with its reason in LastFailureCause() and in the trace; other failures propagate.
bool Reconnect(TCommDispatcher& channel);

// Runs `batch`. When it fails and the failure lost the port, the port is opened again once and
// the batch runs once more; a failure to reopen and a second failure propagate.
void RunReopeningOnce(TCommDispatcher& channel, const std::function<void()>& batch);
