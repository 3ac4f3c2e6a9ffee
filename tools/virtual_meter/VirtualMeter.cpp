#include "VirtualMeter.h"

#include "Faults.h"
#include "FrameReader.h"
#include "MeterLogic.h"
#include "MeterProtocol.h"
#include "Pty.h"
#include "Symlink.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <random>
#include <unistd.h>

namespace vmeter {

namespace {

using namespace std::chrono_literals;

// How long the meters' thread waits at most before it looks at its stop and drop requests.
constexpr auto PollInterval = 20ms;
constexpr auto SleepSlice = 5ms;

void ValidateAddress(int addr) {
    if (addr < 0 || addr > 99)
        throw EVirtualMeter("Meter address out of range 0..99: " + std::to_string(addr));
}

TOptions Validated(TOptions options) {
    for (int addr : options.BusMeters)
        ValidateAddress(addr);
    if (options.OptoMeter != -1)
        ValidateAddress(options.OptoMeter);
    if (options.TurnaroundMs < 0)
        throw EVirtualMeter("Turnaround must not be negative: " +
                            std::to_string(options.TurnaroundMs));
    if (options.TurnaroundMaxMs < 0)
        throw EVirtualMeter("Turnaround must not be negative: " +
                            std::to_string(options.TurnaroundMaxMs));
    return options;
}

} // namespace

struct TVirtualMeter::TImpl {
    explicit TImpl(TOptions options)
        : Options(Validated(std::move(options))),
          Delivery(Options.Delivery, std::random_device{}()) {
        State.Clock = TMeterClock(Options.Clock);
        if (!Options.LinkPath.empty())
            Link = std::make_unique<TSymlink>(Options.LinkPath, Pty.SlaveName());
        Worker = std::thread([this] { Run(); });
    }

    ~TImpl() {
        Stop = true;
        Worker.join();
    }

    const TOptions Options;
    TDelivery Delivery; // the worker's only, once it runs
    TPty Pty;           // touched by the worker only, once it runs
    std::unique_ptr<TSymlink> Link;

    mutable std::mutex Mutex; // guards everything below up to Worker
    std::condition_variable LineClosed;
    std::vector<TLogEntry> Log;
    TFault Fault = TFault::None;
    int FaultCount = 0; // -1: forever
    TMeterState State;
    bool LineDropped = false;

    std::atomic<bool> Stop{false};
    std::atomic<bool> DropRequested{false};
    TFrameReader Reader;
    std::mt19937 Random{std::random_device{}()}; // the worker's only
    std::thread Worker;

