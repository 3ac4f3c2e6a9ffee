// The real channel and engine reaching the virtual meter through a device server on loopback:
// its own TCP server (RFC 2217 and raw) and pyserial's RFC 2217 server on the meters'
// pseudo-terminal. Also what the user gets when the server is missing, silent or gone.
#include "tests/unit/kestro/EnglishTexts.h"
#include "tests/unit/kestro/Raises.h"

#include "TcpServer.h"
#include "VirtualMeter.h"
#include "comm/PortNames.h"
#include "comm/uCommKestro.h"
#include "runtime/DateTime.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace kestro_test;
using namespace std::chrono_literals;

namespace {

constexpr int BusMeter = 5;
constexpr int OptoMeter = 7;
constexpr const char* PyserialExample = "/usr/share/doc/python3-serial/examples/rfc2217_server.py";

// A loopback TCP port that nobody listens on; held bound (with `listen` false) or listening
// without ever answering (with `listen` true) for as long as the object lives.
class TLoopbackPort {
public:
    explicit TLoopbackPort(bool listen) : FSocket(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            (listen && ::listen(FSocket, 1) != 0) ||
            ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("no loopback port");
        FPort = ntohs(address.sin_port);
    }
    ~TLoopbackPort() { ::close(FSocket); }
    int Port() const { return FPort; }
    int Socket() const { return FSocket; }

private:
    int FSocket;
    int FPort = 0;
};

// pyserial's example server on the meters' pseudo-terminal, stopped with the object.
class TPyserialServer {
public:
    TPyserialServer(const std::string& device, int port)
        : FServer({"/usr/bin/python3", RFC2217_PTY_SERVER, "-p", std::to_string(port), device},
                  {.In = "/dev/null", .Out = {}, .Err = "/dev/null"}) {}
    ~TPyserialServer() { Stop(SIGTERM); }
    // Ends the server as a crash or a power cut would, with the connection still up.
    void Stop(int signal) {
        if (FStopped)
            return;
        FServer.Signal(signal);
        FServer.Wait();
        FStopped = true;
    }

private:
    TChildProcess FServer;
    bool FStopped = false;
};

enum class TServer { VirtualRfc2217, VirtualRaw, Pyserial };

std::string ServerName(const ::testing::TestParamInfo<TServer>& info) {
    switch (info.param) {
    case TServer::VirtualRfc2217:
        return "VirtualMeterRfc2217";
    case TServer::VirtualRaw:
        return "VirtualMeterRaw";
    case TServer::Pyserial:
        return "PyserialRfc2217";
    }
    return "";
}

class ChannelThroughServer : public ::testing::TestWithParam<TServer> {
protected:
    ChannelThroughServer() : Meter(vmeter::TOptions{{BusMeter}, OptoMeter, false, 0, "", {}}) {
        int port = 0;
        if (GetParam() == TServer::Pyserial && !std::filesystem::exists(PyserialExample))
            return; // SetUp skips
        if (GetParam() == TServer::Pyserial) {
            port = TLoopbackPort(false).Port(); // free again once the probe is gone
            Pyserial = std::make_unique<TPyserialServer>(Meter.DevicePath(), port);
        } else {
            Server = std::make_unique<vmeter::TTcpServer>(Meter.DevicePath(), "127.0.0.1:0",
                                                          GetParam() == TServer::VirtualRfc2217);
            port = Server->Port();
        }
        const std::string scheme = GetParam() == TServer::VirtualRaw ? "socket" : "rfc2217";
        Device = scheme + "://127.0.0.1:" + std::to_string(port);
        Dispatcher.SetPort(1);
        Dispatcher.SetDevice(Device);
        Dispatcher.SetBaudRate(9600);
        OpenWhenListening();
        Engine.Timeout = 1000;
        Engine.Retries = 1;
    }
    void SetUp() override {
        if (GetParam() == TServer::Pyserial && !Pyserial)
            GTEST_SKIP() << PyserialExample << " is missing (Debian package python3-serial)";
    }

    // pyserial's server takes a moment to start listening, and after a client leaves it takes
    // a new one only once its serial read has timed out (3 s): until then a connection waits
    // unanswered and the channel's set-up fails, as it must.
    void OpenWhenListening() {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            try {
                Dispatcher.Open();
                return;
            } catch (const ECommError&) {
                if (std::chrono::steady_clock::now() > deadline)
                    throw;
                std::this_thread::sleep_for(50ms);
            }
        }
    }

    void UseOpticalHead() {
        Dispatcher.SetSlowLink(true);
        Dispatcher.SetBaudRate(300);
        Reopen();
        Engine.Timeout = 3000;
    }
    void Reopen() {
        if (GetParam() == TServer::Pyserial)
            OpenWhenListening();
        else
            Dispatcher.Open();
    }

