// The channel and the engine behind a delaying proxy: the round trip measured and given to the
// reply wait, and servers that take one client at a time met without retries by the caller.
#include "NetworkRig.h"
#include "tests/support/TempFolder.h"
#include "tests/unit/kestro/EnglishTexts.h"
#include "tests/unit/kestro/Raises.h"

#include "TcpServer.h"
#include "TelnetServer.h"
#include "VirtualMeter.h"
#include "comm/uCommKestro.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace kestro_test;
using namespace network_test;
using namespace std::chrono_literals;

namespace {

constexpr int BusMeter = 5;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class ChannelBehindProxy : public ::testing::Test {
protected:
    ChannelBehindProxy() { Engine.Retries = 1; }
    std::string Url(const char* scheme, int port, const std::string& query = {}) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + query;
    }

    TEnglishTexts English;
    TTempFolder Folder;
    vmeter::TVirtualMeter Meter{vmeter::TOptions{{BusMeter}, -1, true, 0, "", {}}};
    vmeter::TTcpServer Rfc2217{Meter.DevicePath(), "127.0.0.1:0", true};
    TCommDispatcher Dispatcher;
    TCommKestro Engine{Dispatcher};
};

// A reply timeout shorter than the round trip still works: the wait adds the round trip,
// measured from the negotiation and the control answers (RFC 2217) or from the replies (raw,
// whose first exchange is given the control answers' bound).
TEST_F(ChannelBehindProxy, TheReplyWaitAddsTheMeasuredRoundTrip) {
    constexpr double OneWayMs = 150;
    vmeter::TTcpServer raw{Meter.DevicePath(), "127.0.0.1:0", false};
    for (const auto& [scheme, port] :
         {std::pair{"rfc2217", Rfc2217.Port()}, std::pair{"socket", raw.Port()}}) {
        SCOPED_TRACE(scheme);
        TDelayProxy proxy(port, OneWayMs, 0, Folder.File(std::string(scheme) + ".log"));
        Dispatcher.SetDevice(Url(scheme, proxy.Port()));
        Dispatcher.Open();
        Engine.Timeout = 100;
        for (int i = 0; i < 3; ++i)
            EXPECT_NO_THROW(Engine.Echo(BusMeter));
        EXPECT_GT(Dispatcher.RoundTripMs(), 2 * OneWayMs * 0.9);
        EXPECT_LT(Dispatcher.RoundTripMs(), 2 * OneWayMs * 3);
        // Nobody answers: the wait ends after the time-out, the line and what the network's
        // round trip allows, not much later.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(Engine.Echo(8), EKestroTimeout);
        EXPECT_LT(SecondsSince(start), (100 + Dispatcher.ReplyAllowanceMs() + 300) / 1000);
        Dispatcher.Close();
    }
}

