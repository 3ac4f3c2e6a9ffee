// The real channel and engine against the virtual meter over a pseudo-terminal: the request
// bytes as the meters heard them, at the speed they heard them, and every failure a meter or
// the line can produce, as the caller sees it.
#include "tests/unit/kestro/EnglishTexts.h"
#include "tests/unit/kestro/Raises.h"

#include "VirtualMeter.h"
#include "comm/PortNames.h"
#include "comm/uCommKestro.h"
#include "runtime/DateTime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

using namespace kestro_test;

namespace {

constexpr int BusMeter = 5;
constexpr int OptoMeter = 7;

class KestroOnVirtualMeter : public ::testing::Test {
protected:
    explicit KestroOnVirtualMeter(bool pace = false)
        : Meter(vmeter::TOptions{{BusMeter}, OptoMeter, pace, 0, "", {}}) {
        Dispatcher.SetPort(1);
        Dispatcher.SetDevice(Meter.SlavePath());
        Dispatcher.SetBaudRate(9600);
        Dispatcher.Open();
        // Generous: the meters' thread competes with parallel tests for the processor.
        Engine.Timeout = 1000;
        Engine.Retries = 1;
    }
    void TearDown() override { EXPECT_FALSE(Engine.Busy); }

    // Switches to the optical head as the main window does: slow link, 300 baud, 2 s replies.
    void UseOpticalHead() {
        Dispatcher.SetSlowLink(true);
        Dispatcher.SetBaudRate(300);
        Dispatcher.Open();
        Engine.Timeout = 2000;
    }

    std::vector<std::string> Frames() const {
        std::vector<std::string> frames;
        for (const vmeter::TLogEntry& e : Meter.Log())
            frames.push_back(e.Frame + "@" + std::to_string(e.BaudRate) +
                             (e.Answered ? "" : " unanswered"));
        return frames;
    }

