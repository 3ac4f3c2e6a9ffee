// The serial channel on POSIX systems: termios on a terminal device.

#include "PosixFailureCause.h"
#include "SerialBackend.h"

#include <cerrno>
#include <chrono>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

// Owns one file descriptor; closing it also releases the flock that makes the port exclusive.
class TFileDescriptor {
public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor() { Reset(); }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(TFileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            FFd = other.FFd;
            other.FFd = -1;
        }
        return *this;
    }

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    void Reset() {
        if (FFd >= 0)
            ::close(FFd); // nothing useful can be done about a failed close
        FFd = -1;
    }

private:
    int FFd = -1;
};

struct TSpeed {
    std::int32_t BaudRate;
    speed_t Constant;
};

constexpr TSpeed kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// termios knows speeds only as constants: a speed without one cannot be set.
std::optional<speed_t> SpeedConstant(std::int32_t baudRate) {
    for (const TSpeed& speed : kSpeeds)
        if (speed.BaudRate == baudRate)
            return speed.Constant;
    return std::nullopt;
}

// Modem-line ioctls are not supported by every device (a pseudo-terminal has no DTR or RTS);
// such a device simply has no lines to set.
bool ModemLineIoctl(int fd, unsigned long request, int bits) {
    if (::ioctl(fd, request, &bits) == 0)
        return true;
    return errno == ENOTTY || errno == EINVAL;
}

