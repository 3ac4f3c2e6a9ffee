// libFuzzer target for the meters' reply lines. Every input is judged by a statement of the
// protocol's rules written here independently of the engine (ReplyRules.h): the decoder must
// accept exactly the replies the rules accept, with the packet they describe, and reject every
// other one with the error class of the first rule it breaks. The same bytes arriving on the
// line must end an exchange as the rules say, both on a fresh line and right after a time-out,
// when the tail of a late reply or the late reply itself may still arrive. Messages must be
// clean. Anything else (a crash, a sanitizer report, another outcome) is a finding.
#include "ReplyRules.h"

#include "comm/SerialBackend.h"
#include "comm/uCommKestro.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// The far side of the line: after each request it delivers the next scripted reply at once
// (an empty one is silence). Time passes only while the engine waits.
class TReplayLine : public TSerialBackend {
public:
    std::deque<std::string> Replies;
    std::uint32_t Now = 0;

    bool Open(const std::string&) override { return true; }
    bool Configure(const TLineSettings&) override { return true; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    bool Purge() override {
        FQueue.clear();
        FPos = 0;
        return true;
    }
    bool Read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
        got = 0;
        auto* out = static_cast<char*>(buffer);
        while (got < count && FPos < FQueue.size())
            out[got++] = FQueue[FPos++];
        return true;
    }
    bool Write(const void*, std::uint32_t count, std::uint32_t& written) override {
        written = count;
        FQueue.clear();
        if (!Replies.empty()) {
            FQueue = Replies.front();
            Replies.pop_front();
        }
        FPos = 0;
        return true;
    }
    bool WaitForInput(std::uint32_t milliseconds, bool& available) override {
        available = FPos < FQueue.size();
        if (!available)
            Now += milliseconds;
        return true;
    }

private:
    std::string FQueue;
    std::size_t FPos = 0;
};

// A fresh engine for every input, so no state of an earlier input leaks into the verdict.
struct TRig {
    TReplayLine* Line;
    TCommDispatcher Dispatcher;
    TCommKestro Engine;

    TRig()
        : Line(new TReplayLine), Dispatcher(std::unique_ptr<TSerialBackend>(Line)),
          Engine(Dispatcher) {
        Dispatcher.Open();
        Engine.Timeout = 20;
        Engine.Retries = 1;
        Engine.TickCount = [this] {
            return Line->Now;
        };
        Engine.Pause = [this](std::uint32_t ms) {
            Line->Now += ms;
        };
    }
};

void CheckMessage(const Exception& e) {
    const std::string message = e.Message();
    Check(!message.empty());
    for (char ch : message)
        Check(static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F); // no control bytes
}

// The class the engine raised, or nullptr when it accepted.
template <typename Action> const TExceptionClass* Outcome(Action action) {
    try {
        action();
        return nullptr;
    } catch (const ECommError& e) {
        CheckMessage(e);
        return &e.ClassInfo();
    }
}

void CheckVerdict(const rules::TVerdict& expected, const TExceptionClass* raised,
                  const TKestroPacket& packet) {
    Check(raised == expected.Class);
    if (!raised)
        Check(packet.Cmd == 'A' && packet.Addr == expected.Addr && packet.Code == expected.Code &&
              packet.Data == expected.Data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    {
        TRig rig;
        TKestroPacket packet;
        const auto raised = Outcome([&] { rig.Engine.DecodePacket(text, packet); });
        CheckVerdict(rules::Decode(text), raised, packet);
    }
    {
        TRig rig; // an echo to meter 5 on a fresh line
        rig.Line->Replies = {text};
        const auto raised = Outcome([&] { rig.Engine.Echo(5); });
        CheckVerdict(rules::Exchange(text, 5, 'E', std::nullopt), raised, rig.Engine.Response);
        Check(!rig.Engine.Busy);
    }
    {
        TRig rig; // meter 5 did not answer in time, the next request goes to meter 6
        rig.Line->Replies = {"", text};
        Check(Outcome([&] { rig.Engine.Echo(5); }) == &EKestroTimeout::ClassType);
        const auto raised = Outcome([&] { rig.Engine.Echo(6); });
        CheckVerdict(rules::Exchange(text, 6, 'E', rules::TRequest{5, 'E'}), raised,
                     rig.Engine.Response);
        Check(!rig.Engine.Busy);
    }
    return 0;
}
