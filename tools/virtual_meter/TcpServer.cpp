#include "TcpServer.h"

#include "TelnetServer.h"
#include "VirtualMeter.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace vmeter {

namespace {

constexpr int PollMs = 20;
constexpr int RawSpeed = 9600;

struct TSpeed {
    int Rate;
    speed_t Code;
};
constexpr TSpeed Speeds[] = {{300, B300},     {1200, B1200},   {2400, B2400},
                             {4800, B4800},   {9600, B9600},   {19200, B19200},
                             {38400, B38400}, {57600, B57600}, {115200, B115200}};

// Sets the slave's speed where a pseudo-terminal has it; returns the speed it now has.
int SetSpeed(int fd, int rate) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return 0;
    for (const TSpeed& speed : Speeds)
        if (speed.Rate == rate) {
            ::cfsetispeed(&settings, speed.Code);
            ::cfsetospeed(&settings, speed.Code);
            ::tcsetattr(fd, TCSANOW, &settings);
        }
    ::tcgetattr(fd, &settings);
    for (const TSpeed& speed : Speeds)
        if (speed.Code == ::cfgetospeed(&settings))
            return speed.Rate;
    return 0;
}

int OpenSlave(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    return fd;
}

// Hands all the bytes to `put` (send or write), waiting for room when the descriptor is full.
template <class TPut> bool PutAll(int fd, const std::string& bytes, TPut put) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = put(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, PollMs);
        } else {
            return false;
        }
    }
    return true;
}

bool SendAll(int fd, const std::string& bytes) {
    return PutAll(fd, bytes, [](int to, const char* data, std::size_t size) {
        return ::send(to, data, size, MSG_NOSIGNAL);
    });
}

bool WriteAll(int fd, const std::string& bytes) {
    return PutAll(fd, bytes, [](int to, const char* data, std::size_t size) {
        return ::write(to, data, size);
    });
}

} // namespace

TTcpServer::TTcpServer(const std::string& slavePath, const std::string& listen, bool rfc2217)
    : FSlavePath(slavePath), FRfc2217(rfc2217) {
    const std::size_t colon = listen.rfind(':');
    unsigned port = 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    const char* portText = colon == std::string::npos ? nullptr : listen.c_str() + colon + 1;
    const char* end = listen.c_str() + listen.size();
    if (!portText || std::from_chars(portText, end, port).ptr != end || portText == end ||
        port > 65535 ||
        ::inet_pton(AF_INET, listen.substr(0, colon).c_str(), &address.sin_addr) != 1)
        throw EVirtualMeter("Invalid value for --listen: \"" + listen +
                            "\" (expected an IPv4 address and a port, as 127.0.0.1:7000)");
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (FListener < 0 || ::setsockopt(FListener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(FListener, 4) != 0) {
        const std::string reason = std::strerror(errno);
        if (FListener >= 0)
            ::close(FListener);
        throw EVirtualMeter("Cannot listen on " + listen + ": " + reason);
    }
    socklen_t length = sizeof address;
    ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    FWorker = std::thread([this] { Run(); });
}

TTcpServer::~TTcpServer() {
    FStop = true;
    FWorker.join();
    ::close(FListener);
}

void TTcpServer::Run() {
    while (!FStop) {
        pollfd listener{FListener, POLLIN, 0};
        if (::poll(&listener, 1, PollMs) <= 0)
            continue;
        const int client = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client < 0)
            continue;
        Serve(client);
        ::close(client);
    }
}

// Carries bytes both ways until the client leaves, the line is gone or the server stops.
void TTcpServer::Serve(int client) {
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int slave = OpenSlave(FSlavePath);
    if (slave < 0)
        return; // the meters' line is gone: the client sees its connection closed
    TTelnetServer telnet({[slave](int baud) { return SetSpeed(slave, baud); },
                          [slave] {
                              ::tcflush(slave, TCIOFLUSH);
                          }});
    SetSpeed(slave, RawSpeed);
    bool alive = !FRfc2217 || SendAll(client, telnet.Greeting());
    char buffer[1024];
    while (alive && !FStop) {
        pollfd fds[3] = {{client, POLLIN, 0}, {slave, POLLIN, 0}, {FListener, POLLIN, 0}};
        if (::poll(fds, 3, PollMs) <= 0)
            continue;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) {
                alive = false;
                break;
            }
            if (n > 0) {
                std::string toLine(buffer, static_cast<std::size_t>(n)), toClient;
                if (FRfc2217) {
                    const std::string received = std::move(toLine);
                    toLine.clear();
                    telnet.Feed(received, toLine, toClient);
                }
                alive = SendAll(client, toClient) && WriteAll(slave, toLine);
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(slave, buffer, sizeof buffer);
            if (n > 0) {
                const std::string data(buffer, static_cast<std::size_t>(n));
                alive = SendAll(client, FRfc2217 ? TTelnetServer::Escape(data) : data);
            } else if (!(n < 0 && (errno == EAGAIN || errno == EINTR))) {
                alive = false; // the meters dropped the line
            }
        }
        // Busy: a second client is turned away. Looked at last, so that a client that left
        // and came back at once is served, not turned away.
        if (alive && (fds[2].revents & POLLIN)) {
            const int other = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
            if (other >= 0)
                ::close(other);
        }
    }
    ::close(slave);
}

} // namespace vmeter
