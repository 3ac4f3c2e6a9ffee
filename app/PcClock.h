#pragma once

#include <chrono>
#include <functional>
#include <string>

// The PC's clock as a meter's clock is compared with: its local wall-clock time.
struct TPcClockStatus {
    enum class TState {
        Synchronised,    // the system keeps it synchronised to a time source
        NotSynchronised, // the system says it is not synchronised
        NotChecked,      // this system cannot tell
    };
    TState State = TState::NotChecked;
    std::string Text; // one line for the user, e.g. "The PC's clock is synchronised"
};

struct TPcClock {
    // The local wall-clock time at a steady-clock instant, in milliseconds counted as if local
    // time were UTC from 1 January 1970 (so a meter's date and time compare directly).
    std::function<double(std::chrono::steady_clock::time_point)> LocalMs;
    // Whether the PC's clock itself can be trusted.
    std::function<TPcClockStatus()> Check;
};

// The system clock, tied to the steady clock once at the call, so that a step of the system
// clock during a measurement cannot bend it. Linux asks adjtimex whether it is synchronised;
// other systems are not checked.
TPcClock SystemPcClock();

// A steady-clock instant and what the system clock read at it.
struct TClockPair {
    std::chrono::steady_clock::time_point Steady;
    std::chrono::system_clock::time_point System;
};

// The two clocks cannot be read at once, and a pause between the reads (the process preempted on
// a busy PC) would shift every time converted through the pair by its length: tens of
// milliseconds, more than a claim's whole uncertainty. So the pair comes from the tightest of a
// brackets steady, system, steady: at least three, more until one is tight or 20 ms have gone.
TClockPair ReadClockPair(const std::function<std::chrono::steady_clock::time_point()>& steady,
                         const std::function<std::chrono::system_clock::time_point()>& system);

// The local wall-clock time of a system-clock instant, as TPcClock::LocalMs counts it.
double LocalCivilMs(std::chrono::system_clock::time_point instant);

// The state of the system clock (adjtimex on Linux; "not checked" elsewhere).
TPcClockStatus CheckSystemClock();
