#pragma once

#include <chrono>
#include <functional>
#include <memory>

// Time as the window model sees it, so that tests run its timers without waiting.
class TModelClock {
public:
    virtual ~TModelClock() = default;
    virtual std::chrono::steady_clock::time_point Now() const = 0;
};

// A timer on the window's thread. Start (re)starts it: it fires once after `milliseconds`,
// and again every `milliseconds` until stopped when it is periodic. A timer may fire late;
// the model never relies on one not firing early.
class TModelTimer {
public:
    virtual ~TModelTimer() = default;
    virtual void Start(int milliseconds) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
};

// Where the model gets its clock and timers: each window's toolkit supplies them.
class TModelTimers {
public:
    virtual ~TModelTimers() = default;
    virtual const TModelClock& Clock() const = 0;
    virtual std::unique_ptr<TModelTimer> CreateTimer(std::function<void()> onTimer,
                                                     bool periodic) = 0;
};
