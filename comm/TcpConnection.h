#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One TCP connection to a device server, over POSIX sockets or Winsock. Non-blocking
// underneath: every call that waits is bounded by the time it is given. A failure leaves the
// system's reason in Failure().
class TTcpConnection {
public:
    TTcpConnection();
    ~TTcpConnection();
    TTcpConnection(const TTcpConnection&) = delete;
    TTcpConnection& operator=(const TTcpConnection&) = delete;

    // Resolves the host and connects within the time (the name lookup itself is bounded only
    // by the system's resolver). Small writes leave at once (TCP_NODELAY).
    bool Connect(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs);
    void Close();
    bool IsOpen() const;

    // Sends every byte within the time.
    bool SendAll(std::string_view bytes, std::uint32_t timeoutMs);

    enum class TReceive { Data, Nothing, Closed, Failed };
    // Takes what has arrived (up to `size` bytes), waiting up to `waitMs` for the first byte.
    TReceive Receive(std::uint8_t* buffer, std::size_t size, std::size_t& got,
                     std::uint32_t waitMs);

    // The system's reason for the last failure ("Connection refused", ...).
    const std::string& Failure() const { return FFailure; }
    // Whether the last Connect failed because nobody took the connection: no server listens
    // there, or a server that serves one client at a time turned it away.
    bool Refused() const { return FRefused; }
    // How long the last successful Connect took from the first packet to the answer: one round
    // trip to whoever took the connection (the name lookup not counted).
    double ConnectMs() const { return FConnectMs; }

private:
    enum class TWait { Ready, TimedOut, Failed };
    TWait WaitFor(bool output, std::uint32_t milliseconds);
    bool Fail(int error);

    std::intptr_t FSocket;
    std::string FFailure;
    bool FRefused = false;
    double FConnectMs = 0;
};
