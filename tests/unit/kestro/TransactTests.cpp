#include "EnglishTexts.h"
#include "FakeMeterLine.h"
#include "Raises.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestro_test;

namespace {

const std::string EchoFrame5 = "#R05E*12\r";

class TransactTest : public ::testing::Test {
protected:
    TransactTest() {
        Engine.Timeout = 300;
        Engine.Retries = 1;
    }
    void TearDown() override { EXPECT_FALSE(Engine.Busy); }

    TEnglishTexts English;
    TEngineRig Rig;
    TCommKestro& Engine = *Rig.Engine;
    TFakeMeterLine& Meter = *Rig.Line;
};

TEST_F(TransactTest, OneAttemptFailsAtOnceWithoutPause) {
    EXPECT_TRUE(Raises([&] { Engine.Echo(5); }, EKestroTimeout::ClassType, "[Kestro #05] Timeout"));
    EXPECT_EQ(Meter.Written, std::vector<std::string>{EchoFrame5});
    EXPECT_EQ(Meter.Purges, 1);
    EXPECT_TRUE(Rig.Clock.Pauses.empty());
    // It waited just past the time-out, in slices that keep the thread idle.
    EXPECT_GT(Rig.Clock.Elapsed, 300u);
    EXPECT_LE(Rig.Clock.Elapsed, 301u);
    for (std::uint32_t wait : Meter.Waits) {
        EXPECT_GE(wait, 1u);
        EXPECT_LE(wait, 50u);
    }
}

TEST_F(TransactTest, RetriesBelowOneStillMakeOneAttempt) {
    for (int retries : {0, -1}) {
        Engine.Retries = retries;
        Meter.Written.clear();
        EXPECT_THROW(Engine.Echo(5), EKestroTimeout) << retries;
        EXPECT_EQ(Meter.Written.size(), 1u) << retries;
    }
    Engine.Retries = 0;
    Rig.Reply(Line("A05E"));
    EXPECT_NO_THROW(Engine.Echo(5));
}

TEST_F(TransactTest, ThreeAttemptsAtASilentMeter) {
    Engine.Retries = 3;
    EXPECT_TRUE(Raises([&] { Engine.Echo(5); }, EKestroTimeout::ClassType, "[Kestro #05] Timeout"));
    EXPECT_EQ(Meter.Written, std::vector<std::string>(3, EchoFrame5));
    EXPECT_EQ(Meter.Purges, 3);
    EXPECT_EQ(Rig.Clock.Pauses, (std::vector<std::uint32_t>{50, 50}));
    EXPECT_GT(Rig.Clock.Elapsed, 3 * 300u + 2 * 50u);
    EXPECT_LE(Rig.Clock.Elapsed, 3 * 301u + 2 * 50u);
}

TEST_F(TransactTest, GoodReplyAfterAFailedAttemptSucceeds) {
    Engine.Retries = 3;
    Rig.Silence();
    Rig.Reply(Line("A05E"));
    EXPECT_NO_THROW(Engine.Echo(5));
    EXPECT_EQ(Meter.Written.size(), 2u);
    EXPECT_EQ(Engine.Response, (TKestroPacket{'A', 5, 'E', ""}));
}

TEST_F(TransactTest, TheLastAttemptsExceptionReachesTheCaller) {
    Engine.Retries = 2;
    Rig.Reply(Line("E05P"));
    Rig.Reply(Line("A05E").replace(6, 2, "00"));
    EXPECT_TRUE(Raises([&] { Engine.Echo(5); }, EKestroBadChecksum::ClassType,
                       "[Kestro #05] Bad packet checksum"));

    Rig.Silence();
    Rig.Reply(Line("E05P"));
    EXPECT_TRUE(Raises([&] { Engine.Echo(5); }, EKsRdWriteProtect::ClassType,
                       "Kestro #05 return: Device is not enabled for config!"));
}

struct TLineCase {
    const char* Name;
    std::string Bytes;
    const TExceptionClass* Class; // nullptr: the reply is accepted
};

TEST_F(TransactTest, CollectsTheReplyLineFromTheLastStartMarkToTheCR) {
    using namespace std::string_literals;
    const std::string good = Line("A05E");
    const std::string overlong = "#" + std::string(5000, 'x');
    const std::vector<TLineCase> cases{
        {"plain", good, nullptr},
        {"noise before the start mark", "\xFF\0garbage"s + good, nullptr},
        {"second start mark restarts", "#A05C,12#xx" + good, nullptr},
        {"no CR", good.substr(0, good.size() - 1), &EKestroTimeout::ClassType},
        {"only noise", "A05E*01A05E*01", &EKestroTimeout::ClassType},
        {"overlong line", overlong + "\r", &EKestroBadPacket::ClassType},
        {"overlong line without CR", overlong, &EKestroTimeout::ClassType},
        {"overlong then restart", overlong + good, nullptr},
    };
    for (const TLineCase& c : cases) {
        Rig.Reply(c.Bytes);
        try {
            Engine.Echo(5);
            EXPECT_EQ(c.Class, nullptr) << c.Name << ": accepted";
        } catch (const Exception& e) {
            EXPECT_EQ(&e.ClassInfo(), c.Class) << c.Name << ": " << e.Message();
        }
    }
}

TEST_F(TransactTest, EndlessLineNoiseStillEndsAtTheDeadline) {
    Rig.Reply(std::string(100000, 'x'), 0, 1); // one byte every millisecond, never a CR
    EXPECT_THROW(Engine.Echo(5), EKestroTimeout);
    EXPECT_LE(Rig.Clock.Elapsed, 302u);
}

TEST_F(TransactTest, BytesAfterTheCRStayInTheDriverUntilTheNextPurge) {
    Rig.Reply(Line("A05E") + "tail");
    Engine.Echo(5);
    EXPECT_EQ(Meter.Unread(), "tail");
    Rig.Reply(Line("A05E"));
    Engine.Echo(5);
    EXPECT_EQ(Meter.Unread(), "");
    EXPECT_EQ(Meter.Purges, 2);
}

TEST_F(TransactTest, ReplyIsTakenAsSoonAsItArrives) {
    Rig.Reply(Line("A05E"), 123);
    Engine.Echo(5);
    EXPECT_EQ(Rig.Clock.Elapsed, 123u);
}

TEST_F(TransactTest, WrongObjectLetterIsRejectedButKeptInResponse) {
    Rig.Reply(Line("A05C,143005,070324"));
    EXPECT_TRUE(Raises([&] { Engine.Echo(5); }, EKestroBadPacket::ClassType,
                       "[Kestro #05] Bad packet format"));
    EXPECT_EQ(Engine.Response, (TKestroPacket{'A', 5, 'C', "143005,070324"}));
}

TEST_F(TransactTest, AddressTestExemptsOnlyAllMeters) {
    Rig.Reply(Line("A07E"));
    Engine.Echo(255);
    EXPECT_EQ(Meter.Written.back(), "#R??E*17\r");
    EXPECT_EQ(Engine.Response.Addr, 7);

    for (int addr : {100, 254}) {
        Rig.Reply(Line("A07E"));
        EXPECT_TRUE(Raises([&] { Engine.Echo(TKestroAddr(addr)); }, EKestroBadKestroId::ClassType,
                           "[all] Packet with wrong network address"));
    }
    Rig.Reply(Line("A06C,1"));
    EXPECT_TRUE(Raises([&] { Engine.WriteCmd(5, 'C', "1"); }, EKestroBadKestroId::ClassType,
                       "[Kestro #05] Packet with wrong network address"));
}

TEST_F(TransactTest, UnansweredRequestToAllMetersIsNamedAll) {
    EXPECT_TRUE(Raises([&] { Engine.Echo(255); }, EKestroTimeout::ClassType, "[all] Timeout"));
}

TEST_F(TransactTest, FailedExchangeKeepsItsRequestAndTheLastAcceptedResponse) {
    Rig.Reply(Line("A05E"));
    Engine.Echo(5);
    EXPECT_THROW(Engine.WriteCmd(9, 'C', "120000,010124"), EKestroTimeout);
    EXPECT_EQ(Engine.Request, (TKestroPacket{'W', 9, 'C', "120000,010124"}));
    EXPECT_EQ(Engine.Response, (TKestroPacket{'A', 5, 'E', ""}));
}

TEST_F(TransactTest, BusyOnlyWhileTheExchangeRuns) {
    std::vector<bool> seen;
    Meter.OnWrite = [&] {
        seen.push_back(Engine.Busy);
    };
    Rig.Reply(Line("A05E"));
    Engine.Echo(5);
    EXPECT_FALSE(Engine.Busy);
    Meter.FailWrite = true;
    EXPECT_THROW(Engine.Echo(5), EWritePort);
    EXPECT_EQ(seen, (std::vector<bool>{true, true}));
}

TEST_F(TransactTest, PortFailuresAreRetriedAndTheLastOnePropagates) {
    Engine.Retries = 3;
    Meter.FailWrite = true;
    EXPECT_TRUE(Raises([&] { Engine.Echo(5); }, EWritePort::ClassType, "COM1 write error!"));
    EXPECT_EQ(Meter.Written.size(), 3u);
    Meter.FailWrite = false;

    Meter.FailRead = true;
    EXPECT_TRUE(Raises([&] { Engine.Echo(5); }, EReadPort::ClassType, "COM1 read error!"));
    Meter.FailRead = false;

    Meter.FailPurge = true;
    EXPECT_TRUE(Raises([&] { Engine.Echo(5); }, ECommError::ClassType, "COM1 unexpected error!"));
    Meter.FailPurge = false;

    Rig.Reply(Line("A05E"));
    EXPECT_NO_THROW(Engine.Echo(5)); // still usable
}

TEST_F(TransactTest, TickCounterWrappingMidWaitKeepsTheFullTimeout) {
    Rig.Clock.Base = 0xFFFFFF00u; // wraps 256 ms into the wait
    EXPECT_THROW(Engine.Echo(5), EKestroTimeout);
    EXPECT_GT(Rig.Clock.Elapsed, 300u);
    EXPECT_LE(Rig.Clock.Elapsed, 301u);

    Rig.Clock.Base = 0xFFFFFF00u - static_cast<std::uint32_t>(Rig.Clock.Elapsed);
    Rig.Reply(Line("A05E"), 290);
    EXPECT_NO_THROW(Engine.Echo(5));
}

TEST_F(TransactTest, TimeoutChangeAppliesToTheNextExchangeAndNegativeMeansNoWait) {
    Engine.Timeout = 2000;
    Rig.Reply(Line("A05E"), 1500);
    EXPECT_NO_THROW(Engine.Echo(5));

    Engine.Timeout = -5;
    const std::uint64_t before = Rig.Clock.Elapsed;
    EXPECT_THROW(Engine.Echo(5), EKestroTimeout);
    EXPECT_LE(Rig.Clock.Elapsed - before, 1u);
}

} // namespace