    TEnglishTexts English;
    vmeter::TVirtualMeter Meter;
    std::unique_ptr<vmeter::TTcpServer> Server;
    std::unique_ptr<TPyserialServer> Pyserial;
    std::string Device;
    TCommDispatcher Dispatcher;
    TCommKestro Engine{Dispatcher};
};

INSTANTIATE_TEST_SUITE_P(Servers, ChannelThroughServer,
                         ::testing::Values(TServer::VirtualRfc2217, TServer::VirtualRaw,
                                           TServer::Pyserial),
                         ServerName);

TEST_P(ChannelThroughServer, EchoWriteAndReadReachTheMeter) {
    Engine.Echo(BusMeter);
    EXPECT_EQ(Engine.Response, (TKestroPacket{'A', BusMeter, 'E', ""}));
    EXPECT_TRUE(Raises([&] { Engine.Echo(8); }, EKestroTimeout::ClassType, "[Kestro #08] Timeout"));

    Engine.SetDateTime(BusMeter, EncodeTime(14, 30, 5, 0), EncodeDate(2024, 3, 7));
    TDateTime time = 0, date = 0;
    Engine.GetDateTime(BusMeter, time, date);
    EXPECT_EQ(DecodeDate(date).Year, 2024);
    const auto log = Meter.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2].Frame, "#W05C,143005,070324*10\r");
    EXPECT_EQ(log[2].BaudRate, 9600);
}

TEST_P(ChannelThroughServer, OpticalHeadSwitchesTheServersLineOrFailsClearly) {
    if (GetParam() == TServer::VirtualRaw) {
        // Raw TCP cannot change the speed: the exchange must not run at the wrong one.
        EXPECT_TRUE(Raises([&] { UseOpticalHead(); }, ESetupPort::ClassType, "Cannot setup COM1!"));
        EXPECT_FALSE(Dispatcher.GetActive());
        const std::string cause = Dispatcher.LastFailureCause();
        EXPECT_NE(cause.find(Device), std::string::npos) << cause;
        EXPECT_NE(cause.find("from 9600 to 300 baud"), std::string::npos) << cause;
        // Back at the server's speed, the line works again.
        Dispatcher.SetSlowLink(false);
        Dispatcher.SetBaudRate(9600);
        Dispatcher.Open();
        Engine.Echo(BusMeter);
        return;
    }
    UseOpticalHead();
    Engine.Echo(255);
    EXPECT_EQ(Engine.Response.Addr, OptoMeter);
    Dispatcher.SetSlowLink(false);
    Dispatcher.SetBaudRate(9600);
    Reopen();
    Engine.Timeout = 1000;
    Engine.Echo(BusMeter);
    const auto log = Meter.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].BaudRate, 300);
    EXPECT_EQ(log[1].BaudRate, 9600);
}