    void Run();
    void WaitForSlave();
    void HandleFrame(const std::string& frame, std::chrono::steady_clock::time_point heardAt);
    std::chrono::steady_clock::time_point ReceivedAt(const std::string& frame,
                                                     std::chrono::steady_clock::time_point heardAt);
    std::chrono::milliseconds Turnaround();
    TFault TakeFault(const TRequest& request);
    bool Send(const std::string& bytes);
    bool WriteAll(const char* data, std::size_t size);
    bool Pause(std::chrono::steady_clock::duration duration);
    void CloseLine();
    void Record(TLogEntry entry);
    void Report(const TLogEntry& entry);
};

void TVirtualMeter::TImpl::Run() {
    std::array<char, 256> buffer{};
    while (!Stop) {
        if (DropRequested)
            CloseLine();
        if (!Pty.IsOpen()) {
            std::this_thread::sleep_for(PollInterval);
            continue;
        }
        pollfd master{Pty.MasterFd(), POLLIN, 0};
        const int ready = ::poll(&master, 1, static_cast<int>(PollInterval.count()));
        if (ready <= 0)
            continue;
        if (master.revents & POLLIN) {
            const ssize_t got = ::read(Pty.MasterFd(), buffer.data(), buffer.size());
            const auto heardAt = std::chrono::steady_clock::now();
            if (got > 0) {
                for (const std::string& frame :
                     Reader.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
                    HandleFrame(frame, heardAt);
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (got < 0 && errno != EIO)
                std::cerr << "virtual meter: reading the line failed: " << std::strerror(errno)
                          << '\n';
        }
        // EIO or a hang-up: no process holds the slave open right now. A half-heard frame
        // belongs to the program that closed it.
        Reader = TFrameReader();
        WaitForSlave();
    }
}

void TVirtualMeter::TImpl::WaitForSlave() {
    Pause(PollInterval);
}

TFault TVirtualMeter::TImpl::TakeFault(const TRequest& request) {
    if (FaultCount == 0 || !FaultApplies(Fault, request))
        return TFault::None;
    const TFault fault = Fault;
    if (FaultCount > 0 && --FaultCount == 0)
        Fault = TFault::None;
    return fault;
}

void TVirtualMeter::TImpl::HandleFrame(const std::string& frame,
                                       std::chrono::steady_clock::time_point heardAt) {
    const auto receivedAt = ReceivedAt(frame, heardAt);
    TLogEntry entry{frame, Pty.BaudRate(), false};
    const std::optional<TRequest> request = ParseRequest(frame);
    // Frames starting with "A" or "E" are replies of meters; meters never answer those, so a
    // line that echoes cannot set off an endless exchange.
    const bool isReply = request && (request->Cmd == 'A' || request->Cmd == 'E');
    const std::optional<int> meter =
        request && !isReply ? AnsweringMeter(Options, *request, entry.BaudRate) : std::nullopt;
    if (!meter) {
        Record(entry);
        Report(entry);
        return;
    }

    std::string wire;
    TFault fault = TFault::None;
    std::size_t index = 0;
    {
        std::lock_guard lock(Mutex);
        fault = TakeFault(*request);
        if (FaultLetsMeterAct(fault)) {
            TRequest acted = *request;
            if (fault == TFault::WriteDataDiff)
                acted.Data = FormatClockData(*ParseClockData(acted.Data) + 1);
            const bool isOpto = *meter == Options.OptoMeter;
            const std::string body = AnswerBody(*meter, isOpto, acted, State, receivedAt);
            if (acted.Object == 'C' && body.front() == 'A')
                entry.ClockOffsetMs = State.Clock.OffsetMs(receivedAt);
            wire = WireReply(body, fault);
        } else if (const char letter = FaultErrorLetter(fault)) {
            wire = WireReply(ErrorBody(*meter, letter), fault);
        }
        entry.Answered = !wire.empty();
        Log.push_back(entry);
        index = Log.size() - 1;
    }
    if (fault == TFault::DropLine)
        CloseLine();
    if (entry.Answered && !Send(wire)) {
        entry.Answered = false;
        std::lock_guard lock(Mutex);
        if (index < Log.size())
            Log[index].Answered = false;
    }
    Report(entry);
}

// With line timing the pseudo-terminal hands over a whole frame at once, so a request counts as
// received one line time after its first byte was heard (less what arrives early, plus a
// jitter); the meters wait for that instant. (A frame that came in pieces is timed from the
// piece that completed it.)
std::chrono::steady_clock::time_point
TVirtualMeter::TImpl::ReceivedAt(const std::string& frame,
                                 std::chrono::steady_clock::time_point heardAt) {
    const int baud = Pty.BaudRate();
    const bool paced = Options.Pace && baud > 0;
    const auto received = Delivery.RequestReceived(
        paced ? heardAt : std::chrono::steady_clock::now(), frame.size(), baud, paced);
    Pause(received - std::chrono::steady_clock::now());
    return received;
}

std::chrono::milliseconds TVirtualMeter::TImpl::Turnaround() {
    if (Options.TurnaroundMaxMs <= Options.TurnaroundMs)
        return std::chrono::milliseconds(Options.TurnaroundMs);
    std::uniform_int_distribution<int> pick(Options.TurnaroundMs, Options.TurnaroundMaxMs);
    return std::chrono::milliseconds(pick(Random));
}

bool TVirtualMeter::TImpl::Send(const std::string& bytes) {
    if (!Pause(Turnaround()))
        return false;
    const auto jitter = Delivery.DrawJitter();
    auto lineEnd = std::chrono::steady_clock::now();
    if (!Options.Pace) {
        if (!Pause(Delivery.HandOver(lineEnd, 0, false, jitter) - lineEnd))
            return false;
        return WriteAll(bytes.data(), bytes.size());
    }
    // 10 bits on the line per byte: start, 8 data, stop; the far side has the byte once its
    // stop bit is over (or earlier, or in a later batch, as the delivery says). The speed is
    // read per byte, as the program may change it. Each byte is due at a point measured from
    // the start of the reply, so the oversleeping of one pause is not added up over the reply.
    for (char byte : bytes) {
        const int baud = Pty.BaudRate();
        lineEnd += TDelivery::ByteTime(baud);
        const auto handOver = Delivery.HandOver(lineEnd, baud, baud > 0, jitter);
        if (!Pause(handOver - std::chrono::steady_clock::now()))
            return false;
        if (!WriteAll(&byte, 1))
            return false;
    }
    return true;
}

bool TVirtualMeter::TImpl::WriteAll(const char* data, std::size_t size) {
    while (size > 0) {
        if (Stop || DropRequested || !Pty.IsOpen())
            return false;
        const ssize_t written = ::write(Pty.MasterFd(), data, size);
        if (written > 0) {
            data += written;
            size -= static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EAGAIN) {
            pollfd master{Pty.MasterFd(), POLLOUT, 0};
            ::poll(&master, 1, static_cast<int>(PollInterval.count()));
        } else if (!(written < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

// Sleeps in short slices; false when a stop or a drop request cut the pause short.
bool TVirtualMeter::TImpl::Pause(std::chrono::steady_clock::duration duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!Stop && !DropRequested) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, SleepSlice));
    }
    return false;
}

void TVirtualMeter::TImpl::CloseLine() {
    // As an unplugged adapter's device node, the link goes first: a pseudo-terminal opened
    // later by anyone may get the closed one's number, and the link must never lead there.
    Link.reset();
    Pty.Close();
    std::lock_guard lock(Mutex);
    LineDropped = true;
    DropRequested = false;
    LineClosed.notify_all();
}

void TVirtualMeter::TImpl::Record(TLogEntry entry) {
    std::lock_guard lock(Mutex);
    Log.push_back(std::move(entry));
}

// The meters keep answering when the caller's handler fails; the failure is reported.
void TVirtualMeter::TImpl::Report(const TLogEntry& entry) {
    if (!Options.OnRequest)
        return;
    try {
        Options.OnRequest(entry);
    } catch (const std::exception& error) {
        std::cerr << "virtual meter: request handler failed: " << error.what() << '\n';
    }
}

TVirtualMeter::TVirtualMeter(TOptions options)
    : FImpl(std::make_unique<TImpl>(std::move(options))) {}

TVirtualMeter::~TVirtualMeter() = default;

std::string TVirtualMeter::SlavePath() const {
    return FImpl->Options.LinkPath.empty() ? FImpl->Pty.SlaveName() : FImpl->Options.LinkPath;
}

std::string TVirtualMeter::DevicePath() const {
    return FImpl->Pty.SlaveName();
}

void TVirtualMeter::SetFault(TFault fault, int count) {
    std::lock_guard lock(FImpl->Mutex);
    FImpl->Fault = fault;
    FImpl->FaultCount = fault == TFault::None ? 0 : count;
}

std::vector<TLogEntry> TVirtualMeter::Log() const {
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->Log;
}

void TVirtualMeter::ClearLog() {
    std::lock_guard lock(FImpl->Mutex);
    FImpl->Log.clear();
}

bool TVirtualMeter::LinkMode() const {
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->State.LinkMode;
}

std::int64_t TVirtualMeter::ClockOffsetSeconds() const {
    return std::llround(ClockOffsetMs() / 1000);
}

double TVirtualMeter::ClockOffsetMs() const {
    std::lock_guard lock(FImpl->Mutex);
    return FImpl->State.Clock.OffsetMs(std::chrono::steady_clock::now());
}

void TVirtualMeter::DropLine() {
    std::unique_lock lock(FImpl->Mutex);
    if (FImpl->LineDropped)
        return;
    FImpl->DropRequested = true;
    FImpl->LineClosed.wait(lock, [this] { return FImpl->LineDropped; });
}

} // namespace vmeter
