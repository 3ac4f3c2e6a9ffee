#pragma once

#include "FrameReader.h"
#include "MeterProtocol.h"
#include "Pty.h"

#include <atomic>
#include <map>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

// Meters on a pseudo-terminal of their own whose clock replies a test writes itself, malformed
// ones included, which the virtual meter never sends: a meter listed with data answers every
// clock read with it; one listed with empty data shows the PC's clock and echoes a clock write.
// Unlisted addresses are silent.
class TScriptedMeter {
public:
    explicit TScriptedMeter(std::map<int, std::string> clockData)
        : FClockData(std::move(clockData)), FThread([this] { Serve(); }) {}
    ~TScriptedMeter() {
        FStop = true;
        FThread.join();
    }
    TScriptedMeter(const TScriptedMeter&) = delete;
    TScriptedMeter& operator=(const TScriptedMeter&) = delete;

    std::string Device() const { return FPty.SlaveName(); }

private:
    void Serve() {
        vmeter::TFrameReader reader;
        char buffer[256];
        while (!FStop) {
            pollfd master{FPty.MasterFd(), POLLIN, 0};
            if (::poll(&master, 1, 20) <= 0 || (master.revents & POLLIN) == 0) {
                if (master.revents & (POLLHUP | POLLERR))
                    ::usleep(20000); // no one holds the slave open right now
                continue;
            }
            const ssize_t got = ::read(FPty.MasterFd(), buffer, sizeof buffer);
            if (got <= 0)
                continue;
            for (const std::string& frame :
                 reader.Feed(std::string_view(buffer, static_cast<std::size_t>(got))))
                Answer(frame);
        }
    }

    void Answer(const std::string& frame) {
        const auto request = vmeter::ParseRequest(frame);
        const auto addr = request ? vmeter::RequestAddress(request->Addr) : std::nullopt;
        if (!addr || FClockData.count(*addr) == 0)
            return;
        const std::string& scripted = FClockData.at(*addr);
        std::string body = "A" + request->Addr + request->Object;
        if (request->Object == 'C' && request->Cmd == 'R')
            body += "," + (scripted.empty() ? vmeter::FormatClockData(vmeter::LocalCivilNow())
                                            : scripted);
        else if (request->HasData)
            body += "," + request->Data;
        const std::string reply = vmeter::MakeFrame(body);
        [[maybe_unused]] const ssize_t written =
            ::write(FPty.MasterFd(), reply.data(), reply.size());
    }

    const std::map<int, std::string> FClockData;
    vmeter::TPty FPty;
    std::atomic<bool> FStop{false};
    std::thread FThread; // last: starts once everything else is there
};
