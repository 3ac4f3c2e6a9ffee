#pragma once

#include "app/ModelTime.h"

#include <chrono>
#include <functional>
#include <memory>

// The status line's return to "Ready": `interval` after the last status text, never earlier.
// A timer may fire early (a coarse one by up to 5 %): when it does, the time left is measured
// on the model's clock and the timer is started again for it.
class TStatusTimer {
public:
    TStatusTimer(TModelTimers& timers, std::chrono::milliseconds interval,
                 std::function<void()> onReady);

    // A new status text: the interval starts anew.
    void Restart();
    void Stop();
    bool Active() const;

private:
    void Fired();

    const TModelClock& FClock;
    std::chrono::milliseconds FInterval;
    std::function<void()> FOnReady;
    std::unique_ptr<TModelTimer> FTimer;
    std::chrono::steady_clock::time_point FShownAt;
};
