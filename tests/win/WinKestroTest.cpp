// The protocol engine end to end: TCommKestro over the Win32 channel, against virtual meters on
// mapped COM ports.

#include "MeterLog.h"
#include "WinTestSupport.h"

#include "app/uGlobals.h"
#include "comm/uCommKestro.h"
#include "runtime/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>

using namespace wintest;

namespace {

constexpr TKestroAddr BusMeter = 5;
constexpr TKestroAddr OptoMeter = 7;
constexpr double OneSecond = 1.0 / 86400.0;

// Runs `action`, which must fail with a communication error; returns its class and message.
std::pair<const TExceptionClass*, std::string> CommFailure(const std::function<void()>& action) {
    try {
        action();
    } catch (const ECommError& error) {
        return {&error.ClassInfo(), error.Message()};
    }
    ADD_FAILURE() << "no communication error";
    return {nullptr, ""};
}

class WinKestro : public TMeterPortTest {
protected:
    void SetUp() override {
        TMeterPortTest::SetUp();
        if (IsSkipped())
            return;
        Dispatcher.Open();
        Kestro.Timeout = 1000;
        Kestro.Retries = 1;
    }

    TCommKestro Kestro{Dispatcher};
};

TEST_F(WinKestro, EchoFindsTheMeterOnTheBusAndTimesOutForAnAbsentOne) {
    Kestro.Echo(BusMeter);
    EXPECT_EQ(Kestro.Response.Addr, BusMeter);
    EXPECT_EQ(Kestro.Response.Cmd, 'A');
    EXPECT_FALSE(Kestro.Busy);

    Kestro.Timeout = 300;
    const auto [cls, message] = CommFailure([&] { Kestro.Echo(6); });
    EXPECT_EQ(cls, &EKestroTimeout::ClassType);
    EXPECT_EQ(message, "[Kestro #06] Timeout");
    EXPECT_FALSE(Kestro.Busy);
}

TEST_F(WinKestro, ClockWrittenIsReadBackAndThePcTimeRestored) {
    const TDateTime time = EncodeTime(14, 30, 5, 0);
    const TDateTime date = EncodeDate(2024, 3, 7);
    Kestro.SetDateTime(BusMeter, time, date);
    if (!LogPath.empty()) {
        const auto heard = HeardSinceStart(1);
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_EQ(heard[0].Frame, RequestFrame("W05C,143005,070324"));
        EXPECT_EQ(heard[0].BaudRate, 9600);
    }

    TDateTime readTime = 0;
    TDateTime readDate = 0;
    Kestro.GetDateTime(BusMeter, readTime, readDate);
    EXPECT_EQ(readDate, date);
    EXPECT_GE(readTime + 0.5 * OneSecond, time);
    EXPECT_LE(readTime, time + 3 * OneSecond);

    // Back to the PC's clock, so that the meter is left as the next test expects it.
    const TDateTime now = Now();
    Kestro.SetDateTime(BusMeter, TimeOf(now), DateOf(now));
    Kestro.GetDateTime(BusMeter, readTime, readDate);
    EXPECT_LE(std::fabs(readDate + readTime - Now()), 3 * OneSecond);
}

TEST_F(WinKestro, OptoheadAnswersAllMetersOnlyInLinkModeAt300Baud) {
    // At the normal speed nobody answers "??".
    Kestro.Timeout = 300;
    const auto [cls, message] = CommFailure([&] { Kestro.Echo(KestroAddrAll); });
    EXPECT_EQ(cls, &EKestroTimeout::ClassType);
    EXPECT_EQ(message, "[all] Timeout");

    // As the main window does for the optical head: slow link, 300 baud, long reply time-out.
    Dispatcher.SetSlowLink(true);
    Dispatcher.SetBaudRate(300);
    Dispatcher.Open();
    Kestro.Timeout = 2000;
    Kestro.WriteCmd(KestroAddrAll, 'k', "01");
    Kestro.Echo(KestroAddrAll);
    EXPECT_EQ(Kestro.Response.Addr, OptoMeter);
    Kestro.WriteCmd(KestroAddrAll, 'k', "00");

    if (LogPath.empty())
        return;
    const auto heard = HeardSinceStart(4);
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[0].Frame, RequestFrame("R??E"));
    EXPECT_EQ(heard[0].BaudRate, 9600);
    EXPECT_FALSE(heard[0].Answered);
    const std::string slowFrames[] = {RequestFrame("W??k,01"), RequestFrame("R??E"),
                                      RequestFrame("W??k,00")};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(heard[i + 1].Frame, slowFrames[i]);
        EXPECT_EQ(heard[i + 1].BaudRate, 300);
        EXPECT_TRUE(heard[i + 1].Answered);
    }
}

// A meter whose line goes away in the middle of an exchange, as a pulled USB adapter: every
// operation fails with a port error naming the port, none waits for ever, the engine is not
// left busy, and the port cannot be opened again. Which call notices first is the driver's
// business (Wine: the read, then the write), so any of the channel's errors is accepted.
TEST(WinKestroDroppedLine, ExchangesFailWithPortErrorsAndThePortCannotBeReopened) {
    const auto port = PortFromEnv(DropPortVar);
    if (!port)
        GTEST_SKIP() << DropPortVar << " is not set: no meter that drops its line is mapped";
    SetEnglishMessages();
    TCommDispatcher dispatcher;
    dispatcher.SetPort(*port);
    dispatcher.Open();
    TCommKestro kestro(dispatcher);
    kestro.Timeout = 1000;
    kestro.Retries = 2;

    const std::string n = std::to_string(*port);
    const std::map<const TExceptionClass*, std::string> portErrors = {
        {&ECommError::ClassType, "COM" + n + " unexpected error!"},
        {&EReadPort::ClassType, "COM" + n + " read error!"},
        {&EWritePort::ClassType, "COM" + n + " write error!"},
    };
    for (int exchange = 0; exchange < 3; ++exchange) {
        const auto [cls, message] = CommFailure([&] { kestro.Echo(BusMeter); });
        ASSERT_TRUE(portErrors.contains(cls)) << "exchange " << exchange << ": " << message;
        EXPECT_EQ(message, portErrors.at(cls));
        EXPECT_FALSE(kestro.Busy);
    }
    // The first failure found the device gone and closed the port, which now counts as lost.
    EXPECT_FALSE(dispatcher.GetActive());
    EXPECT_TRUE(dispatcher.PortLost());
    EXPECT_EQ(dispatcher.LastFailureCause().rfind("\\\\.\\COM" + n + ": the device is gone (", 0),
              0u)
        << dispatcher.LastFailureCause();

    // A vanished device cannot be opened (Windows), or opens but cannot be set up (Wine).
    const auto [cls, message] = CommFailure([&] { dispatcher.Open(); });
    if (cls == &ESetupPort::ClassType)
        EXPECT_EQ(message, "Cannot setup COM" + n + "!");
    else
        EXPECT_EQ(message, "Cannot open COM" + n + "!");
    EXPECT_TRUE(cls == &EOpenPort::ClassType || cls == &ESetupPort::ClassType) << message;
    EXPECT_FALSE(dispatcher.GetActive());
}

} // namespace
