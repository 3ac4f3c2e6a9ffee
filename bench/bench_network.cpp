// Echo at 9600 baud through a device server behind a link with a round trip of 0, 50, 200 and
// 1000 ms (tests/support/delay_proxy.py on loopback, without jitter), next to the local
// pseudo-terminal. The meter paces its reply at line speed and takes the request one line time
// after its first byte, so an exchange cannot take less than both line times plus one round
// trip; what the program adds is the median exchange minus that. The device server is the
// virtual meter's own TCP server, RFC 2217 and raw.
// Usage: bench_network [exchanges]   (100 by default; fewer at the long round trips)
#include "TcpServer.h"
#include "VirtualMeter.h"
#include "comm/uCommKestro.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Meter = 5;
constexpr int Baud = 9600;
// Each row runs about this long at most.
constexpr double RowBudgetMs = 20000;

enum class TPath { Local, Rfc2217, Raw };

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double P95(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) * 95 / 100];
}

// The delaying proxy as a child process, stopped with the object.
class TProxy {
public:
    TProxy(int targetPort, double oneWayMs) {
        int out[2];
        if (::pipe(out) != 0)
            throw std::runtime_error("no pipe");
        std::vector<std::string> args{"/usr/bin/python3", DELAY_PROXY,
                                      "--target",         "127.0.0.1:" + std::to_string(targetPort),
                                      "--delay",          std::to_string(oneWayMs)};
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const int error = posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (error != 0)
            throw std::runtime_error("cannot start the proxy");
        std::string line;
        char ch;
        while (::read(out[0], &ch, 1) == 1 && ch != '\n')
            line += ch;
        FOutput = out[0]; // open while the proxy runs: it reports each connection there
        const std::string prefix = "Listening on ";
        if (line.rfind(prefix, 0) != 0)
            throw std::runtime_error("the proxy did not start: " + line);
        FPort = std::stoi(line.substr(prefix.size()));
    }
    ~TProxy() {
        ::kill(FPid, SIGTERM);
        ::waitpid(FPid, nullptr, 0);
        ::close(FOutput);
    }
    TProxy(const TProxy&) = delete;
    TProxy& operator=(const TProxy&) = delete;
    int Port() const { return FPort; }

private:
    pid_t FPid = 0;
    int FPort = 0;
    int FOutput = -1;
};

// What the proxy itself adds to a round trip: one byte sent through it to an echo server on
// loopback and back, less the round trip asked for.
double ProxyOwnMs(double roundTripMs, int runs) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no echo server");
    std::thread echo([listener] {
        const int client = ::accept(listener, nullptr, nullptr);
        char byte;
        while (::recv(client, &byte, 1, 0) == 1)
            ::send(client, &byte, 1, MSG_NOSIGNAL);
        ::close(client);
    });
    std::vector<double> times;
    {
        TProxy proxy(ntohs(address.sin_port), roundTripMs / 2);
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to = address;
        to.sin_port = htons(static_cast<std::uint16_t>(proxy.Port()));
        const int on = 1;
        ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
            throw std::runtime_error("cannot reach the proxy");
        for (int i = 0; i < runs; ++i) {
            char byte = 'x';
            const Clock::time_point start = Clock::now();
            ::send(s, &byte, 1, MSG_NOSIGNAL);
            if (::recv(s, &byte, 1, 0) != 1)
                break;
            times.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        ::close(s);
    }
    echo.join();
    ::close(listener);
    return Median(times) - roundTripMs;
}

std::vector<double> Exchanges(TPath path, double roundTripMs, int runs) {
    vmeter::TVirtualMeter line(vmeter::TOptions{{Meter}, -1, true, 0, "", {}});
    std::unique_ptr<vmeter::TTcpServer> server;
    std::unique_ptr<TProxy> proxy;
    std::string device = line.SlavePath();
    if (path != TPath::Local) {
        server = std::make_unique<vmeter::TTcpServer>(line.DevicePath(), "127.0.0.1:0",
                                                      path == TPath::Rfc2217);
        proxy = std::make_unique<TProxy>(server->Port(), roundTripMs / 2);
        device = std::string(path == TPath::Rfc2217 ? "rfc2217" : "socket") +
                 "://127.0.0.1:" + std::to_string(proxy->Port());
    }
    TCommDispatcher dispatcher;
    TCommKestro engine{dispatcher};
    dispatcher.SetPort(1);
    dispatcher.SetDevice(device);
    dispatcher.SetBaudRate(Baud);
    dispatcher.Open();
    engine.Timeout = 200;
    engine.Retries = 1;
    for (int i = 0; i < 3; ++i)
        engine.Echo(Meter); // warm-up: the round trip estimate settles
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        engine.Echo(Meter);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    dispatcher.Close();
    return times;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    try {
        // "#R05E*12\r" and "#A05E*01\r", 10 bits a byte.
        const double lineMs = 2 * 9 * 10.0 * 1000.0 / Baud;
        std::printf("echo at %d baud, meter pacing its replies; line time of request and reply "
                    "%.3f ms\n",
                    Baud, lineMs);
        std::printf("  added: the median less line time and round trip; by the program: less "
                    "what the proxy itself adds to a TCP echo\n");
        std::printf("  %-10s %-22s %5s %10s %9s %11s %9s %11s\n", "round trip", "path", "runs",
                    "median ms", "p95 ms", "line+trip", "added", "by program");
        for (const double roundTrip : {0.0, 50.0, 200.0, 1000.0}) {
            const int rowRuns =
                std::max(5, std::min(runs, static_cast<int>(RowBudgetMs / (roundTrip + 20))));
            const double proxyOwn = ProxyOwnMs(roundTrip, rowRuns);
            for (const auto& [path, name] : {std::pair{TPath::Local, "local pseudo-terminal"},
                                             std::pair{TPath::Rfc2217, "RFC 2217 via proxy"},
                                             std::pair{TPath::Raw, "raw TCP via proxy"}}) {
                if (path == TPath::Local && roundTrip > 0)
                    continue;
                const std::vector<double> times = Exchanges(path, roundTrip, rowRuns);
                const double floor = lineMs + roundTrip;
                const double added = Median(times) - floor;
                const double byProgram = path == TPath::Local ? added : added - proxyOwn;
                std::printf("  %-10.0f %-22s %5d %10.3f %9.3f %11.3f %+9.3f %+11.3f%s\n", roundTrip,
                            name, rowRuns, Median(times), P95(times), floor, added, byProgram,
                            byProgram <= 1 ? "" : "  (goal: at most +1 ms)");
            }
            std::printf("  %-10.0f %-22s %5d %10s %9s %11s %+9.3f\n", roundTrip,
                        "(proxy's own, TCP echo)", rowRuns, "", "", "", proxyOwn);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_network: %s\n", e.what());
        return 1;
    }
}
