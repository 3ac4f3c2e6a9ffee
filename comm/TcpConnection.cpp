#include "TcpConnection.h"

#include <chrono>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using TClock = std::chrono::steady_clock;

#ifdef _WIN32
using TSocket = SOCKET;
const std::intptr_t NoSocket = static_cast<std::intptr_t>(INVALID_SOCKET);

int LastError() {
    return WSAGetLastError();
}
bool WouldBlock(int error) {
    return error == WSAEWOULDBLOCK;
}
bool InProgress(int error) {
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}
bool RefusedError(int error) {
    return error == WSAECONNREFUSED;
}
bool Interrupted(int error) {
    return error == WSAEINTR;
}
void CloseSocket(TSocket s) {
    ::closesocket(s);
}
bool SetNonBlocking(TSocket s) {
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}
std::string ErrorText(int error) {
    char text[256] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.'))
        result.pop_back();
    return result.empty() ? "Winsock error " + std::to_string(error) : result;
}
// Winsock must be started once per process before the first socket.
bool StartNetwork() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
int Send(TSocket s, const char* data, std::size_t size) {
    return ::send(s, data, static_cast<int>(size), 0);
}
int Recv(TSocket s, std::uint8_t* buffer, std::size_t size) {
    return ::recv(s, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
}
#else
using TSocket = int;
const std::intptr_t NoSocket = -1;

int LastError() {
    return errno;
}
bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}
bool InProgress(int error) {
    return error == EINPROGRESS;
}
bool RefusedError(int error) {
    return error == ECONNREFUSED;
}
bool Interrupted(int error) {
    return error == EINTR;
}
void CloseSocket(TSocket s) {
    ::close(s);
}
bool SetNonBlocking(TSocket s) {
#ifdef SO_NOSIGPIPE
    const int on = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on) != 0)
        return false;
#endif
    const int flags = ::fcntl(s, F_GETFL);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
std::string ErrorText(int error) {
    return std::strerror(error);
}
bool StartNetwork() {
    return true;
}
// A connection the server has closed must give an error, not a SIGPIPE: per call where the
// system knows MSG_NOSIGNAL, per socket (SO_NOSIGPIPE) where it does not.
#ifdef MSG_NOSIGNAL
constexpr int SendFlags = MSG_NOSIGNAL;
#else
constexpr int SendFlags = 0;
#endif
ssize_t Send(TSocket s, const char* data, std::size_t size) {
    return ::send(s, data, size, SendFlags);
}
ssize_t Recv(TSocket s, std::uint8_t* buffer, std::size_t size) {
    return ::recv(s, buffer, size, 0);
}
#endif

TSocket AsSocket(std::intptr_t s) {
    return static_cast<TSocket>(s);
}

int RemainingMs(TClock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

struct TAddrInfoFree {
    void operator()(addrinfo* info) const { ::freeaddrinfo(info); }
};

} // namespace

TTcpConnection::TTcpConnection() : FSocket(NoSocket) {}

TTcpConnection::~TTcpConnection() {
    Close();
}

bool TTcpConnection::IsOpen() const {
    return FSocket != NoSocket;
}

void TTcpConnection::Close() {
    if (FSocket != NoSocket)
        CloseSocket(AsSocket(FSocket));
    FSocket = NoSocket;
}

bool TTcpConnection::Fail(int error) {
    FFailure = ErrorText(error);
    return false;
}

TTcpConnection::TWait TTcpConnection::WaitFor(bool output, std::uint32_t milliseconds) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
#ifdef _WIN32
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(AsSocket(FSocket), &ready);
        fd_set failed = ready;
        const int left = RemainingMs(deadline);
        timeval wait{left / 1000, (left % 1000) * 1000};
        const int n =
            ::select(0, output ? nullptr : &ready, output ? &ready : nullptr, &failed, &wait);
