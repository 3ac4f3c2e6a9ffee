// The serial channel on Windows: the kernel32 communications functions on "\\.\COM<n>".

#include "PortNames.h"
#include "SerialBackend.h"
#include "Win32CommSettings.h"

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

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

// The system's text for an error code, without its trailing line break.
std::string SystemMessage(DWORD error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length)
                                                        : "error " + std::to_string(error);
    if (text != nullptr)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message + " (" + std::to_string(error) + ")";
}

// Errors of an open handle whose device was removed (a USB adapter pulled out; Wine reports a
// line whose far side has gone as "not ready").
bool DeviceRemoved(DWORD error) {
    switch (error) {
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_ACCESS_DENIED:
        return true;
    default:
        return false;
    }
}
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
        FDevice = device;
        FCause.clear();
        FGone = false;
        FHandle = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        FQueuesSet = false;
        if (FHandle != INVALID_HANDLE_VALUE)
            return true;
        const DWORD error = ::GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
            FCause = FDevice + ": no such device: is the adapter plugged in?";
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            // Windows refuses a second open of a port this way; it does not name the holder.
            FCause = FDevice + ": in use by another program (" + SystemMessage(error) + ")";
            break;
        default:
            FCause = FDevice + ": " + SystemMessage(error);
        }
        return false;
    }

    bool Configure(const TLineSettings& settings) override {
        if (!IsOpen())
            return NotOpen();
        // The queues once per handle, before any I/O: a speed changed later on the open port
        // (SetCommState alone) leaves them and what they hold alone.
        if (!FQueuesSet && !::SetupComm(FHandle, kCommQueueSize, kCommQueueSize))
            return Failed("cannot set the queues");
        FQueuesSet = true;

        const TCommTimeoutsImage timeoutsImage = MakeCommTimeouts(settings.WriteTimeoutMs);
        COMMTIMEOUTS timeouts;
        std::memcpy(&timeouts, &timeoutsImage, sizeof timeouts);
        if (!::SetCommTimeouts(FHandle, &timeouts))
            return Failed("cannot set the time-outs");

        DCB dcb;
        std::memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = kDcbLength;
        if (!::GetCommState(FHandle, &dcb))
            return Failed("cannot read the line mode");
        TDcbImage image;
        std::memcpy(&image, &dcb, sizeof image);
        ApplyLineMode(image, settings.BaudRate);
        std::memcpy(&dcb, &image, sizeof dcb);
        return ::SetCommState(FHandle, &dcb) != FALSE || Failed("cannot set the line mode");
    }

    void Close() override {
        if (FHandle != INVALID_HANDLE_VALUE)
            ::CloseHandle(FHandle); // the result is of no use: the handle is gone either way
        FHandle = INVALID_HANDLE_VALUE;
    }

    bool IsOpen() const override { return FHandle != INVALID_HANDLE_VALUE; }

    bool Purge() override {
        if (!IsOpen())
            return NotOpen();
        return ::PurgeComm(FHandle, kPurgeBothQueues) != FALSE || Failed("purge");
    }

    bool Read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
        got = 0;
        if (!IsOpen())
            return NotOpen();
        DWORD n = 0;
        const BOOL ok = ::ReadFile(FHandle, buffer, count, &n, nullptr);
        got = n;
        return ok != FALSE || Failed("read");
    }

    bool Write(const void* buffer, std::uint32_t count, std::uint32_t& written) override {
        written = 0;
        if (!IsOpen())
            return NotOpen();
        DWORD n = 0;
        const BOOL ok = ::WriteFile(FHandle, buffer, count, &n, nullptr);
        written = n;
        if (ok == FALSE)
            return Failed("write");
        if (n < count)
            FCause = FDevice + ": write timed out with " + std::to_string(count - n) + " of " +
                     std::to_string(count) + " bytes unsent";
        return true;
    }

    bool WaitForInput(std::uint32_t milliseconds, bool& available) override {
        available = false;
        if (!IsOpen())
            return NotOpen();
        const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
        std::optional<TFineTimerPeriod> finePeriod; // raised only when the wait sleeps
        for (;;) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!::ClearCommError(FHandle, &errors, &status))
                return Failed("wait for input");
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

    bool CheckPresent() override {
        if (!IsOpen())
            return true;
        DWORD errors = 0;
        COMSTAT status{};
        DWORD modem = 0;
        if (::ClearCommError(FHandle, &errors, &status) && ::GetCommModemStatus(FHandle, &modem))
            return true;
        Failed("check the port");
        return !FGone;
    }

    std::string FailureCause() const override { return FCause; }
    bool DeviceGone() const override { return FGone; }

private:
    bool Failed(const char* operation) {
        const DWORD error = ::GetLastError();
        if (DeviceRemoved(error)) {
            FGone = true;
            FCause = FDevice + ": the device is gone (" + SystemMessage(error) +
                     "): is the adapter plugged in?";
        } else {
            FCause = FDevice + ": " + operation + ": " + SystemMessage(error);
        }
        return false;
    }

    // A closed port keeps the cause that closed it, if any.
    bool NotOpen() {
        if (FCause.empty())
            FCause = (FDevice.empty() ? std::string("the port") : FDevice) + ": not open";
        return false;
    }

    std::string FDevice;
    std::string FCause;
    bool FGone = false;
    bool FQueuesSet = false; // SetupComm done on this handle
    // INVALID_HANDLE_VALUE while closed. That value is also the pseudo-handle of the current
    // process, so the operations refuse it themselves instead of handing it to the system.
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

} // namespace

std::unique_ptr<TSerialBackend> CreatePlatformSerialBackend() {
    return std::make_unique<TWin32SerialBackend>();
}
