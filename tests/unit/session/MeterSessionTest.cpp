// The meter session over a scripted line: which frames go out at which speed, which timeouts
// hold, and what every way out of the optical head's session leaves behind.
#include "EnglishTexts.h"
#include "LinkRig.h"
#include "Raises.h"

#include "app/MeterSession.h"
#include "app/SessionObserver.h"
#include "runtime/SysUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestro_test;

namespace {

using Texts = std::vector<std::string>;

const std::string LinkOn = "#W??k,01*11\r";
const std::string LinkOff = "#W??k,00*10\r";

struct TRecorder : TSessionObserver {
    Texts Seen;
    void SessionStatus(const std::string& text) override { Seen.push_back(text); }
};

class MeterSession : public ::testing::Test {
protected:
    MeterSession() {
        // Records the engine's reply timeout at each request.
        rig.Line->OnWrite = [this] {
            TimeoutAtRequest.push_back(rig.Engine().Timeout);
        };
    }

    TMeterSession Session(TMeterTarget target) {
        return TMeterSession(*rig.Link, target, recorder);
    }
    std::vector<std::int32_t> Speeds() const {
        std::vector<std::int32_t> speeds;
        for (const auto& s : rig.Line->Configured)
            speeds.push_back(s.BaudRate);
        return speeds;
    }
    void LinkAccepted(const std::string& data) { rig.Reply(Line("A07k," + data)); }