#else
        pollfd pfd{AsSocket(FSocket), static_cast<short>(output ? POLLOUT : POLLIN), 0};
        const int n = ::poll(&pfd, 1, RemainingMs(deadline));
#endif
        if (n > 0)
            return TWait::Ready; // errors and hang-ups show in the call that follows
        if (n == 0)
            return TWait::TimedOut;
        const int error = LastError();
        if (!Interrupted(error)) {
            Fail(error);
            return TWait::Failed;
        }
    }
}

bool TTcpConnection::Connect(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs) {
    Close();
    FRefused = false;
    if (!StartNetwork())
        return Fail(LastError());
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup != 0) {
        FFailure = "host not found (" + std::string(::gai_strerror(lookup)) + ")";
        return false;
    }
    const std::unique_ptr<addrinfo, TAddrInfoFree> addresses(found);
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    // Each address the name resolves to is tried in turn within the one time limit.
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        const TSocket s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (static_cast<std::intptr_t>(s) == NoSocket) {
            Fail(LastError());
            continue;
        }
        FSocket = static_cast<std::intptr_t>(s);
        int on = 1;
        if (!SetNonBlocking(s) ||
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                         sizeof on) != 0) {
            Fail(LastError());
            Close();
            continue;
        }
        const auto started = TClock::now();
        const auto connected = [&] {
            FConnectMs = std::chrono::duration<double, std::milli>(TClock::now() - started).count();
            return true;
        };
        if (::connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0)
            return connected();
        const int error = LastError();
        if (!InProgress(error)) {
            Fail(error);
            FRefused = RefusedError(error);
            Close();
            continue;
        }
        const TWait wait = WaitFor(true, static_cast<std::uint32_t>(RemainingMs(deadline)));
        if (wait == TWait::Ready) {
            int result = 0;
            socklen_t length = sizeof result;
            if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result), &length) !=
                0)
                result = LastError();
            if (result == 0)
                return connected();
            Fail(result);
            FRefused = RefusedError(result);
        } else if (wait == TWait::TimedOut) {
            FFailure = "no answer within " + std::to_string(timeoutMs) + " ms";
            FRefused = false;
        }
        Close();
    }
    return false;
}

bool TTcpConnection::SendAll(std::string_view bytes, std::uint32_t timeoutMs) {
    if (!IsOpen()) {
        FFailure = "not connected";
        return false;
    }
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        const auto n = Send(AsSocket(FSocket), bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        const int error = LastError();
        if (n < 0 && Interrupted(error))
            continue;
        if (n < 0 && !WouldBlock(error))
            return Fail(error);
        // The socket's send queue is full: wait for room until the time is over.
        const int left = RemainingMs(deadline);
        if (left == 0) {
            FFailure = "the server took no more data within " + std::to_string(timeoutMs) + " ms";
            return false;
        }
        if (WaitFor(true, static_cast<std::uint32_t>(left)) == TWait::Failed)
            return false;
    }
    return true;
}

TTcpConnection::TReceive TTcpConnection::Receive(std::uint8_t* buffer, std::size_t size,
                                                 std::size_t& got, std::uint32_t waitMs) {
    got = 0;
    if (!IsOpen()) {
        FFailure = "not connected";
        return TReceive::Failed;
    }
    const auto deadline = TClock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const auto n = Recv(AsSocket(FSocket), buffer, size);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return TReceive::Data;
        }
        if (n == 0) {
            FFailure = "the server closed the connection";
            return TReceive::Closed;
        }
        const int error = LastError();
        if (Interrupted(error))
            continue;
        if (!WouldBlock(error)) {
            Fail(error);
            return TReceive::Failed;
        }
        const int left = RemainingMs(deadline);
        if (left == 0)
            return TReceive::Nothing;
        const TWait wait = WaitFor(false, static_cast<std::uint32_t>(left));
        if (wait == TWait::Failed)
            return TReceive::Failed;
        if (wait == TWait::TimedOut)
            return TReceive::Nothing;
    }
}
