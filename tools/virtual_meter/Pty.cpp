#include "Pty.h"

#include "VirtualMeter.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace vmeter {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

const std::array<std::pair<speed_t, int>, 19> Speeds{{
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
}};

void MakeSlaveRaw(const std::string& slaveName) {
    const int slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0)
        throw EVirtualMeter(SystemError("Cannot open the pseudo-terminal " + slaveName));
    termios settings{};
    bool ok = ::tcgetattr(slave, &settings) == 0;
    if (ok) {
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        ok = ::tcsetattr(slave, TCSANOW, &settings) == 0;
    }
    const std::string error =
        ok ? "" : SystemError("Cannot set up the pseudo-terminal " + slaveName);
    ::close(slave);
    if (!ok)
        throw EVirtualMeter(error);
}

} // namespace

TPty::TPty() {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (FMaster < 0)
        throw EVirtualMeter(SystemError("Cannot open a pseudo-terminal"));
    try {
        if (::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
            throw EVirtualMeter(SystemError("Cannot unlock the pseudo-terminal"));
        std::array<char, 128> name{};
        if (::ptsname_r(FMaster, name.data(), name.size()) != 0)
            throw EVirtualMeter(SystemError("Cannot name the pseudo-terminal"));
        FSlaveName = name.data();
        // Close-on-exec: a program that the tests start beside an in-process meter must not
        // hold the master side, or dropping the line would not hang up its slave side.
        const int flags = ::fcntl(FMaster, F_GETFL);
        if (flags < 0 || ::fcntl(FMaster, F_SETFL, flags | O_NONBLOCK) != 0 ||
            ::fcntl(FMaster, F_SETFD, FD_CLOEXEC) != 0)
            throw EVirtualMeter(SystemError("Cannot set up the pseudo-terminal"));
        MakeSlaveRaw(FSlaveName);
    } catch (...) {
        Close();
        throw;
    }
}

TPty::~TPty() {
    Close();
}

int TPty::BaudRate() const {
    termios settings{};
    if (FMaster < 0 || ::tcgetattr(FMaster, &settings) != 0)
        return 0;
    const speed_t speed = ::cfgetospeed(&settings);
    for (const auto& [code, rate] : Speeds)
        if (code == speed)
            return rate;
    return 0;
}

void TPty::Close() {
    if (FMaster >= 0)
        ::close(FMaster);
    FMaster = -1;
}

} // namespace vmeter
