#pragma once

// A window and a toolkit for the window model, in memory: the view records what the model
// shows and answers what it asks; the timers run on a clock that only tests move.
#include "app/FieldValidation.h"
#include "app/MainModel.h"
#include "runtime/DateTime.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace model_test {

class TFakeView final : public TMainView {
public:
    struct TStatus {
        std::string Line;
        std::string Cause;
    };

    // What the model showed.
    std::vector<TStatus> Statuses;
    std::map<TMainAction, bool> Enabled;
    bool Dots[2] = {false, false};
    bool AddressEnabled = true;
    TDateTime Time = 0;
    TDateTime Date = 36526; // 1 January 2000
    std::string ClockOffset;
    std::vector<std::string> Messages;
    std::vector<std::string> Questions;

    // What the window holds and answers.
    bool Optohead = true;
    int Address = 99;
    std::string AddressError; // TakeAddress raises EFieldValidation with it when set
    std::string TimeError;
    bool Answer = false; // to every question
    std::function<std::optional<TSettings>(const TSettings&)> Config;
    std::function<void()> OnPendingEvents; // the user's input while an operation blocks
    int PendingEvents = 0;

    std::string Status() const { return Statuses.empty() ? std::string() : Statuses.back().Line; }
    std::string Cause() const { return Statuses.empty() ? std::string() : Statuses.back().Cause; }
    // The texts shown since `from`, without "Status: ".
    std::vector<std::string> TextsSince(std::size_t from) const {
        std::vector<std::string> texts;
        for (std::size_t i = from; i < Statuses.size(); ++i)
            texts.push_back(Statuses[i].Line.substr(std::string("Status: ").size()));
        return texts;
    }
    bool Dot(TWarnDot dot) const { return Dots[dot == TWarnDot::KestroId ? 0 : 1]; }

    void ShowStatus(const std::string& line, const std::string& cause) override {
        Statuses.push_back({line, cause});
    }
    void ShowDot(TWarnDot dot, bool visible) override {
        Dots[dot == TWarnDot::KestroId ? 0 : 1] = visible;
    }
    void EnableAction(TMainAction action, bool enabled) override { Enabled[action] = enabled; }
    void EnableAddress(bool enabled) override { AddressEnabled = enabled; }
    bool OptoheadTicked() override { return Optohead; }
    int TakeAddress() override {
        if (!AddressError.empty())
            throw EFieldValidation(AddressError);
        return Address;
    }
    TDateTime TakeTime() override {
        if (!TimeError.empty())
            throw EFieldValidation(TimeError);
        return Time;
    }
    TDateTime TakeDate() override { return Date; }
    void ShowTime(TDateTime time) override { Time = time; }
    void ShowDate(TDateTime date) override { Date = date; }
    void ShowClockOffset(const std::string& text) override { ClockOffset = text; }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    bool Ask(const std::string& question) override {
        Questions.push_back(question);
        return Answer;
    }
    std::optional<TSettings> RunConfig(const TSettings& current) override {
        return Config ? Config(current) : std::nullopt;
    }
    void ProcessPendingEvents() override {
        ++PendingEvents;
        if (OnPendingEvents)
            OnPendingEvents();
    }
};

// Timers on a clock that moves only in Advance. `Early` makes every timer fire that share of
// its interval early, as a coarse system timer may.
class TFakeTimers final : public TModelTimers {
public:
    double Early = 0;

    const TModelClock& Clock() const override { return FClock; }
    std::unique_ptr<TModelTimer> CreateTimer(std::function<void()> onTimer,
                                             bool periodic) override {
        return std::make_unique<TTimer>(*this, std::move(onTimer), periodic);
    }

    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(FClock.T.time_since_epoch());
    }

    // Moves the clock on by `ms`, firing every timer that falls due on the way, in order.
    void Advance(int ms) {
        const auto target = FClock.T + std::chrono::milliseconds(ms);
        for (;;) {
            TTimer* next = nullptr;
            for (TTimer* timer : FTimers)
                if (timer->IsActive && timer->Due <= target && (!next || timer->Due < next->Due))
                    next = timer;
            if (next == nullptr)
                break;
            FClock.T = std::max(FClock.T, next->Due);
            if (next->Periodic)
                next->Due = FClock.T + next->Interval();
            else
                next->IsActive = false;
            next->OnTimer();
        }
        FClock.T = target;
    }

private:
    struct TClock final : TModelClock {
        std::chrono::steady_clock::time_point T{};
        std::chrono::steady_clock::time_point Now() const override { return T; }
    };

    struct TTimer final : TModelTimer {
        TTimer(TFakeTimers& owner, std::function<void()> onTimer, bool periodic)
            : Owner(owner), OnTimer(std::move(onTimer)), Periodic(periodic) {
            Owner.FTimers.push_back(this);
        }
        ~TTimer() override { std::erase(Owner.FTimers, this); }
        void Start(int milliseconds) override {
            Ms = milliseconds;
            IsActive = true;
            Due = Owner.FClock.T + Interval();
        }
        void Stop() override { IsActive = false; }
        bool Active() const override { return IsActive; }
        std::chrono::steady_clock::duration Interval() const {
            return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double, std::milli>(Ms * (1 - Owner.Early)));
        }

        TFakeTimers& Owner;
        std::function<void()> OnTimer;
        bool Periodic;
        bool IsActive = false;
        int Ms = 0;
        std::chrono::steady_clock::time_point Due{};
    };

    TClock FClock;
    std::vector<TTimer*> FTimers;
};

// The settings file in memory.
class TMemoryStore final : public TSettingsStore {
public:
    TStoredSettings Stored;
    std::vector<TSettings> Saved;
    std::string LoadError; // Load raises EIniFileException with it when set
    std::string SaveError;

    TStoredSettings Load() override {
        if (!LoadError.empty())
            throw EIniFileException(LoadError);
        return Stored;
    }
    void Save(const TSettings& settings) override {
        if (!SaveError.empty())
            throw EIniFileException(SaveError);
        Saved.push_back(settings);
        Stored.Settings = settings;
    }
};

// The claim of a status line "Status: Clock set: +3 ms ± 6 ms (was -0.733 s)": the offset and
// its uncertainty in milliseconds; false for any other line.
inline bool ParseClockSet(const std::string& line, double& offset, double& uncertainty) {
    const std::string head = "Status: Clock set: ";
    const std::string plusMinus = " ms \u00b1 ";
    const std::size_t at = line.find(plusMinus);
    if (line.rfind(head, 0) != 0 || at == std::string::npos)
        return false;
    char* end = nullptr;
    offset = std::strtod(line.c_str() + head.size(), &end);
    if (end != line.c_str() + at)
        return false;
    uncertainty = std::strtod(line.c_str() + at + plusMinus.size(), &end);
    return std::string(end).rfind(" ms (was ", 0) == 0;
}

} // namespace model_test