    TEnglishTexts English;
    vmeter::TVirtualMeter Meter;
    TCommDispatcher Dispatcher;
    TCommKestro Engine{Dispatcher};
};

TEST_F(KestroOnVirtualMeter, EchoReachesTheAddressedMeterOnly) {
    Engine.Echo(BusMeter);
    EXPECT_EQ(Engine.Response, (TKestroPacket{'A', BusMeter, 'E', ""}));
    EXPECT_TRUE(Raises([&] { Engine.Echo(8); }, EKestroTimeout::ClassType, "[Kestro #08] Timeout"));
    // At bus speed the meter under the optical head does not hear requests to all meters.
    EXPECT_TRUE(Raises([&] { Engine.Echo(255); }, EKestroTimeout::ClassType, "[all] Timeout"));
    EXPECT_EQ(Frames(), (std::vector<std::string>{"#R05E*12\r@9600", "#R08E*1F\r@9600 unanswered",
                                                  "#R??E*17\r@9600 unanswered"}));
}

TEST_F(KestroOnVirtualMeter, ClockWriteAndReadRoundTrip) {
    const TDateTime time = EncodeTime(14, 30, 5, 0);
    const TDateTime date = EncodeDate(2024, 3, 7);
    Engine.SetDateTime(BusMeter, time, date);
    EXPECT_EQ(Meter.Log().back().Frame, "#W05C,143005,070324*10\r");

    TDateTime readTime = 0, readDate = 0;
    Engine.GetDateTime(BusMeter, readTime, readDate);
    EXPECT_EQ(Meter.Log().back().Frame, "#R05C*14\r");
    EXPECT_EQ(readDate, date);
    // The meter's clock runs on from the moment it was set.
    const double drift = (readTime - time) * 86400.0;
    EXPECT_GE(drift, -0.5);
    EXPECT_LE(drift, 3.0);
}

TEST_F(KestroOnVirtualMeter, LinkModeThroughTheOpticalHeadAt300Baud) {
    UseOpticalHead();
    Engine.WriteCmd(255, 'k', "01");
    EXPECT_TRUE(Meter.LinkMode());
    Engine.Echo(255);
    EXPECT_EQ(Engine.Response.Addr, OptoMeter);
    Engine.WriteCmd(255, 'k', "00");
    EXPECT_FALSE(Meter.LinkMode());
    EXPECT_EQ(Frames(), (std::vector<std::string>{"#W??k,01*11\r@300", "#R??E*17\r@300",
                                                  "#W??k,00*10\r@300"}));
}

struct TFaultCase {
    vmeter::TFault Fault;
    const TExceptionClass* Class; // nullptr: the exchange succeeds
    std::string Message;
};

TEST_F(KestroOnVirtualMeter, FaultsReachTheCallerWithTheirClassAndText) {
    using vmeter::TFault;
    const std::vector<TFaultCase> cases{
        {TFault::Silence, &EKestroTimeout::ClassType, "[Kestro #05] Timeout"},
        {TFault::NoCR, &EKestroTimeout::ClassType, "[Kestro #05] Timeout"},
        {TFault::ErrorS, &EKsRdBadChecksum::ClassType,
         "Kestro #05 return: Bad checksum in request!"},
        {TFault::ErrorC, &EKsRdUnknownCommand::ClassType, "Kestro #05 return: Unknown command: C!"},
        {TFault::ErrorD, &EKsRdDataFmtError::ClassType, "Kestro #05 return: Data format error!"},
        {TFault::ErrorP, &EKsRdWriteProtect::ClassType,
         "Kestro #05 return: Device is not enabled for config!"},
        {TFault::ErrorUnknown, &EKestroUnknownError::ClassType,
         "[Kestro #05] Received unknown error code: \"X\""},
        {TFault::BadChecksum, &EKestroBadChecksum::ClassType, "[Kestro #05] Bad packet checksum"},
        {TFault::WrongAddress, &EKestroBadKestroId::ClassType,
         "[Kestro #05] Packet with wrong network address"},
        {TFault::WrongObject, &EKestroBadPacket::ClassType, "[Kestro #05] Bad packet format"},
        {TFault::NoiseBeforeHash, nullptr, ""},
    };
    for (const TFaultCase& c : cases) {
        Meter.SetFault(c.Fault, 1);
        if (c.Class)
            EXPECT_TRUE(Raises([&] { Engine.Echo(BusMeter); }, *c.Class, c.Message))
                << vmeter::FaultName(c.Fault);
        else
            EXPECT_NO_THROW(Engine.Echo(BusMeter)) << vmeter::FaultName(c.Fault);
        // The fault was for one reply: the engine is usable again at once.
        EXPECT_NO_THROW(Engine.Echo(BusMeter)) << "after " << vmeter::FaultName(c.Fault);
    }
    EXPECT_EQ(Meter.Log().size(), 2 * cases.size());
}

TEST_F(KestroOnVirtualMeter, WrongObjectLetterStaysInResponse) {
    Meter.SetFault(vmeter::TFault::WrongObject, 1);
    EXPECT_THROW(Engine.Echo(BusMeter), EKestroBadPacket);
    EXPECT_EQ(Engine.Response, (TKestroPacket{'A', BusMeter, 'C', ""}));
}

TEST_F(KestroOnVirtualMeter, RetriesOutlastTwoFaultyReplies) {
    Engine.Retries = 3;
    Meter.SetFault(vmeter::TFault::BadChecksum, 2);
    EXPECT_NO_THROW(Engine.Echo(BusMeter));
    EXPECT_EQ(Frames(), std::vector<std::string>(3, "#R05E*12\r@9600"));
}

TEST_F(KestroOnVirtualMeter, ClockWriteAnsweredWithOtherDataIsNotTaken) {
    Meter.SetFault(vmeter::TFault::WriteDataDiff, 1);
    EXPECT_TRUE(Raises(
        [&] { Engine.SetDateTime(BusMeter, EncodeTime(14, 30, 5, 0), EncodeDate(2024, 3, 7)); },
        EKestroDataDiff::ClassType, "[Kestro #05] Different data in responce! Data not written."));
}

TEST_F(KestroOnVirtualMeter, DroppedLineGivesPortErrors) {
    Meter.SetFault(vmeter::TFault::DropLine, 1);
    // The request went out; the line vanished while the reply was awaited.
    EXPECT_TRUE(Raises([&] { Engine.Echo(BusMeter); }, EReadPort::ClassType, "COM1 read error!"));
    EXPECT_FALSE(Engine.Busy);
    // Every later exchange fails on the port as well, never as a success or a timeout.
    try {
        Engine.Echo(BusMeter);
        FAIL() << "an exchange on a dropped line succeeded";
    } catch (const EKestroError& e) {
        FAIL() << "protocol error instead of a port error: " << e.Message();
    } catch (const ECommError& e) {
        EXPECT_EQ(e.Message().substr(0, 4), "COM1") << e.Message();
    }
}

TEST_F(KestroOnVirtualMeter, SilentMeterTimesOutAfterTheTimeout) {
    Meter.SetFault(vmeter::TFault::Silence, -1);
    Engine.Timeout = 200;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Engine.Echo(BusMeter), EKestroTimeout);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(200));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
}

class KestroOnPacedVirtualMeter : public KestroOnVirtualMeter {
protected:
    KestroOnPacedVirtualMeter() : KestroOnVirtualMeter(true) {}
};

// At 300 baud a reply takes a noticeable time on the line; the engine waits for all of it.
TEST_F(KestroOnPacedVirtualMeter, ReplyAtLineSpeedThroughTheOpticalHead) {
    UseOpticalHead();
    const auto start = std::chrono::steady_clock::now();
    Engine.Echo(255);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(Engine.Response.Addr, OptoMeter);
    // Nine reply bytes at 300 baud: 300 ms on the line.
    EXPECT_GE(took, std::chrono::milliseconds(290));
    EXPECT_EQ(Frames(), std::vector<std::string>{"#R??E*17\r@300"});
}

} // namespace