TEST_P(ChannelThroughServer, TelnetsEscapeByteReachesTheLineUnchanged) {
    Dispatcher.WriteStr("#\xff\xff,\x01\r");
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (Meter.Log().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(Meter.Log().size(), 1u);
    EXPECT_EQ(Meter.Log()[0].Frame, "#\xff\xff,\x01\r");
}

TEST_P(ChannelThroughServer, ADroppedLineFailsTheExchangeWithItsCause) {
    // The virtual meter's server drops the connection when the meters' line goes, after the
    // request: the reply cannot be read. pyserial's keeps the connection then, so that server
    // itself goes away before the exchange: its purge finds the connection gone.
    if (GetParam() == TServer::Pyserial) {
        Pyserial->Stop(SIGKILL);
        EXPECT_TRUE(Raises([&] { Engine.Echo(BusMeter); }, ECommError::ClassType,
                           "COM1 unexpected error!"));
    } else {
        Meter.SetFault(vmeter::TFault::DropLine);
        EXPECT_TRUE(
            Raises([&] { Engine.Echo(BusMeter); }, EReadPort::ClassType, "COM1 read error!"));
    }
    const std::string cause = Dispatcher.LastFailureCause();
    EXPECT_NE(cause.find(Device + ": 127.0.0.1 port "), std::string::npos) << cause;
    EXPECT_NE(cause.find("closed the connection"), std::string::npos) << cause;
}

// A server that sends `greeting` as soon as a client connects and `answer` once the client
// has sent a sub-negotiation (a control request), then only listens.
class TScriptedServer {
public:
    TScriptedServer(std::string greeting, std::string answer) : FListener(true) {
        FThread = std::thread([this, greeting = std::move(greeting), answer = std::move(answer)] {
            const int client = ::accept(FListener.Socket(), nullptr, nullptr);
            if (client < 0)
                return;
            ::send(client, greeting.data(), greeting.size(), MSG_NOSIGNAL);
            char received[256];
            bool answered = false;
            for (ssize_t n; (n = ::recv(client, received, sizeof received, 0)) > 0;) {
                if (!answered && std::string(received, static_cast<std::size_t>(n))
                                         .find(static_cast<char>(250)) != std::string::npos) {
                    ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
                    answered = true;
                }
            }
            ::close(client);
        });
    }
    ~TScriptedServer() { FThread.join(); } // the client has closed by then
    int Port() const { return FListener.Port(); }

private:
    TLoopbackPort FListener;
    std::thread FThread;
};

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

class ChannelWithoutServer : public ::testing::Test {
protected:
    TEnglishTexts English;
    TCommDispatcher Dispatcher;
};

TEST_F(ChannelWithoutServer, RefusedOrUnknownServerKeepsTheMessageAndNamesTheCause) {
    const TLoopbackPort closed(false);
    const std::string port = std::to_string(closed.Port());
    for (const std::string scheme : {"rfc2217", "socket"}) {
        Dispatcher.SetDevice(scheme + "://127.0.0.1:" + port);
        EXPECT_TRUE(Raises([&] { Dispatcher.Open(); }, EOpenPort::ClassType, "Cannot open COM1!"));
        const std::string cause = Dispatcher.LastFailureCause();
        EXPECT_NE(cause.find("127.0.0.1 port " + port), std::string::npos) << cause;
        EXPECT_NE(cause.find("refused"), std::string::npos) << cause;
    }
    Dispatcher.SetDevice("rfc2217://no-such-host.invalid:4001");
    EXPECT_TRUE(Raises([&] { Dispatcher.Open(); }, EOpenPort::ClassType, "Cannot open COM1!"));
    EXPECT_NE(Dispatcher.LastFailureCause().find("no-such-host.invalid"), std::string::npos);
    EXPECT_NE(Dispatcher.LastFailureCause().find("not found"), std::string::npos)
        << Dispatcher.LastFailureCause();
}

// The network timeout the name gives bounds connecting and the negotiation together.
TEST_F(ChannelWithoutServer, SilentServerFailsSetupWithinTheNetworkTimeout) {
    const TLoopbackPort silent(true);
    Dispatcher.SetDevice("rfc2217://127.0.0.1:" + std::to_string(silent.Port()) + "?timeout=400");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Raises([&] { Dispatcher.Open(); }, ESetupPort::ClassType, "Cannot setup COM1!"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_FALSE(Dispatcher.GetActive());
    EXPECT_NE(Dispatcher.LastFailureCause().find("no Telnet negotiation within 400 ms"),
              std::string::npos)
        << Dispatcher.LastFailureCause();
}

// Servers that agree to everything, then answer the speed wrongly, never, or bury the
// answer under an endless sub-negotiation: the set-up fails within the answer's bound (here the
// network timeout, being shorter than 2 s), with the cause.
TEST_F(ChannelWithoutServer, WrongMissingOrEndlessAnswersFailSetupWithinTheTimeout) {
    const std::string agree = Bytes({255, 253, 0, 255, 251, 0, 255, 253, 44});
    const struct {
        std::string Answer;
        const char* Cause;
    } cases[] = {
        {Bytes({255, 250, 44, 101, 0, 0, 0x25, 0x80, 255, 240}),
         "did not accept the speed of 300 baud"},
        {"", "did not confirm the speed of 300 baud within 300 ms"},
        {Bytes({255, 250, 44, 101}) + std::string(1 << 20, 'x'), "did not confirm the speed"},
    };
    for (const auto& c : cases) {
        TScriptedServer server(agree, c.Answer);
        TCommDispatcher dispatcher;
        dispatcher.SetBaudRate(300);
        dispatcher.SetDevice("rfc2217://127.0.0.1:" + std::to_string(server.Port()) +
                             "?timeout=300");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(
            Raises([&] { dispatcher.Open(); }, ESetupPort::ClassType, "Cannot setup COM1!"));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
        EXPECT_NE(dispatcher.LastFailureCause().find(c.Cause), std::string::npos)
            << dispatcher.LastFailureCause();
    }
}

// A raw server that never stops sending: the exchange still ends at its reply time-out.
TEST_F(ChannelWithoutServer, EndlessDataEndsTheExchangeWithinItsTimeouts) {
    const TLoopbackPort listener(true);
    std::thread flood([&] {
        const int client = ::accept(listener.Socket(), nullptr, nullptr);
        const std::string noise(65536, 'x');
        while (client >= 0 && ::send(client, noise.data(), noise.size(), MSG_NOSIGNAL) > 0) {
        }
        ::close(client);
    });
    TCommDispatcher dispatcher;
    TCommKestro engine{dispatcher};
    engine.Timeout = 300;
    engine.Retries = 1;
    dispatcher.SetDevice("socket://127.0.0.1:" + std::to_string(listener.Port()) + "?timeout=300");
    dispatcher.Open();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(
        Raises([&] { engine.Echo(BusMeter); }, EKestroTimeout::ClassType, "[Kestro #05] Timeout"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    dispatcher.Close();
    flood.join();
}

} // namespace
