#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// Helper programs around a device server for the network tests: the delaying proxy and
// pyserial's RFC 2217 server, run as child processes and stopped with their objects.
namespace network_test {

// A loopback TCP port that was free a moment ago.
int FreeLoopbackPort();

// A child program whose standard output and error go to a log file.
class TChildProgram {
public:
    TChildProgram(const std::vector<std::string>& args, std::string logPath);
    ~TChildProgram() { Stop(); }
    TChildProgram(const TChildProgram&) = delete;
    TChildProgram& operator=(const TChildProgram&) = delete;

    // The rest of the first log line that starts with `prefix`, once there is one; throws when
    // none comes within the time or the program has ended.
    std::string AwaitLine(const std::string& prefix,
                          std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Log lines that start with `prefix`.
    int CountLines(const std::string& prefix) const;
    void Stop();

private:
    std::string FLogPath;
    pid_t FPid = 0;
};

// tests/support/delay_proxy.py in front of a TCP port on loopback: each chunk takes about
// `oneWayMs` (give or take `jitter`, a fraction of it) in either direction. `turnAway` lists
// connections it closes at once ("1,2"); it listens on `listenPort` (0: a free one).
class TDelayProxy {
public:
    TDelayProxy(int targetPort, double oneWayMs, double jitter, const std::string& logPath,
                const std::string& turnAway = {}, int listenPort = 0);
    int Port() const { return FPort; }
    int Connections() const { return FChild.CountLines("Connection "); }
    void Stop() { FChild.Stop(); }

private:
    TChildProgram FChild;
    int FPort = 0;
};

// pyserial's example RFC 2217 server on a pseudo-terminal (tests/support/rfc2217_pty_server.py),
// listening once constructed.
class TPyserialServer {
public:
    TPyserialServer(const std::string& device, const std::string& logPath);
    int Port() const { return FPort; }
    void Stop() { FChild.Stop(); }
    static bool Available();

private:
    int FPort;
    TChildProgram FChild;
};

} // namespace network_test
