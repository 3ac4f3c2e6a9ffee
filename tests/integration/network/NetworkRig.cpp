#include "NetworkRig.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace network_test {

namespace {

constexpr const char* PyserialExample = "/usr/share/doc/python3-serial/examples/rfc2217_server.py";

std::vector<std::string> LogLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

int FreeLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(s);
    if (!ok)
        throw std::runtime_error("no free loopback port");
    return ntohs(address.sin_port);
}

TChildProgram::TChildProgram(const std::vector<std::string>& args, std::string logPath)
    : FLogPath(std::move(logPath)) {
    std::vector<std::string> argv = args;
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, FLogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int error =
        posix_spawn(&FPid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " + argv[0]);
}

void TChildProgram::Stop() {
    if (FPid <= 0)
        return;
    ::kill(FPid, SIGTERM);
    ::waitpid(FPid, nullptr, 0);
    FPid = 0;
}

std::string TChildProgram::AwaitLine(const std::string& prefix, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const std::string& line : LogLines(FLogPath))
            if (line.rfind(prefix, 0) == 0)
                return line.substr(prefix.size());
        int status = 0;
        if (std::chrono::steady_clock::now() > deadline || ::waitpid(FPid, &status, WNOHANG) != 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string log;
    for (const std::string& line : LogLines(FLogPath))
        log += line + "\n";
    throw std::runtime_error("no \"" + prefix + "\" from a helper program; its log:\n" + log);
}

int TChildProgram::CountLines(const std::string& prefix) const {
    int count = 0;
    for (const std::string& line : LogLines(FLogPath))
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

TDelayProxy::TDelayProxy(int targetPort, double oneWayMs, double jitter, const std::string& logPath,
                         const std::string& turnAway, int listenPort)
    : FChild({"/usr/bin/python3", DELAY_PROXY, "--target",
              "127.0.0.1:" + std::to_string(targetPort), "--listen",
              "127.0.0.1:" + std::to_string(listenPort), "--delay", std::to_string(oneWayMs),
              "--jitter", std::to_string(jitter), "--turn-away", turnAway},
             logPath) {
    FPort = std::stoi(FChild.AwaitLine("Listening on "));
}

bool TPyserialServer::Available() {
    return std::filesystem::exists(PyserialExample);
}

TPyserialServer::TPyserialServer(const std::string& device, const std::string& logPath)
    : FPort(FreeLoopbackPort()),
      FChild({"/usr/bin/python3", RFC2217_PTY_SERVER, "-p", std::to_string(FPort), device},
             logPath) {
    // The example logs its TCP port once it listens there.
    FChild.AwaitLine("INFO:root:TCP/IP port: ");
}

} // namespace network_test
