#pragma once

#include "comm/uCommKestro.h"

#include <string>

// The meter an operation talks to: one meter on the bus by its network address (0 to 99), or
// the one meter under the optical head, addressed as all meters.
class TMeterTarget {
public:
    static TMeterTarget Bus(TKestroAddr addr) { return TMeterTarget(addr, false); }
    static TMeterTarget Optohead() { return TMeterTarget(KestroAddrAll, true); }

    TKestroAddr Addr() const { return FAddr; }
    bool IsOptohead() const { return FOptohead; }

    bool operator==(const TMeterTarget&) const = default;

private:
    TMeterTarget(TKestroAddr addr, bool optohead) : FAddr(addr), FOptohead(optohead) {}

    TKestroAddr FAddr;
    bool FOptohead;
};