    TEnglishTexts english;
    const TSettings Configured{1, 9600, 200};
    // The state after start-up: configured timeout, one attempt, port open at 9600.
    TLinkRig rig{Configured};
    TRecorder recorder;
    std::vector<std::int32_t> TimeoutAtRequest;
};

TEST_F(MeterSession, BusMeterIsAskedAtTheConfiguredSpeedWithNothingAround) {
    rig.Reply(Line("A05E"));
    auto session = Session(TMeterTarget::Bus(5));
    TKestroAddr answered = 0;
    session.Run([&] { answered = session.Echo(); });
    EXPECT_EQ(answered, 5);
    EXPECT_EQ(rig.Line->Written, Texts({"#R05E*12\r"}));
    EXPECT_TRUE(rig.Line->Configured.empty());
    EXPECT_EQ(TimeoutAtRequest, std::vector<std::int32_t>({200}));
    EXPECT_EQ(recorder.Seen, Texts({"Sending echo request...", "Echo from meter #05 returned"}));
    EXPECT_TRUE(rig.Line->Configured.empty()); // the speed and write timeout are untouched
}

TEST_F(MeterSession, OptoheadSwitchesTo300BaudAroundTheOperationAndShowsTheAnswerLast) {
    LinkAccepted("01");
    rig.Reply(Line("A07E"));
    LinkAccepted("00");
    auto session = Session(TMeterTarget::Optohead());
    session.Run([&] { session.Echo(); });

    ASSERT_EQ(rig.Line->Written.size(), 3u);
    EXPECT_EQ(rig.Line->Written[0], LinkOn);
    EXPECT_EQ(rig.Line->Written[2], LinkOff);
    EXPECT_EQ(Speeds(), std::vector<std::int32_t>({300, 9600}));
    EXPECT_EQ(rig.Line->Opens, 0); // changed in place: a device server keeps its connection
    // The long write timeout from the first switch on, also back at the configured speed.
    EXPECT_EQ(rig.Line->Configured[0].WriteTimeoutMs, 2000u);
    EXPECT_EQ(rig.Line->Configured[1].WriteTimeoutMs, 2000u);
    EXPECT_EQ(TimeoutAtRequest, std::vector<std::int32_t>({2000, 2000, 2000}));
    EXPECT_EQ(rig.Engine().Timeout, 200);
    EXPECT_EQ(rig.Speed(), 9600);
    EXPECT_TRUE(rig.Link->Active());
    EXPECT_EQ(recorder.Seen, Texts({"Sending echo request...", "Echo from meter #07 returned",
                                    "Closing connection...", "Echo from meter #07 returned"}));
}

TEST_F(MeterSession, RefusedLinkModeRestoresTheLineAndSendsNoOff) {
    rig.Reply(Line("E07P"));
    auto session = Session(TMeterTarget::Optohead());
    bool ran = false;
    EXPECT_TRUE(Raises([&] { session.Run([&] { ran = true; }); }, EKsRdWriteProtect::ClassType,
                       "Kestro #07 return: Device is not enabled for config!"));
    EXPECT_FALSE(ran);
    EXPECT_EQ(rig.Line->Written, Texts({LinkOn}));
    EXPECT_EQ(Speeds(), std::vector<std::int32_t>({300, 9600}));
    EXPECT_EQ(rig.Engine().Timeout, 200);
    EXPECT_TRUE(rig.Link->Active());
    EXPECT_TRUE(recorder.Seen.empty());
}

TEST_F(MeterSession, FailingLinkOffReplacesTheOperationsFailureAndStillRestores) {
    LinkAccepted("01");
    rig.Silence(); // the echo times out
    rig.Reply(Line("E07D"));
    auto session = Session(TMeterTarget::Optohead());
    EXPECT_TRUE(Raises([&] { session.Run([&] { session.Echo(); }); }, EKsRdDataFmtError::ClassType,
                       "Kestro #07 return: Data format error!"));
    EXPECT_EQ(rig.Line->Written.back(), LinkOff);
    EXPECT_EQ(Speeds(), std::vector<std::int32_t>({300, 9600}));
    EXPECT_EQ(rig.Engine().Timeout, 200);
    EXPECT_EQ(recorder.Seen.back(), "Closing connection...");
}

TEST_F(MeterSession, FailingLinkOffAfterASuccessDoesNotRepeatTheResult) {
    LinkAccepted("01");
    rig.Reply(Line("A07E"));
    rig.Silence();
    auto session = Session(TMeterTarget::Optohead());
    EXPECT_TRUE(Raises([&] { session.Run([&] { session.Echo(); }); }, EKestroTimeout::ClassType,
                       "[all] Timeout"));
    EXPECT_EQ(recorder.Seen.back(), "Closing connection...");
    EXPECT_EQ(rig.Speed(), 9600);
}

TEST_F(MeterSession, InvalidClockReplyStillClosesTheLink) {
    LinkAccepted("01");
    rig.Reply(Line("A07C,120000,320199")); // the 32nd of January
    LinkAccepted("00");
    auto session = Session(TMeterTarget::Optohead());
    TDateTime time = 7;
    TDateTime date = 8;
    EXPECT_TRUE(Raises([&] { session.Run([&] { session.GetDateTime(time, date); }); },
                       EConvertError::ClassType, "Invalid argument to date encode"));
    EXPECT_EQ(time, 7);
    EXPECT_EQ(date, 8);
    EXPECT_EQ(rig.Line->Written.back(), LinkOff);
    EXPECT_EQ(recorder.Seen.back(), "Closing connection...");
}

TEST_F(MeterSession, OpenFailingAt300BaudStillReopensAtTheConfiguredSpeedKeepingTheCause) {
    rig.Line->RefuseSpeed = 300;
    rig.Line->Cause = "socket://127.0.0.1:4001: cannot change the line's speed";
    auto session = Session(TMeterTarget::Optohead());
    EXPECT_TRUE(Raises([&] { session.Open(); }, ESetupPort::ClassType, "Cannot setup COM1!"));
    EXPECT_TRUE(rig.Line->Written.empty());
    EXPECT_EQ(Speeds(), std::vector<std::int32_t>({300, 9600}));
    EXPECT_TRUE(rig.Link->Active());
    EXPECT_EQ(rig.Engine().Timeout, 200);
    // What the user is told is why the switch failed, not that the line came back.
    EXPECT_EQ(rig.Link->FailureCause(), rig.Line->Cause);
}

TEST_F(MeterSession, ReopenFailingWhenClosingLeavesThePortClosedWithTheConfiguredTimeout) {
    LinkAccepted("01");
    rig.Reply(Line("A07E"));
    LinkAccepted("00");
    auto session = Session(TMeterTarget::Optohead());
    session.Open();
    session.Echo();
    rig.Line->RefuseSpeed = 9600;
    EXPECT_TRUE(Raises([&] { session.Close(); }, ESetupPort::ClassType, "Cannot setup COM1!"));
    EXPECT_EQ(rig.Line->Written.back(), LinkOff);
    EXPECT_FALSE(rig.Link->Active());
    EXPECT_EQ(rig.Speed(), 9600);
    EXPECT_EQ(rig.Engine().Timeout, 200);
}

// The link's stop, asked before every request: once it says stop nothing more goes out, not
// even a repeated attempt, but the "00" that ends link mode after an accepted "01".
TEST_F(MeterSession, AStopLetsNothingOutButTheEndOfLinkMode) {
    struct TCase {
        bool Optohead;
        std::size_t StopAfter; // requests written when the stop comes
        Texts Replies;         // the meter's, in turn; empty: silence
        Texts Written;
    };
    const std::string echo = "#R??E*17\r";
    const std::string on = Line("A07k,01");
    const std::string off = Line("A07k,00");
    const std::vector<TCase> cases{
        {true, 0, {}, {}},
        {true, 1, {on, off}, {LinkOn, LinkOff}},
        {true, 2, {on, "", off}, {LinkOn, echo, LinkOff}}, // no second attempt of the echo
        {false, 0, {}, {}},
        {false, 1, {""}, {"#R05E*12\r"}},
    };
    for (const TCase& c : cases) {
        rig.Line->Written.clear();
        for (const std::string& reply : c.Replies)
            reply.empty() ? rig.Silence() : rig.Reply(reply);
        rig.Link->SetRetries(3);
        rig.Link->SetStopRequested([&] { return rig.Line->Written.size() >= c.StopAfter; });
        auto session = Session(c.Optohead ? TMeterTarget::Optohead() : TMeterTarget::Bus(5));
        EXPECT_THROW(session.Run([&] { session.Echo(); }), EStopped) << c.StopAfter;
        EXPECT_EQ(rig.Line->Written, c.Written) << c.Optohead << " " << c.StopAfter;
        EXPECT_EQ(rig.Engine().Timeout, 200); // the line restored all the same
    }
}

} // namespace
