#include "app/StatusTimer.h"

#include <utility>

TStatusTimer::TStatusTimer(TModelTimers& timers, std::chrono::milliseconds interval,
                           std::function<void()> onReady)
    : FClock(timers.Clock()), FInterval(interval), FOnReady(std::move(onReady)),
      FTimer(timers.CreateTimer([this] { Fired(); }, false)) {}

void TStatusTimer::Restart() {
    FShownAt = FClock.Now();
    FTimer->Start(static_cast<int>(FInterval.count()));
}

void TStatusTimer::Stop() {
    FTimer->Stop();
}

bool TStatusTimer::Active() const {
    return FTimer->Active();
}

void TStatusTimer::Fired() {
    const auto left = FInterval - (FClock.Now() - FShownAt);
    if (left > std::chrono::steady_clock::duration::zero()) {
        FTimer->Start(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        return;
    }
    FTimer->Stop();
    FOnReady();
}
