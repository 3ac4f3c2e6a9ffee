#pragma once

#include "FakeMeterLine.h"

#include "app/Link.h"

#include <memory>

namespace kestro_test {

// A link over the scripted line, opened with `configured`, with the fake clock in the engine's
// seams: nothing waits in real time.
struct TLinkRig {
    explicit TLinkRig(TSettings configured) {
        auto line = std::make_unique<TFakeMeterLine>(Clock);
        Line = line.get();
        Link = std::make_unique<TLink>(configured, TPortMap{}, std::string(), std::move(line));
        Engine().TickCount = [this] {
            return Clock.Tick();
        };
        Engine().Pause = [this](std::uint32_t ms) {
            Clock.Pauses.push_back(ms);
            Clock.Elapsed += ms;
        };
        Link->SetRetries(1);
        Link->Open();
        Line->Configured.clear();
        Line->Opens = 0;
    }

    TCommKestro& Engine() { return Link->Engine(); }
    std::int32_t Speed() const { return Line->Configured.back().BaudRate; }
    void Reply(const std::string& bytes, std::uint32_t delayMs = 5) {
        Line->Script.push_back(TScriptedReply{bytes, delayMs, 0});
    }
    void Silence() { Line->Script.push_back(std::nullopt); }

    TFakeClock Clock;
    TFakeMeterLine* Line;
    std::unique_ptr<TLink> Link;
};

} // namespace kestro_test
