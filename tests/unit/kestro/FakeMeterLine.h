#pragma once

#include "comm/SerialBackend.h"
#include "comm/uCommKestro.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestro_test {

// Simulated milliseconds. The tick counter the engine reads starts at Base and wraps like the
// real one; Elapsed never wraps, so arrival times compare simply.
struct TFakeClock {
    std::uint32_t Base = 1000;
    std::uint64_t Elapsed = 0;
    std::vector<std::uint32_t> Pauses;

    std::uint32_t Tick() const { return Base + static_cast<std::uint32_t>(Elapsed); }
};

// What the fake meter sends after one request frame.
struct TScriptedReply {
    std::string Bytes;
    std::uint32_t DelayMs = 0;   // from the write to the first byte
    std::uint32_t ByteGapMs = 0; // between consecutive bytes
};

// A serial backend whose far side replays a script: each written frame takes the next entry
// (none, or an empty optional, means silence). Time passes only in WaitForInput and in the
// engine's pauses, so no test waits in real time.
class TFakeMeterLine : public TSerialBackend {
public:
    explicit TFakeMeterLine(TFakeClock& clock) : FClock(clock) {}

    std::deque<std::optional<TScriptedReply>> Script;
    std::vector<std::string> Written;
    std::vector<std::uint32_t> Waits;
    int Purges = 0;
    int Opens = 0;
    bool FailPurge = false;
    bool FailRead = false;
    bool FailWrite = false;
    std::function<void()> OnWrite; // lets a test look at the engine in the middle of an exchange
    std::vector<TLineSettings> Configured;   // every line setting applied, oldest first
    std::optional<std::int32_t> RefuseSpeed; // Configure fails at this speed
    double AllowanceMs = 0;                  // what the network adds to a reply wait
    std::vector<double> ReplyDelays;         // as the engine reported them
    std::string Cause; // of a refused speed

    // Bytes that have arrived and are still in the driver's queue.
    std::string Unread() const {
        std::string result;
        for (const TByte& b : FQueue)
            if (b.At <= FClock.Elapsed)
                result += b.Ch;
        return result;
    }

    double ReplyAllowanceMs() const override { return AllowanceMs; }
    void ReplyDelay(double ms) override { ReplyDelays.push_back(ms); }

    bool Open(const std::string&) override {
        ++Opens;
        return FOpen = true;
    }
    bool Configure(const TLineSettings& settings) override {
        Configured.push_back(settings);
        return !RefuseSpeed || *RefuseSpeed != settings.BaudRate;
    }
    std::string FailureCause() const override { return Cause; }
    void Close() override { FOpen = false; }
    bool IsOpen() const override { return FOpen; }

    bool Purge() override {
        ++Purges;
        if (FailPurge)
            return false;
        while (!FQueue.empty() && FQueue.front().At <= FClock.Elapsed)
            FQueue.pop_front();
        return true;
    }

    bool Read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
        got = 0;
        if (FailRead)
            return false;
        auto* out = static_cast<char*>(buffer);
        while (got < count && !FQueue.empty() && FQueue.front().At <= FClock.Elapsed) {
            out[got++] = FQueue.front().Ch;
            FQueue.pop_front();
        }
        return true;
    }

    bool Write(const void* buffer, std::uint32_t count, std::uint32_t& written) override {
        Written.emplace_back(static_cast<const char*>(buffer), count);
        if (OnWrite)
            OnWrite();
        if (FailWrite) {
            written = 0;
            return false;
        }
        written = count;
        std::optional<TScriptedReply> reply;
        if (!Script.empty()) {
            reply = Script.front();
            Script.pop_front();
        }
        if (reply) {
            std::uint64_t at = FClock.Elapsed + reply->DelayMs;
            for (char ch : reply->Bytes) {
                FQueue.push_back({at, ch});
                at += reply->ByteGapMs;
            }
        }
        return true;
    }

    bool WaitForInput(std::uint32_t milliseconds, bool& available) override {
        Waits.push_back(milliseconds);
        available = false;
        if (!FQueue.empty() && FQueue.front().At <= FClock.Elapsed + milliseconds) {
            if (FQueue.front().At > FClock.Elapsed)
                FClock.Elapsed = FQueue.front().At;
            available = true;
        } else {
            FClock.Elapsed += milliseconds;
        }
        return true;
    }

private:
    struct TByte {
        std::uint64_t At;
        char Ch;
    };
    TFakeClock& FClock;
    std::deque<TByte> FQueue;
    bool FOpen = false;
};

// An engine on an open channel over the fake line, with the fake clock in its seams. The line
// runs at a speed whose line time rounds away in whole milliseconds, so that a wait is the
// time-out alone; a test of the line's share of a wait sets a speed of its own.
struct TEngineRig {
    static constexpr std::int32_t InstantBaudRate = 921600;

    TFakeClock Clock;
    TFakeMeterLine* Line;
    std::unique_ptr<TCommDispatcher> Dispatcher;
    std::unique_ptr<TCommKestro> Engine;

    TEngineRig() {
        auto line = std::make_unique<TFakeMeterLine>(Clock);
        Line = line.get();
        Dispatcher = std::make_unique<TCommDispatcher>(std::move(line));
        Dispatcher->SetBaudRate(InstantBaudRate);
        Dispatcher->Open();
        Engine = std::make_unique<TCommKestro>(*Dispatcher);
        Engine->TickCount = [this] {
            return Clock.Tick();
        };
        Engine->Pause = [this](std::uint32_t ms) {
            Clock.Pauses.push_back(ms);
            Clock.Elapsed += ms;
        };
    }

    void Reply(const std::string& bytes, std::uint32_t delayMs = 5, std::uint32_t gapMs = 0) {
        Line->Script.push_back(TScriptedReply{bytes, delayMs, gapMs});
    }
    void Silence() { Line->Script.push_back(std::nullopt); }
};

// "#", the body, "*", the XOR checksum in hex, CR: a reply line as a meter sends it.
inline std::string Line(const std::string& body) {
    unsigned sum = 0;
    for (char ch : body)
        sum ^= static_cast<unsigned char>(ch);
    static const char* hex = "0123456789ABCDEF";
    return "#" + body + "*" + hex[sum >> 4] + hex[sum & 15] + "\r";
}

} // namespace kestro_test
