// The meter session over the Win32 channel against the virtual meters on the mapped port: the
// optical head's speed switch, frame order and the line restored afterwards.

#include "MeterLog.h"
#include "WinTestSupport.h"

#include "app/Link.h"
#include "app/MeterSession.h"
#include "app/SessionObserver.h"
#include "comm/uCommKestro.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace wintest;

namespace {

struct TRecorder : TSessionObserver {
    std::vector<std::string> Seen;
    void SessionStatus(const std::string& text) override { Seen.push_back(text); }
};

class WinSession : public TMeterPortTest {
protected:
    void SetUp() override {
        TMeterPortTest::SetUp();
        if (IsSkipped())
            return;
        Link = std::make_unique<TLink>(TSettings{Port, 9600, 500}, TPortMap{});
        Link->SetRetries(1);
        Link->Open();
    }

    TMeterSession Session(TMeterTarget target) { return TMeterSession(*Link, target, Recorder); }

    std::unique_ptr<TLink> Link;
    TRecorder Recorder;
};

TEST_F(WinSession, OptoheadEchoRunsAt300BaudBetweenLinkOnAndOffThenTheBusAt9600) {
    auto head = Session(TMeterTarget::Optohead());
    TKestroAddr answered = 0;
    head.Run([&] { answered = head.Echo(); });
    EXPECT_EQ(answered, 7);
    EXPECT_EQ(Recorder.Seen.back(), "Echo from meter #07 returned");
    EXPECT_EQ(Link->Engine().Timeout, 500);
    EXPECT_TRUE(Link->Active());

    auto bus = Session(TMeterTarget::Bus(5));
    bus.Run([&] { bus.Echo(); });

    const auto heard = HeardSinceStart(4);
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[0].Frame, RequestFrame("W??k,01"));
    EXPECT_EQ(heard[1].Frame, RequestFrame("R??E"));
    EXPECT_EQ(heard[2].Frame, RequestFrame("W??k,00"));
    EXPECT_EQ(heard[3].Frame, RequestFrame("R05E"));
    const std::vector<int> speeds{heard[0].BaudRate, heard[1].BaudRate, heard[2].BaudRate,
                                  heard[3].BaudRate};
    EXPECT_EQ(speeds, std::vector<int>({300, 300, 300, 9600}));
}

} // namespace
