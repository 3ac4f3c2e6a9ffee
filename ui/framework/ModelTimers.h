#pragma once

#include "app/ModelTime.h"

// The window model's clock and timers on Qt: the steady clock, and precise timers on the
// window's thread (a coarse QTimer may fire up to 5 % early). Their handlers run guarded.
class TQtModelTimers : public TModelTimers {
public:
    const TModelClock& Clock() const override;
    std::unique_ptr<TModelTimer> CreateTimer(std::function<void()> onTimer, bool periodic) override;
};
