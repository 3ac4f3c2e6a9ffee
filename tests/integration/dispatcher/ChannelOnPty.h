#pragma once

#include "PseudoTerminal.h"
#include "comm/PortNames.h"
#include "comm/uCommDispatcher.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>

// COM3 is the slave of a fresh pseudo-terminal, COM7 a device that does not exist. Every port
// a test can reach is mapped, so no test ever opens a real serial port.
class ChannelOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ports = {{1, (dir.Path() / "no-COM1").string()},
                 {3, pty.SlavePath()},
                 {7, (dir.Path() / "no-COM7").string()}};
        SCommError = "COM%d unexpected error!";
        SOpenPort = "Cannot open COM%d!";
        SSetupPort = "Cannot setup COM%d!";
        SReadPort = "COM%d read error!";
        SWritePort = "COM%d write error!";
        UsePort(channel, 3);
    }
    void TearDown() override {
        channel.Close();
        SCommError = FSaved[0];
        SOpenPort = FSaved[1];
        SSetupPort = FSaved[2];
        SReadPort = FSaved[3];
        SWritePort = FSaved[4];
    }

    // COM n and the device it leads to.
    void UsePort(TCommDispatcher& ch, std::int32_t port) const {
        ch.SetPort(port);
        ch.SetDevice(PortDevicePath(port, ports));
    }

    TTempDir dir;
    TPseudoTerminal pty;
    TPortMap ports;
    TCommDispatcher channel;

private:
    const std::array<std::string, 5> FSaved{SCommError, SOpenPort, SSetupPort, SReadPort,
                                            SWritePort};
};

// The class name and message of what the operation threw.
inline std::string Thrown(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Exception& e) {
        return std::string(e.ClassInfo().Name) + ": " + e.Message();
    }
    return "nothing thrown";
}

inline std::chrono::milliseconds MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
}