// A server that takes a connection and closes it at once is busy: tried again with pauses
// until it takes one or the network timeout is over.
TEST_F(ChannelBehindProxy, ATurnedAwayConnectionIsTriedAgainWithinTheNetworkTimeout) {
    TDelayProxy busyTwice(Rfc2217.Port(), 0, 0, Folder.File("twice.log"), "1,2");
    Dispatcher.SetDevice(Url("rfc2217", busyTwice.Port()));
    Dispatcher.Open();
    Engine.Timeout = 1000;
    Engine.Echo(BusMeter);
    EXPECT_EQ(busyTwice.Connections(), 3);
    Dispatcher.Close();

    std::string always;
    for (int n = 1; n <= 100; ++n)
        always += std::to_string(n) + ",";
    TDelayProxy busy(Rfc2217.Port(), 0, 0, Folder.File("busy.log"), always);
    Dispatcher.SetDevice(Url("rfc2217", busy.Port(), "?timeout=600"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Raises([&] { Dispatcher.Open(); }, ESetupPort::ClassType, "Cannot setup COM1!"));
    EXPECT_GT(SecondsSince(start), 0.3);
    EXPECT_LT(SecondsSince(start), 1.5);
    EXPECT_GT(busy.Connections(), 2);
    EXPECT_NE(Dispatcher.LastFailureCause().find(Url("rfc2217", busy.Port(), "?timeout=600") +
                                                 ": 127.0.0.1 port "),
              std::string::npos)
        << Dispatcher.LastFailureCause();
}

// Right after this program closed its connection, a refused one is tried again: the server
// may be about to listen again. Anywhere else a refusal fails at once.
TEST_F(ChannelBehindProxy, ARefusalRightAfterClosingIsTriedAgain) {
    const int port = FreeLoopbackPort();
    auto proxy =
        std::make_unique<TDelayProxy>(Rfc2217.Port(), 0, 0, Folder.File("1.log"), "", port);
    Dispatcher.SetDevice(Url("rfc2217", port));
    Dispatcher.Open();
    proxy->Stop();
    Dispatcher.Close();
    std::thread restart([&] {
        std::this_thread::sleep_for(300ms);
        proxy = std::make_unique<TDelayProxy>(Rfc2217.Port(), 0, 0, Folder.File("2.log"), "", port);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(Dispatcher.Open());
    restart.join();
    EXPECT_GT(SecondsSince(start), 0.3);
    Engine.Timeout = 1000;
    EXPECT_NO_THROW(Engine.Echo(BusMeter));
    Dispatcher.Close();

    proxy->Stop();
    TCommDispatcher fresh;
    fresh.SetDevice(Url("rfc2217", port));
    const auto fresher = std::chrono::steady_clock::now();
    EXPECT_TRUE(Raises([&] { fresh.Open(); }, EOpenPort::ClassType, "Cannot open COM1!"));
    EXPECT_LT(SecondsSince(fresher), 0.25);
}

// pyserial's server takes the next client only once its serial read has timed out (up to 3 s
// after the last one left): the network timeout covers that wait, with no retry by the caller.
TEST_F(ChannelBehindProxy, PyserialsServerIsReopenedWithoutRetriesByTheCaller) {
    if (!TPyserialServer::Available())
        GTEST_SKIP() << "pyserial's example server is missing (Debian package python3-serial)";
    TPyserialServer server(Meter.DevicePath(), Folder.File("pyserial.log"));
    Dispatcher.SetDevice(Url("rfc2217", server.Port()));
    Engine.Timeout = 1000;
    for (int i = 0; i < 2; ++i) {
        Dispatcher.Open();
        EXPECT_NO_THROW(Engine.Echo(BusMeter)) << i;
        Dispatcher.Close();
    }
}

// An RFC 2217 server that, once a purge and a request have come, sends in one piece: a line it
// had from before the purge, the purge's answer, and the reply. The purge is not waited for,
// so only the order on the wire tells the stale line from the reply.
class TStaleLineServer {
public:
    TStaleLineServer() : FListener(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(FListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(FListener, 1);
        ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~TStaleLineServer() {
        FThread.join(); // the client has closed by then
        ::close(FListener);
    }
    int Port() const { return FPort; }

private:
    void Serve() {
        const int client = ::accept(FListener, nullptr, nullptr);
        bool purged = false;
        vmeter::TTelnetServer telnet({[](int baud) { return baud; },
                                      [&] {
                                          purged = true;
                                      }});
        const std::string greeting = telnet.Greeting();
        ::send(client, greeting.data(), greeting.size(), MSG_NOSIGNAL);
        std::string toLine, held;
        char buffer[256];
        for (ssize_t n; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;) {
            std::string toClient;
            telnet.Feed(std::string(buffer, static_cast<std::size_t>(n)), toLine, toClient);
            if (!purged) {
                ::send(client, toClient.data(), toClient.size(), MSG_NOSIGNAL);
                continue;
            }
            held += toClient; // the purge's answer
            if (toLine.find('\r') == std::string::npos)
                continue;
            const std::string piece = "#A06E*02\r" + held + "#A05E*01\r";
            ::send(client, piece.data(), piece.size(), MSG_NOSIGNAL);
            purged = false;
            held.clear();
            toLine.clear();
        }
        ::close(client);
    }

    int FListener;
    int FPort = 0;
    std::thread FThread;
};

TEST_F(ChannelBehindProxy, DataBeforeThePurgesAnswerIsOldDataAfterItTheReply) {
    TStaleLineServer server;
    Dispatcher.SetDevice(Url("rfc2217", server.Port()));
    Dispatcher.Open();
    Engine.Timeout = 500;
    EXPECT_NO_THROW(Engine.Echo(BusMeter));
    EXPECT_EQ(Engine.Response.Addr, BusMeter);
    Dispatcher.Close();
}

} // namespace
