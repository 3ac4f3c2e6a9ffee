// The serial channel through the Win32 backend against a virtual meter on a mapped COM port.

#include "MeterLog.h"
#include "WinPlatform.h"
#include "WinTestSupport.h"

#include "app/uGlobals.h"
#include "comm/uCommDispatcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace wintest;

namespace {

constexpr const char* EchoToMeter5 = "R05E";

template <class TError>
void ExpectError(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const TError& error) {
        EXPECT_EQ(&error.ClassInfo(), &TError::ClassType) << error.ClassInfo().Name;
        EXPECT_EQ(error.Message(), message);
    }
}

class WinChannel : public TMeterPortTest {};

struct TLineCase {
    std::int32_t BaudRate;
    bool SlowLink; // 300 baud needs the long write time-out for a whole frame
};

class WinChannelSpeed : public WinChannel, public ::testing::WithParamInterface<TLineCase> {};

TEST_P(WinChannelSpeed, FrameGoesOutAtTheSetSpeedIn8N1AndTheReplyComesBack) {
    if (LogPath.empty())
        GTEST_SKIP() << MeterLogVar << " is not set: the meter's side cannot be seen";
    const TLineCase line = GetParam();
    Dispatcher.SetBaudRate(line.BaudRate);
    Dispatcher.SetSlowLink(line.SlowLink);
    Dispatcher.Open();
    ASSERT_TRUE(Dispatcher.GetActive());

    Dispatcher.Purge();
    Dispatcher.WriteStr(RequestFrame(EchoToMeter5));
    const std::string reply = ReadLine(Dispatcher, 3000);
    EXPECT_EQ(reply.substr(0, 5), "#A05E") << reply;
    EXPECT_EQ(reply.back(), '\r');

    const auto heard = HeardSinceStart(1);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].Frame, RequestFrame(EchoToMeter5));
    EXPECT_EQ(heard[0].BaudRate, line.BaudRate);
    EXPECT_TRUE(heard[0].Answered);

    // What the channel left in the driver: raw 8N1 at the speed, no flow control of any kind.
    Dispatcher.Close();
    const auto state = ReadCommState(Port);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->BaudRate, static_cast<std::uint32_t>(line.BaudRate));
    EXPECT_EQ(state->ByteSize, 8);
    EXPECT_EQ(state->Parity, 0);   // NOPARITY
    EXPECT_EQ(state->StopBits, 0); // ONESTOPBIT
    EXPECT_TRUE(state->Binary);
    EXPECT_FALSE(state->ParityCheck);
    EXPECT_FALSE(state->OutxCtsFlow);
    EXPECT_FALSE(state->OutxDsrFlow);
    EXPECT_FALSE(state->OutX);
    EXPECT_FALSE(state->InX);
    EXPECT_FALSE(state->Null);
    EXPECT_FALSE(state->AbortOnError);
}

INSTANTIATE_TEST_SUITE_P(Speeds, WinChannelSpeed,
                         ::testing::Values(TLineCase{300, true}, TLineCase{1200, false},
                                           TLineCase{9600, false}, TLineCase{19200, false}),
                         [](const auto& info) { return std::to_string(info.param.BaudRate); });

