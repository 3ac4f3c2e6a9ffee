#pragma once

#include "comm/SerialBackend.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A serial backend in memory. The channel owns the backend, so the test keeps the state:
//
//     auto line = std::make_shared<TFakeSerialLine>();
//     TCommDispatcher channel(std::make_unique<TFakeSerialBackend>(line));
//     line->Input = "reply\r";             // bytes waiting to be read
//     line->OnWrite = [](TFakeSerialLine& l, const std::string& frame) { l.Input += ...; };
//
// Like a real port, every operation fails while the port is not open.
struct TFakeSerialLine {
    // What happened.
    bool Open = false;
    std::string OpenedDevice;
    std::optional<TSerialBackend::TLineSettings> Settings; // of the last Configure
    std::vector<std::string>
        Calls;          // "Open(/dev/ttyS2)", "Configure(9600,200)", "Close", "Purge", ...
    std::string Output; // every byte written

    // What the device does.
    std::string Input; // bytes that have arrived and wait to be read
    bool FailOpen = false;
    bool FailConfigure = false;
    bool ThrowOnConfigure = false; // Configure throws std::runtime_error("configure")
    bool FailPurge = false;
    bool FailRead = false;
    bool FailWrite = false;
    bool FailWait = false;
    std::optional<std::uint32_t> WriteLimit; // a write accepts at most this many bytes
    bool Gone = false;                       // failures mean the device has vanished
    std::string Cause;                       // what the backend gives as the cause of a failure
    // Runs after each accepted write with the bytes written, e.g. to queue a reply.
    std::function<void(TFakeSerialLine&, const std::string&)> OnWrite;
};

class TFakeSerialBackend final : public TSerialBackend {
public:
    explicit TFakeSerialBackend(std::shared_ptr<TFakeSerialLine> line) : FLine(std::move(line)) {}

    bool Open(const std::string& device) override {
        FLine->Calls.push_back("Open(" + device + ")");
        if (FLine->FailOpen)
            return false;
        FLine->Open = true;
        FLine->OpenedDevice = device;
        return true;
    }

    bool Configure(const TLineSettings& settings) override {
        FLine->Calls.push_back("Configure(" + std::to_string(settings.BaudRate) + "," +
                               std::to_string(settings.WriteTimeoutMs) + ")");
        if (FLine->ThrowOnConfigure)
            throw std::runtime_error("configure");
        if (!FLine->Open || FLine->FailConfigure)
            return false;
        FLine->Settings = settings;
        return true;
    }

    void Close() override {
        FLine->Calls.push_back("Close");
        FLine->Open = false;
    }

    bool IsOpen() const override { return FLine->Open; }
    std::string FailureCause() const override { return FLine->Cause; }
    bool DeviceGone() const override { return FLine->Gone; }

    bool Purge() override {
        FLine->Calls.push_back("Purge");
        if (!FLine->Open || FLine->FailPurge)
            return false;
        FLine->Input.clear();
        return true;
    }

    bool Read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
        FLine->Calls.push_back("Read(" + std::to_string(count) + ")");
        got = 0;
        if (!FLine->Open || FLine->FailRead)
            return false;
        got = static_cast<std::uint32_t>(std::min<std::size_t>(count, FLine->Input.size()));
        std::memcpy(buffer, FLine->Input.data(), got);
        FLine->Input.erase(0, got);
        return true;
    }

    bool Write(const void* buffer, std::uint32_t count, std::uint32_t& written) override {
        FLine->Calls.push_back("Write(" + std::to_string(count) + ")");
        written = 0;
        if (!FLine->Open || FLine->FailWrite)
            return false;
        written = FLine->WriteLimit ? std::min(count, *FLine->WriteLimit) : count;
        const std::string bytes(static_cast<const char*>(buffer), written);
        FLine->Output += bytes;
        if (FLine->OnWrite)
            FLine->OnWrite(*FLine, bytes);
        return true;
    }

    bool WaitForInput(std::uint32_t milliseconds, bool& available) override {
        FLine->Calls.push_back("WaitForInput(" + std::to_string(milliseconds) + ")");
        available = false;
        if (!FLine->Open || FLine->FailWait)
            return false;
        available = !FLine->Input.empty();
        return true;
    }

private:
    std::shared_ptr<TFakeSerialLine> FLine;
};
