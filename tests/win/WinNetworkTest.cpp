// The channel and the engine over Winsock: virtual meters served over TCP on the host's
// loopback, reached by a [Ports] entry, as scripts/test-windows.sh starts them.

// First: <windows.h> defines SetPort, which the channel's header takes back.
#include <winsock2.h>

#include "MeterLog.h"
#include "WinTestSupport.h"

#include "app/uGlobals.h"
#include "comm/PortNames.h"
#include "comm/uCommKestro.h"

#include <gtest/gtest.h>

using namespace wintest;

namespace {

constexpr TKestroAddr BusMeter = 5;
constexpr TKestroAddr OptoMeter = 7;
constexpr std::int32_t NetworkPort = 3; // a port number nothing else in these tests maps

// "rfc2217://127.0.0.1:N" of a meter with 05 on the bus and 07 under the optical head, and its
// request log.
constexpr const char* Rfc2217Var = "KESTRO_WIN_TEST_RFC2217";
constexpr const char* Rfc2217LogVar = "KESTRO_WIN_TEST_RFC2217_LOG";
// The same for another such meter behind a proxy that makes the round trip about 200 ms with
// +-20 % jitter, as a mobile link does.
constexpr const char* SlowRfc2217Var = "KESTRO_WIN_TEST_RFC2217_SLOW";
constexpr const char* SlowRfc2217LogVar = "KESTRO_WIN_TEST_RFC2217_SLOW_LOG";
// "socket://127.0.0.1:N" of a raw server at 9600 baud whose meter 05 drops the line on the
// first request.
constexpr const char* RawDropVar = "KESTRO_WIN_TEST_RAW_DROP";

template <class TAction> std::string FailureMessage(TAction&& action) {
    try {
        action();
    } catch (const ECommError& error) {
        return error.Message();
    }
    return "nothing raised";
}

class WinNetwork : public ::testing::Test {
protected:
    void UseDevice(const char* var) {
        const std::string device = TextFromEnv(var);
        if (device.empty())
            GTEST_SKIP() << var << " is not set: no virtual meter serves TCP";
        SetEnglishMessages();
        Dispatcher.SetPort(NetworkPort);
        Dispatcher.SetDevice(device);
        Kestro.Timeout = 1000;
        Kestro.Retries = 1;
    }

    TCommDispatcher Dispatcher;
    TCommKestro Kestro{Dispatcher};
};

class WinNetworkServer : public WinNetwork,
                         public ::testing::WithParamInterface<std::pair<const char*, const char*>> {
};

// The optical head's speed switch goes over the open connection (SET-BAUDRATE) and back, also
// at a mobile link's round trip with the reply timeout the window uses for the optical head.
TEST_P(WinNetworkServer, Rfc2217EchoClockAndOpticalHeadAtItsSpeed) {
    const auto [deviceVar, logVar] = GetParam();
    UseDevice(deviceVar);
    if (IsSkipped())
        return;
    const std::string log = TextFromEnv(logVar);
    const std::size_t start = ReadMeterLog(log).size();
    Dispatcher.SetBaudRate(9600);
    Dispatcher.Open();
    Kestro.Timeout = 200;
    Kestro.Echo(BusMeter);
    EXPECT_EQ(Kestro.Response.Addr, BusMeter);
    TDateTime time = 0, date = 0;
    Kestro.GetDateTime(BusMeter, time, date);

    Dispatcher.SetSlowLink(true);
    Dispatcher.Reconfigure(300);
    Kestro.Timeout = 2000;
    Kestro.Echo(255);
    EXPECT_EQ(Kestro.Response.Addr, OptoMeter);
    Dispatcher.Reconfigure(9600);
    Kestro.Timeout = 200;
    Kestro.Echo(BusMeter);
    EXPECT_TRUE(Dispatcher.GetActive());

    const auto heard = AwaitMeterLog(log, start, 4);
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[0].BaudRate, 9600);
    EXPECT_EQ(heard[2].Frame, "#R??E*17\r");
    EXPECT_EQ(heard[2].BaudRate, 300);
    EXPECT_EQ(heard[3].BaudRate, 9600);
}

INSTANTIATE_TEST_SUITE_P(Servers, WinNetworkServer,
                         ::testing::Values(std::pair{Rfc2217Var, Rfc2217LogVar},
                                           std::pair{SlowRfc2217Var, SlowRfc2217LogVar}),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "Loopback" : "RoundTrip200ms");
                         });

TEST_F(WinNetwork, RawRefusesAnotherSpeedAndReportsADroppedLine) {
    UseDevice(RawDropVar);
    if (IsSkipped())
        return;
    Dispatcher.SetBaudRate(9600);
    Dispatcher.Open();
    Dispatcher.SetBaudRate(300);
    EXPECT_EQ(FailureMessage([&] { Dispatcher.Open(); }), "Cannot setup COM3!");
    EXPECT_NE(Dispatcher.LastFailureCause().find("from 9600 to 300 baud"), std::string::npos)
        << Dispatcher.LastFailureCause();

    Dispatcher.SetBaudRate(9600);
    Dispatcher.Open();
    EXPECT_EQ(FailureMessage([&] { Kestro.Echo(BusMeter); }), "COM3 read error!");
    EXPECT_NE(Dispatcher.LastFailureCause().find("closed the connection"), std::string::npos)
        << Dispatcher.LastFailureCause();
}

TEST_F(WinNetwork, RefusedConnectionKeepsTheMessageAndNamesHostPortAndReason) {
    SetEnglishMessages();
    // A loopback port that was just free: nobody listens there.
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    closesocket(probe);
    const std::string port = std::to_string(ntohs(address.sin_port));

    Dispatcher.SetPort(NetworkPort);
    Dispatcher.SetDevice("rfc2217://127.0.0.1:" + port);
    EXPECT_EQ(FailureMessage([&] { Dispatcher.Open(); }), "Cannot open COM3!");
    const std::string cause = Dispatcher.LastFailureCause();
    EXPECT_NE(cause.find("127.0.0.1 port " + port), std::string::npos) << cause;
    EXPECT_GT(cause.size(), ("rfc2217://127.0.0.1:" + port + ": 127.0.0.1 port " + port).size())
        << cause;
    WSACleanup();
}

} // namespace