bool HungUp(short revents) {
    return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int RemainingMs(TClock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class TPosixSerialBackend final : public TSerialBackend {
public:
    ~TPosixSerialBackend() override { Close(); }

    bool Open(const std::string& device) override {
        Close();
        FDevice = device;
        FCause.clear();
        FGone = false;
        TFileDescriptor fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.Valid())
            return OpenFailed(errno);
        // Exclusive use: flock also holds against root, which TIOCEXCL lets through.
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            fd.Reset(); // our own descriptor must not count among the holders
            return OpenFailed(error);
        }
        if (::ioctl(fd.Get(), TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
            const int error = errno;
            fd.Reset();
            return OpenFailed(error);
        }
        FFd = std::move(fd);
        return true;
    }

    bool Configure(const TLineSettings& settings) override {
        if (!FFd.Valid())
            return NotOpen();
        const auto speed = SpeedConstant(settings.BaudRate);
        if (!speed) {
            FCause = FDevice + ": " + std::to_string(settings.BaudRate) +
                     " baud is not a speed the system can set";
            return false;
        }
        if (!SetLineMode(*speed))
            return Failed("cannot set the line mode", errno);
        FWriteTimeoutMs = settings.WriteTimeoutMs;
        return true;
    }

    bool SetLineMode(speed_t speed) {
        termios tio{};
        if (::tcgetattr(FFd.Get(), &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        tio.c_cflag |= CS8 | CLOCAL | CREAD;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
        // VMIN=1 with O_NONBLOCK: "nothing waiting" is EAGAIN, so a read of 0 means the device
        // is gone rather than being mistaken for an empty queue.
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
            return false;
        if (::tcsetattr(FFd.Get(), TCSANOW, &tio) != 0)
            return false;
        // tcsetattr succeeds when any part of the change was applied: check the whole of it.
        termios applied{};
        if (::tcgetattr(FFd.Get(), &applied) != 0)
            return false;
        if (::cfgetospeed(&applied) != speed || ::cfgetispeed(&applied) != speed ||
            (applied.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) != CS8 ||
            (applied.c_iflag & (IXON | IXOFF | IXANY)) != 0 || (applied.c_lflag & ICANON) != 0) {
            errno = EINVAL; // the driver took only part of the change
            return false;
        }
        return ModemLineIoctl(FFd.Get(), TIOCMBIS, TIOCM_DTR) &&
               ModemLineIoctl(FFd.Get(), TIOCMBIC, TIOCM_RTS);
    }

    void Close() override {
        // TIOCEXCL belongs to the device, not to this descriptor, and a pseudo-terminal's slave
        // outlives our descriptor while its master is open: give the device back explicitly.
        if (FFd.Valid())
            ::ioctl(FFd.Get(), TIOCNXCL);
        FFd.Reset();
    }

    bool IsOpen() const override { return FFd.Valid(); }

    bool Purge() override {
        if (!FFd.Valid())
            return NotOpen();
        return ::tcflush(FFd.Get(), TCIOFLUSH) == 0 || Failed("purge", errno);
    }

    bool Read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
        got = 0;
        if (!FFd.Valid())
            return NotOpen();
        if (count == 0)
            return true;
        for (;;) {
            const ssize_t n = ::read(FFd.Get(), buffer, count);
            if (n > 0) {
                got = static_cast<std::uint32_t>(n);
                return true;
            }
            if (n == 0)
                return Gone("end of file");
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return Failed("read", errno);
            // Nothing waiting, unless the device has hung up.
            pollfd pfd{FFd.Get(), POLLIN, 0};
            if (::poll(&pfd, 1, 0) < 0)
                return errno == EINTR || Failed("poll", errno);
            return !HungUp(pfd.revents) || Gone("hang-up");
        }
    }

    bool Write(const void* buffer, std::uint32_t count, std::uint32_t& written) override {
        written = 0;
        if (!FFd.Valid())
            return NotOpen();
        const auto* bytes = static_cast<const unsigned char*>(buffer);
        const auto deadline = TClock::now() + std::chrono::milliseconds(FWriteTimeoutMs);
        while (written < count) {
            const ssize_t n = ::write(FFd.Get(), bytes + written, count - written);
            if (n > 0) {
                written += static_cast<std::uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return Failed("write", errno);
            // The driver's queue is full: wait for room until the write time-out has passed,
            // then report the short write.
            const int left = RemainingMs(deadline);
            if (left == 0) {
                FCause = FDevice + ": write timed out after " + std::to_string(FWriteTimeoutMs) +
                         " ms with " + std::to_string(count - written) + " of " +
                         std::to_string(count) + " bytes unsent";
                return true;
            }
            pollfd pfd{FFd.Get(), POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, left);
            if (ready < 0 && errno != EINTR)
                return Failed("poll", errno);
            if (ready > 0 && HungUp(pfd.revents))
                return Gone("hang-up");
        }
        return true;
    }

    bool WaitForInput(std::uint32_t milliseconds, bool& available) override {
        available = false;
        if (!FFd.Valid())
            return NotOpen();
        const auto deadline = TClock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            pollfd pfd{FFd.Get(), POLLIN, 0};
            const int ready = ::poll(&pfd, 1, RemainingMs(deadline));
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return Failed("poll", errno);
            }
            if (ready == 0)
                return true;
            // A hung-up device also reports POLLIN, but nothing can be read from it any more.
            if (HungUp(pfd.revents))
                return Gone("hang-up");
            available = (pfd.revents & POLLIN) != 0;
            return true;
        }
    }

    bool CheckPresent() override {
        if (!FFd.Valid())
            return true;
        pollfd pfd{FFd.Get(), POLLIN, 0};
        if (::poll(&pfd, 1, 0) > 0 && HungUp(pfd.revents))
            return Gone("hang-up");
        // An unplugged adapter's device node goes away, at times before its line hangs up.
        struct stat node {};
        if (::stat(FDevice.c_str(), &node) != 0 && (errno == ENOENT || errno == ENODEV))
            return Gone("its device node is gone");
        return true;
    }

    std::string FailureCause() const override { return FCause; }
    bool DeviceGone() const override { return FGone; }

private:
    bool OpenFailed(int error) {
        FCause = OpenFailureCause(FDevice, error);
        return false;
    }

    // EIO and its kin on an open port: the device behind it has vanished.
    bool Failed(const char* operation, int error) {
        if (error == EIO || error == ENXIO || error == ENODEV)
            return Gone(SystemErrorText(error));
        FCause = OperationFailureCause(FDevice, operation, error);
        return false;
    }

    bool Gone(const std::string& reason) {
        FGone = true;
        FCause = DeviceGoneCause(FDevice, reason);
        return false;
    }

    // A closed port keeps the cause that closed it, if any.
    bool NotOpen() {
        if (FCause.empty())
            FCause = (FDevice.empty() ? std::string("the port") : FDevice) + ": not open";
        return false;
    }

    TFileDescriptor FFd;
    std::uint32_t FWriteTimeoutMs = 200;
    std::string FDevice;
    std::string FCause;
    bool FGone = false;
};

} // namespace

std::unique_ptr<TSerialBackend> CreatePlatformSerialBackend() {
    return std::make_unique<TPosixSerialBackend>();
}