TEST_F(WinChannel, ReadsReturnAtOnceWhenNothingIsWaiting) {
    Dispatcher.Open();
    Dispatcher.Purge();
    const auto start = std::chrono::steady_clock::now();
    char c = 0;
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(Dispatcher.ReadChar(c));
    char buffer[4] = {};
    EXPECT_FALSE(Dispatcher.ReadBuf(buffer, 4));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST_F(WinChannel, PurgeDiscardsAReplyThatHasArrived) {
    Dispatcher.Open();
    Dispatcher.Purge();
    Dispatcher.WriteStr(RequestFrame(EchoToMeter5));
    ASSERT_TRUE(Dispatcher.WaitForInput(3000));
    // The reply line is a dozen bytes; give the rest of it time to land as well.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    Dispatcher.Purge();
    char c = 0;
    EXPECT_FALSE(Dispatcher.ReadChar(c));
    EXPECT_FALSE(Dispatcher.WaitForInput(200));
}

TEST_F(WinChannel, WriteStrOfEmptyTextWritesNothing) {
    Dispatcher.Open();
    EXPECT_NO_THROW(Dispatcher.WriteStr(""));
    if (!LogPath.empty()) {
        EXPECT_TRUE(ReadMeterLog(LogPath, LogStart).empty());
    }
}

TEST_F(WinChannel, OpenOnAnOpenChannelReopensWithTheNewSpeed) {
    if (LogPath.empty())
        GTEST_SKIP() << MeterLogVar << " is not set: the meter's side cannot be seen";
    Dispatcher.Open();
    Dispatcher.SetBaudRate(9600); // the current value: stays open
    EXPECT_TRUE(Dispatcher.GetActive());
    Dispatcher.SetBaudRate(1200); // another value: closes, and only Open brings it back
    EXPECT_FALSE(Dispatcher.GetActive());
    Dispatcher.Open();
    Dispatcher.Open();
    Dispatcher.WriteStr(RequestFrame(EchoToMeter5));
    EXPECT_EQ(ReadLine(Dispatcher, 3000).substr(0, 5), "#A05E");
    const auto heard = HeardSinceStart(1);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].BaudRate, 1200);
}

// A port the script mapped to nothing: the open fails with the port's number in the text,
// and the channel stays closed; its byte operations then fail with their own texts.
TEST(WinChannelMissingPort, OpenFailsAndTheClosedChannelRefusesEveryByteOperation) {
    const auto port = PortFromEnv(MissingPortVar);
    if (!port)
        GTEST_SKIP() << MissingPortVar << " is not set: no port is known to be missing";
    SetEnglishMessages();
    TCommDispatcher dispatcher;
    dispatcher.SetPort(*port);
    const std::string n = std::to_string(*port);

    ExpectError<EOpenPort>([&] { dispatcher.Open(); }, "Cannot open COM" + n + "!");
    EXPECT_FALSE(dispatcher.GetActive());
    EXPECT_EQ(dispatcher.LastFailureCause(),
              "\\\\.\\COM" + n + ": no such device: is the adapter plugged in?");
    EXPECT_TRUE(dispatcher.PortLost());
    ExpectError<EOpenPort>([&] { dispatcher.SetActive(true); }, "Cannot open COM" + n + "!");
    EXPECT_FALSE(dispatcher.GetActive());

    ExpectError<ECommError>([&] { dispatcher.Purge(); }, "COM" + n + " unexpected error!");
    char c = 0;
    ExpectError<EReadPort>([&] { dispatcher.ReadChar(c); }, "COM" + n + " read error!");
    ExpectError<EWritePort>([&] { dispatcher.WriteStr("#"); }, "COM" + n + " write error!");
}

// Checks that hold on Windows only: Wine does not carry out these parts of the serial calls.

TEST_F(WinChannel, SecondOpenOfAHeldPortIsRefused) {
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine lets a second handle open a port that is held exclusively";
    Dispatcher.Open();
    TCommDispatcher second;
    second.SetPort(Port);
    ExpectError<EOpenPort>([&] { second.Open(); }, "Cannot open COM" + std::to_string(Port) + "!");
    EXPECT_FALSE(second.GetActive());
    EXPECT_TRUE(Dispatcher.GetActive());
}

TEST_F(WinChannel, DtrIsRaisedAndRtsIsLow) {
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine cannot show DTR and RTS on a pseudo-terminal";
    Dispatcher.Open();
    Dispatcher.Close();
    const auto state = ReadCommState(Port);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->DtrControl, 1u); // DTR_CONTROL_ENABLE
    EXPECT_EQ(state->RtsControl, 0u); // RTS_CONTROL_DISABLE
}

TEST_F(WinChannel, FlowControlLimitsReadBackAsSet) {
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine reports XonLim and XoffLim as 10 whatever was set";
    Dispatcher.Open();
    Dispatcher.Close();
    const auto state = ReadCommState(Port);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->XonLim, 0);
    EXPECT_EQ(state->XoffLim, 768);
}

} // namespace