namespace {

TEST_F(TransactTest, TheWaitForAReplyEndsAfterAMinuteWhateverTimeoutHolds) {
    Engine.Timeout = 2147483647;
    Rig.Reply(Line("A05E"), 70000); // would be taken if the wait were not capped
    EXPECT_THROW(Engine.Echo(5), EKestroTimeout);
    EXPECT_GT(Rig.Clock.Elapsed, 60000u);
    EXPECT_LE(Rig.Clock.Elapsed, 60001u);
    EXPECT_EQ(Engine.Timeout, 2147483647);

    Rig.Reply(Line("A05E"), 59000);
    EXPECT_NO_THROW(Engine.Echo(5));
}

// A meter that answers just after the time-out: its reply arrives while the next exchange runs.
class LateReplyTest : public TransactTest {
protected:
    LateReplyTest() { Engine.Timeout = 20; }

    // The first exchange times out; its reply starts `delay` ms after the request, one byte a
    // millisecond, so a delay below the time-out splits it around the next purge.
    void TimeOutWithLateReply(TKestroAddr addr, char code, std::uint32_t delay) {
        const std::string body = std::string("A") + char('0' + addr / 10) + char('0' + addr % 10) +
                                 code + (code == 'C' ? ",120000,010124" : "");
        Rig.Reply(Line(body), delay, 1);
        EXPECT_THROW(Engine.ReadCmd(addr, code, ""), EKestroTimeout);
    }
};

TEST_F(LateReplyTest, ALateReplyNeverFailsTheNextExchange) {
    for (std::uint32_t delay : {14u, 15u, 17u, 19u, 21u, 25u}) {
        // the next meter of a scan
        TimeOutWithLateReply(5, 'E', delay);
        Rig.Reply(Line("A06E"), 19);
        EXPECT_NO_THROW(Engine.Echo(6)) << delay;
        EXPECT_EQ(Engine.Response, (TKestroPacket{'A', 6, 'E', ""})) << delay;

        // another object of the same meter
        TimeOutWithLateReply(5, 'E', delay);
        Rig.Reply(Line("A05C,120000,010124"), 19);
        EXPECT_NO_THROW(Engine.ReadCmd(5, 'C', "")) << delay;
        EXPECT_EQ(Engine.Response.Code, 'C') << delay;

        // the same request again: the late reply answers it as well
        TimeOutWithLateReply(5, 'E', delay);
        Rig.Reply(Line("A05E"), 19);
        EXPECT_NO_THROW(Engine.Echo(5)) << delay;
        Meter.Purge();
    }
}

TEST_F(LateReplyTest, MalformedRepliesAfterATimeoutKeepTheirErrorClass) {
    const std::string badSum = Line("A06E").replace(6, 2, "00");
    const std::vector<TLineCase> cases{
        {"bad checksum", badSum, &EKestroBadChecksum::ClassType},
        {"another meter", Line("A07E"), &EKestroBadKestroId::ClassType},
        {"another object", Line("A06C,1"), &EKestroBadPacket::ClassType},
        {"too short", "#A06*\r", &EKestroBadPacket::ClassType},
        {"meter's error", Line("E06P"), &EKsRdWriteProtect::ClassType},
        {"timed-out meter, malformed", "#A05E*0\r", &EKestroBadPacket::ClassType},
    };
    for (const TLineCase& c : cases) {
        TimeOutWithLateReply(5, 'E', 15);
        Rig.Reply(c.Bytes, 10);
        try {
            Engine.Echo(6);
            ADD_FAILURE() << c.Name << ": accepted";
        } catch (const Exception& e) {
            EXPECT_EQ(&e.ClassInfo(), c.Class) << c.Name << ": " << e.Message();
        }
        Meter.Purge();
    }
}

TEST_F(LateReplyTest, ALateReplyThatAlsoAnswersTheRunningRequestIsTaken) {
    TimeOutWithLateReply(5, 'E', 25); // arrives whole after the time-out
    Rig.Silence();                    // the repeated request gets no reply of its own
    EXPECT_NO_THROW(Engine.Echo(5));
    EXPECT_EQ(Engine.Response, (TKestroPacket{'A', 5, 'E', ""}));

    TimeOutWithLateReply(7, 'E', 25);
    Rig.Silence();
    EXPECT_NO_THROW(Engine.Echo(255)); // a request to all meters accepts meter 7
    EXPECT_EQ(Engine.Response.Addr, 7);
}

TEST_F(LateReplyTest, ALateErrorReplyOfTheTimedOutMeterIsPassedOver) {
    Rig.Reply(Line("E05S"), 25);
    EXPECT_THROW(Engine.Echo(5), EKestroTimeout);
    Rig.Reply(Line("A06E"), 19);
    EXPECT_NO_THROW(Engine.Echo(6));
}

TEST_F(LateReplyTest, AQuietScanTakesNoLongerThanItsTimeouts) {
    for (int addr = 0; addr < 100; ++addr)
        EXPECT_THROW(Engine.Echo(TKestroAddr(addr)), EKestroTimeout);
    EXPECT_LE(Rig.Clock.Elapsed, 100u * 21u);
}

} // namespace
