#include "TestLine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

TTestLine::TTestLine(const std::string& path, speed_t speed) {
    FFd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (FFd < 0)
        throw SystemError("open " + path);
    SetSpeed(speed);
}

TTestLine::~TTestLine() {
    ::close(FFd);
}

void TTestLine::SetSpeed(speed_t speed) {
    termios settings{};
    if (::tcgetattr(FFd, &settings) != 0)
        throw SystemError("tcgetattr");
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetspeed(&settings, speed);
    if (::tcsetattr(FFd, TCSANOW, &settings) != 0)
        throw SystemError("tcsetattr");
}

void TTestLine::Write(std::string_view bytes) {
    if (::write(FFd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw SystemError("write");
}

std::string TTestLine::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string received;
    while (received.empty() || received.back() != '\r') {
        pollfd line{FFd, POLLIN, 0};
        if (::poll(&line, 1, MillisecondsLeft(deadline)) <= 0)
            break;
        char byte = 0;
        if (::read(FFd, &byte, 1) != 1)
            break;
        received += byte;
    }
    return received;
}

std::string TTestLine::ReadFor(std::chrono::milliseconds duration) {
    const auto deadline = Clock::now() + duration;
    std::string received;
    for (;;) {
        pollfd line{FFd, POLLIN, 0};
        if (::poll(&line, 1, MillisecondsLeft(deadline)) <= 0)
            return received;
        char buffer[64];
        const ssize_t got = ::read(FFd, buffer, sizeof buffer);
        if (got <= 0)
            return received;
        received.append(buffer, static_cast<std::size_t>(got));
    }
}

bool TTestLine::ReadsAsGone(std::chrono::milliseconds timeout) {
    pollfd line{FFd, POLLIN, 0};
    if (::poll(&line, 1, static_cast<int>(timeout.count())) <= 0)
        return false;
    char byte = 0;
    const ssize_t got = ::read(FFd, &byte, 1);
    return got == 0 || (got < 0 && errno == EIO);
}

TTempDir::TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vmeter-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw SystemError("mkdtemp");
    FPath = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

unsigned char XorOf(std::string_view body) {
    unsigned char sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    return sum;
}
