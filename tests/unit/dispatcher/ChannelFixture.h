#pragma once

#include "FakeSerialBackend.h"
#include "comm/PortNames.h"
#include "comm/uCommDispatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A channel over a fake line, with the English port messages that start-up assigns; the
// built-in texts are put back after each test.
class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        SCommError = "COM%d unexpected error!";
        SOpenPort = "Cannot open COM%d!";
        SSetupPort = "Cannot setup COM%d!";
        SReadPort = "COM%d read error!";
        SWritePort = "COM%d write error!";
    }
    void TearDown() override {
        SCommError = FSaved[0];
        SOpenPort = FSaved[1];
        SSetupPort = FSaved[2];
        SReadPort = FSaved[3];
        SWritePort = FSaved[4];
    }

    // The calls made since the last look, so that each step is checked on its own.
    std::vector<std::string> TakeCalls() {
        std::vector<std::string> calls;
        calls.swap(line->Calls);
        return calls;
    }

    std::shared_ptr<TFakeSerialLine> line = std::make_shared<TFakeSerialLine>();
    TCommDispatcher channel{std::make_unique<TFakeSerialBackend>(line)};

private:
    const std::vector<std::string> FSaved{SCommError, SOpenPort, SSetupPort, SReadPort, SWritePort};
};

using Calls = std::vector<std::string>;

// The fake's record of opening the device that COM n names.
inline std::string OpenOf(std::int32_t port) {
    return "Open(" + PortDevicePath(port) + ")";
}
