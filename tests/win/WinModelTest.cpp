// The window model over the Win32 channel, against the virtual meters behind Wine's COM ports:
// the same decisions as on Linux, the idle check of a healthy port that must stay quiet, and
// "Synchronise clock" checked against the timed meter's true offset. (The meter that drops its
// line does so once, for the channel's own test.)
#include "MeterLog.h"
#include "WinTestSupport.h"

#include "app/uGlobals.h"
#include "tests/support/ModelFakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace wintest;
using namespace model_test;

namespace {

struct TWinWindow {
    explicit TWinWindow(std::int32_t port) {
        SetEnglishMessages();
        store.Stored.Settings = {port, 9600, 3000};
        model = std::make_unique<TMainModel>(view, timers, store);
        model->FormCreate();
    }
    void UseAddress(int addr) {
        view.Optohead = false;
        view.Address = addr;
        model->AllMetersClicked(false);
    }
    TFakeView view;
    TFakeTimers timers;
    TMemoryStore store;
    std::unique_ptr<TMainModel> model;
};

class WinModel : public TMeterPortTest {};

TEST_F(WinModel, EchoOnTheBusAndThroughTheOpticalHeadAndAnIdlePortStaysQuiet) {
    TWinWindow window(Port);
    ASSERT_EQ(window.view.Status(), "Status: Ready");
    window.model->Execute(TMainAction::SendEcho);
    EXPECT_EQ(window.view.Status(), "Status: Echo from meter #07 returned");
    window.UseAddress(5);
    window.model->Execute(TMainAction::SendEcho);
    EXPECT_EQ(window.view.Status(), "Status: Echo from meter #05 returned");

    const auto heard = HeardSinceStart(4);
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[0].Frame, RequestFrame("W??k,01"));
    EXPECT_EQ(heard[0].BaudRate, 300);
    EXPECT_EQ(heard[2].Frame, RequestFrame("W??k,00"));
    EXPECT_EQ(heard[3].BaudRate, 9600);

    // The idle check asks the port, not the meter: nothing is sent and the port stays open.
    window.timers.Advance(6000);
    EXPECT_EQ(window.view.Status(), "Status: Ready");
    EXPECT_TRUE(window.view.Enabled.at(TMainAction::SendEcho));
    EXPECT_EQ(ReadMeterLog(LogPath, LogStart).size(), 4u);
}

TEST(WinModelSync, SynchroniseClockSetsTheTimedMeterWithinTheGoals) {
    const auto port = PortFromEnv("KESTRO_WIN_TEST_CLOCK_COM");
    if (!port)
        GTEST_SKIP() << "no COM port leads to a timed meter";
    const std::string log = TextFromEnv("KESTRO_WIN_TEST_CLOCK_LOG");
    const std::size_t start = ReadMeterLog(log).size();
    TWinWindow window(*port);
    window.UseAddress(5);
    window.model->Execute(TMainAction::SyncClock);
    double offset = 0;
    double uncertainty = 0;
    ASSERT_TRUE(ParseClockSet(window.view.Status(), offset, uncertainty)) << window.view.Status();
    bool written = false;
    std::optional<double> truth;
    for (const TMeterLogEntry& entry : ReadMeterLog(log, start)) {
        written = written || (entry.Frame.size() > 4 && entry.Frame[1] == 'W');
        if (written && entry.Frame[1] == 'R' && entry.ClockOffsetMs)
            truth = entry.ClockOffsetMs;
    }
    ASSERT_TRUE(truth.has_value());
    std::printf("window sync under Wine: truth %+.1f ms, claimed %+.0f ms +- %.0f ms\n", *truth,
                offset, uncertainty);
    EXPECT_LE(std::abs(*truth), 30);
    EXPECT_LE(std::abs(*truth - offset), uncertainty + 1);
}

} // namespace
