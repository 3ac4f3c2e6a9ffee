#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace vmeter {

// A serial device server in front of the meters' pseudo-terminal: it holds the slave side
// while a client is connected and carries bytes between the two, raw or as RFC 2217 (which
// also sets the line's speed). One client at a time; a second connection is closed at once.
// A raw server keeps the line at 9600 baud.
class TTcpServer {
public:
    // `listen` is "HOST:PORT" (IPv4); port 0 takes a free port. Raises EVirtualMeter.
    TTcpServer(const std::string& slavePath, const std::string& listen, bool rfc2217);
    ~TTcpServer();
    TTcpServer(const TTcpServer&) = delete;
    TTcpServer& operator=(const TTcpServer&) = delete;

    std::uint16_t Port() const { return FPort; }

private:
    void Run();
    void Serve(int client);

    std::string FSlavePath;
    bool FRfc2217;
    int FListener = -1;
    std::uint16_t FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FWorker;
};

} // namespace vmeter
