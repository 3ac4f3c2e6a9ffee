// libFuzzer target: any reply line either decodes into a sound packet or raises a
// communication error with a printable message, and the same bytes arriving on the line make
// an exchange end the same way. Anything else (a crash, a sanitizer report, another exception
// type escaping) is a finding.
#include "comm/SerialBackend.h"
#include "comm/uCommKestro.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// The far side of the line: after each request it delivers the bytes it was given, then
// nothing. Time passes only while the engine waits.
class TReplayLine : public TSerialBackend {
public:
    std::string Reply;
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
        FQueue = Reply;
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
    if (message.empty())
        std::abort();
    for (char ch : message)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            std::abort(); // a message must never carry control bytes from the line
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TRig rig;
    const std::string text(reinterpret_cast<const char*>(data), size);

    TKestroPacket packet;
    try {
        rig.Engine.DecodePacket(text, packet);
        // Accepted: an answer from one meter, which encodes back to the same packet.
        if (packet.Cmd != 'A' || packet.Addr > 99)
            std::abort();
        TKestroPacket again;
        rig.Engine.DecodePacket(rig.Engine.EncodePacket(packet), again);
        if (!(again == packet))
            std::abort();
    } catch (const ECommError& e) {
        CheckMessage(e);
    }

    rig.Line->Reply = text;
    try {
        rig.Engine.Echo(5);
    } catch (const ECommError& e) {
        CheckMessage(e);
    }
    if (rig.Engine.Busy)
        std::abort();
    return 0;
}
