// The serial channel on Windows: the kernel32 communications functions on "\\.\COM<n>".

#include "PortNames.h"
#include "SerialBackend.h"
#include "Win32CommSettings.h"

#include <cstddef>
#include <cstring>
#include <optional>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN // keeps out winspool.h, whose SetPort macro clashes with the channel's
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h: the timer-resolution calls of the multimedia API.
#include <mmsystem.h>

static_assert(sizeof(DCB) == sizeof(TDcbImage));
static_assert(offsetof(DCB, BaudRate) == offsetof(TDcbImage, BaudRate));
static_assert(offsetof(DCB, XonLim) == offsetof(TDcbImage, XonLim));
static_assert(offsetof(DCB, XoffLim) == offsetof(TDcbImage, XoffLim));
static_assert(offsetof(DCB, ByteSize) == offsetof(TDcbImage, ByteSize));
static_assert(offsetof(DCB, StopBits) == offsetof(TDcbImage, StopBits));
static_assert(offsetof(DCB, wReserved1) == offsetof(TDcbImage, wReserved1));
static_assert(sizeof(COMMTIMEOUTS) == sizeof(TCommTimeoutsImage));
static_assert((PURGE_TXCLEAR | PURGE_RXCLEAR) == kPurgeBothQueues);
static_assert(NOPARITY == 0 && ONESTOPBIT == 0 && DTR_CONTROL_ENABLE == 1);

namespace {

// While it lives, the system's timer runs at 1 ms, so that Sleep(1) sleeps about 1 ms and not a
// whole scheduler tick (often 15.6 ms), which would blur when a reply's bytes arrived. It
// touches no setting of the port.
class TFineTimerPeriod {
public:
    TFineTimerPeriod() : FRaised(::timeBeginPeriod(1) == TIMERR_NOERROR) {}
    ~TFineTimerPeriod() {
        if (FRaised)
            ::timeEndPeriod(1);
    }
    TFineTimerPeriod(const TFineTimerPeriod&) = delete;
    TFineTimerPeriod& operator=(const TFineTimerPeriod&) = delete;

private:
    bool FRaised;
};

class TWin32SerialBackend final : public TSerialBackend {
public:
    ~TWin32SerialBackend() override { Close(); }

    bool Open(const std::string& device) override {
        Close();
        FHandle = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        return FHandle != INVALID_HANDLE_VALUE;
    }

    bool Configure(const TLineSettings& settings) override {
        if (!IsOpen() || !::SetupComm(FHandle, kCommQueueSize, kCommQueueSize))
            return false;

        const TCommTimeoutsImage timeoutsImage = MakeCommTimeouts(settings.WriteTimeoutMs);
        COMMTIMEOUTS timeouts;
        std::memcpy(&timeouts, &timeoutsImage, sizeof timeouts);
        if (!::SetCommTimeouts(FHandle, &timeouts))
            return false;

        DCB dcb;
        std::memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = kDcbLength;
        if (!::GetCommState(FHandle, &dcb))
            return false;
        TDcbImage image;
        std::memcpy(&image, &dcb, sizeof image);
        ApplyLineMode(image, settings.BaudRate);
        std::memcpy(&dcb, &image, sizeof dcb);
        return ::SetCommState(FHandle, &dcb) != FALSE;
    }

    void Close() override {
        if (FHandle != INVALID_HANDLE_VALUE)
            ::CloseHandle(FHandle); // the result is of no use: the handle is gone either way
        FHandle = INVALID_HANDLE_VALUE;
    }

    bool IsOpen() const override { return FHandle != INVALID_HANDLE_VALUE; }

    bool Purge() override { return IsOpen() && ::PurgeComm(FHandle, kPurgeBothQueues) != FALSE; }

    bool Read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
        got = 0;
        if (!IsOpen())
            return false;
        DWORD n = 0;
        const BOOL ok = ::ReadFile(FHandle, buffer, count, &n, nullptr);
        got = n;
        return ok != FALSE;
    }

    bool Write(const void* buffer, std::uint32_t count, std::uint32_t& written) override {
        written = 0;
        if (!IsOpen())
            return false;
        DWORD n = 0;
        const BOOL ok = ::WriteFile(FHandle, buffer, count, &n, nullptr);
        written = n;
        return ok != FALSE;
    }

    bool WaitForInput(std::uint32_t milliseconds, bool& available) override {
        available = false;
        if (!IsOpen())
            return false;
        const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
        std::optional<TFineTimerPeriod> finePeriod; // raised only when the wait sleeps
        for (;;) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!::ClearCommError(FHandle, &errors, &status))
                return false;
            if (status.cbInQue > 0) {
                available = true;
                return true;
            }
            if (::GetTickCount64() >= deadline)
                return true;
            if (!finePeriod)
                finePeriod.emplace();
            ::Sleep(1);
        }
    }

private:
    // INVALID_HANDLE_VALUE while closed. That value is also the pseudo-handle of the current
    // process, so the operations refuse it themselves instead of handing it to the system.
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

} // namespace

std::unique_ptr<TSerialBackend> CreatePlatformSerialBackend() {
    return std::make_unique<TWin32SerialBackend>();
}
