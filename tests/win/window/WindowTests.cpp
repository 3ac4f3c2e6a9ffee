// The window driven as a user drives it, against the virtual meters behind Wine's COM ports:
// what it shows and what the meter heard.
#include "WindowRig.h"

#include "WinTestSupport.h"

#include "runtime/DateTime.h"
#include "winui/ResourceIds.h"

#include <commctrl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

using namespace wintest;
using namespace std::chrono_literals;

namespace {

constexpr int DeviceCommands[] = {IDM_SENDECHO, IDM_GETDATETIME, IDM_SETDATETIME,
                                  IDM_SETCURRDATETIME, IDM_SYNCCLOCK};

// Seconds of the day a "hh:mm:ss" text shows, or -1.
int SecondsOfDay(const std::string& text) {
    int h = 0, m = 0, s = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d", &h, &m, &s) != 3)
        return -1;
    return h * 3600 + m * 60 + s;
}

// How far a shown time lies from the PC's, in seconds, across midnight too.
int SecondsFromNow(const std::string& text) {
    const TTimeParts now = DecodeTime(Now());
    const int diff =
        std::abs(SecondsOfDay(text) - (now.Hour * 3600 + now.Minute * 60 + now.Second));
    return std::min(diff, 86400 - diff);
}

class WindowTest : public TWindowTest {
protected:
    void OnTheBus(const std::wstring& address) {
        Click(IDC_CHBALLMETERS);
        ASSERT_TRUE(IsWindowEnabled(Control(IDC_SEDKESTROID)));
        Type(IDC_SEDKESTROID, address);
    }
};

TEST_F(WindowTest, StartsReadyWithItsFieldsAndEveryActionOnAnOpenPort) {
    EXPECT_EQ(StatusLine(), "Status: Ready");
    EXPECT_EQ(Text(IDC_SEDKESTROID), "99");
    EXPECT_FALSE(IsWindowEnabled(Control(IDC_SEDKESTROID)));
    EXPECT_EQ(SendMessageW(Control(IDC_CHBALLMETERS), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(Visible(IDC_SHWARNKESTROID));
    EXPECT_FALSE(Visible(IDC_SHWARNDATETIME));
    EXPECT_EQ(Text(IDC_EDTIME), "00:00:00");
    EXPECT_EQ(Text(IDC_EDDATE), "01.01.2000");
    for (int command : DeviceCommands)
        EXPECT_TRUE(ActionEnabled(command)) << command;
    EXPECT_TRUE(ActionEnabled(IDM_CONFIG));
    EXPECT_TRUE(ActionEnabled(IDM_CLEANUPMARKS));
}

TEST_F(WindowTest, EchoThroughTheOpticalHeadSwitchesTo300BaudAndBackThenReadyAfterFiveSeconds) {
    Click(IDM_SENDECHO);
    const auto done = std::chrono::steady_clock::now();
    // The meter's answer stays once the link is closed.
    EXPECT_EQ(StatusLine(), "Status: Echo from meter #07 returned");
    EXPECT_FALSE(Visible(IDC_SHWARNKESTROID));
    const auto heard = Heard(3);
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0].Frame, RequestFrame("W??k,01"));
    EXPECT_EQ(heard[1].Frame, RequestFrame("R??E"));
    EXPECT_EQ(heard[2].Frame, RequestFrame("W??k,00"));
    for (const auto& entry : heard)
        EXPECT_EQ(entry.BaudRate, 300) << entry.Frame;

    ASSERT_TRUE(PumpUntil([&] { return StatusLine() == "Status: Ready"; }, 8s));
    const auto after = std::chrono::steady_clock::now() - done;
    EXPECT_GE(after, 4900ms);
    EXPECT_LE(after, 6500ms);
}

TEST_F(WindowTest, ClosedDuringAnOperationTheWindowGoesOnlyOnceItHasEnded) {
    const HWND window = Window();
    // Taken while the echo through the optical head processes the window's messages.
    PostMessageW(window, WM_CLOSE, 0, 0);
    Click(IDM_SENDECHO);
    EXPECT_FALSE(IsWindow(window));
    const auto heard = Heard(3);
    ASSERT_EQ(heard.size(), 3u); // link mode off included: the operation ran to its end
    EXPECT_EQ(heard[2].Frame, RequestFrame("W??k,00"));
}

TEST_F(WindowTest, EchoReadWriteAndWriteCurrentOnTheBus) {
    OnTheBus(L"5");
    Click(IDM_SENDECHO);
    EXPECT_EQ(StatusLine(), "Status: Echo from meter #05 returned");

    Command(IDM_GETDATETIME);
    EXPECT_EQ(StatusLine(), "Status: OK");
    EXPECT_LE(SecondsFromNow(Text(IDC_EDTIME)), 3) << Text(IDC_EDTIME);
    EXPECT_EQ(Text(IDC_EDDATE), FormatDateTime("dd.mm.yyyy", Now()));
    EXPECT_NE(Text(IDC_LBLCLOCKOFFSET), "");

    // Values put into the pickers as the user's clicks and digits would.
    SYSTEMTIME time{};
    time.wYear = 2000;
    time.wMonth = 1;
    time.wDay = 1;
    time.wHour = 12;
    time.wMinute = 34;
    time.wSecond = 56;
    SendMessageW(Control(IDC_EDTIME), DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&time));
    SYSTEMTIME date{};
    date.wYear = 2025;
    date.wMonth = 2;
    date.wDay = 1;
    SendMessageW(Control(IDC_EDDATE), DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&date));
    Click(IDM_SETDATETIME);
    EXPECT_EQ(StatusLine(), "Status: OK");
    EXPECT_EQ(Text(IDC_LBLCLOCKOFFSET), ""); // what was read no longer holds

    Click(IDM_SETCURRDATETIME);
    EXPECT_EQ(StatusLine(), "Status: OK");
    EXPECT_LE(SecondsFromNow(Text(IDC_EDTIME)), 2);
    EXPECT_FALSE(Visible(IDC_SHWARNDATETIME));

    const auto heard = Heard(4);
    ASSERT_EQ(heard.size(), 4u);
    EXPECT_EQ(heard[0].Frame, RequestFrame("R05E"));
    EXPECT_EQ(heard[1].Frame, RequestFrame("R05C"));
    EXPECT_EQ(heard[2].Frame, RequestFrame("W05C,123456,010225"));
    const std::string written = heard[3].Frame.substr(1, 5);
    EXPECT_EQ(written, "W05C,");
    EXPECT_LE(SecondsFromNow(heard[3].Frame.substr(6, 2) + ":" + heard[3].Frame.substr(8, 2) + ":" +
                             heard[3].Frame.substr(10, 2)),
              2)
        << heard[3].Frame;
    for (const auto& entry : heard)
        EXPECT_EQ(entry.BaudRate, 9600) << entry.Frame;
}

TEST_F(WindowTest, SynchroniseSetsTheMetersClockAsCloseAsItSays) {
    const auto clockPort = PortFromEnv("KESTRO_WIN_TEST_CLOCK_COM");
    if (!clockPort)
        GTEST_SKIP() << "no timed-line meter mapped";
    ASSERT_TRUE(ReopenWindow(*clockPort, "KESTRO_WIN_TEST_CLOCK_LOG"));
    OnTheBus(L"5");
    Command(IDM_SYNCCLOCK);
    // "Clock set: +3 ms ± 6 ms (was -0.733 s)"
    const std::string status = StatusLine();
    const std::string prefix = "Status: Clock set: ";
    const std::size_t plusMinus = status.find("ms \xC2\xB1 ");
    ASSERT_EQ(status.rfind(prefix, 0), 0u) << status;
    ASSERT_NE(plusMinus, std::string::npos) << status;
    const long long after = std::stoll(status.substr(prefix.size()));
    const long long uncertainty = std::stoll(status.substr(plusMinus + 5));
    EXPECT_FALSE(Visible(IDC_SHWARNDATETIME));
    // The meter's true offset at its last read, after the set.
    const auto heard = HeardNow();
    ASSERT_FALSE(heard.empty());
    ASSERT_TRUE(heard.back().ClockOffsetMs.has_value()) << heard.back().Frame;
    EXPECT_LE(std::abs(*heard.back().ClockOffsetMs - static_cast<double>(after)),
              static_cast<double>(uncertainty) + 2.0)
        << status << "; the meter's truth " << *heard.back().ClockOffsetMs << " ms";
}

TEST_F(WindowTest, EscapeStopsASynchronisationBeforeTheMetersClockIsWritten) {
    OnTheBus(L"5");
    // Taken while the window processes its messages at the start of the synchronisation.
    PostMessageW(Control(IDC_EDTIME), WM_KEYDOWN, VK_ESCAPE, 1);
    Command(IDM_SYNCCLOCK);
    EXPECT_EQ(StatusLine(), "Status: Stopped: the meter's clock was not set");
    for (const auto& entry : HeardNow())
        EXPECT_NE(entry.Frame.substr(0, 2), "#W") << entry.Frame;
    EXPECT_TRUE(Visible(IDC_SHWARNDATETIME));
}

TEST_F(WindowTest, ATimeoutMarksItsPanelUntilItsNextSuccessOrCleanupMarks) {
    OnTheBus(L"4");
    Click(IDM_SENDECHO);
    EXPECT_EQ(StatusLine(), "Status: [Kestro #04] Timeout");
    EXPECT_TRUE(Visible(IDC_SHWARNKESTROID));
    Command(IDM_GETDATETIME);
    EXPECT_EQ(StatusLine(), "Status: [Kestro #04] Timeout");
    EXPECT_TRUE(Visible(IDC_SHWARNDATETIME));
    EXPECT_EQ(Text(IDC_EDTIME), "00:00:00"); // a failed reading leaves the fields
    EXPECT_EQ(Text(IDC_EDDATE), "01.01.2000");

    Type(IDC_SEDKESTROID, L"5");
    Click(IDM_SENDECHO); // the echo's success never clears the clock panel's dot
    EXPECT_FALSE(Visible(IDC_SHWARNKESTROID));
    EXPECT_TRUE(Visible(IDC_SHWARNDATETIME));
    Command(IDM_CLEANUPMARKS);
    EXPECT_FALSE(Visible(IDC_SHWARNDATETIME));
    EXPECT_EQ(StatusLine(), "Status: Ready");
}

TEST_F(WindowTest, AnErrorReplyIsShownOnTheStatusLine) {
    const auto errorPort = PortFromEnv(ErrorPortVar);
    if (!errorPort)
        GTEST_SKIP() << ErrorPortVar << " is not set";
    ASSERT_TRUE(ReopenWindow(*errorPort));
    OnTheBus(L"5");
    Click(IDM_SENDECHO);
    EXPECT_NE(StatusLine().find("Data format error!"), std::string::npos) << StatusLine();
    EXPECT_TRUE(Visible(IDC_SHWARNKESTROID));
    EXPECT_TRUE(ActionEnabled(IDM_SENDECHO)); // the port stays open
}

TEST_F(WindowTest, ALostPortDisablesTheDeviceActionsAndTheTooltipSaysWhy) {
    const auto lostPort = PortFromEnv(LostPortVar);
    if (!lostPort)
        GTEST_SKIP() << LostPortVar << " is not set";
    ASSERT_TRUE(ReopenWindow(*lostPort));
    ASSERT_TRUE(ActionEnabled(IDM_SENDECHO));
    OnTheBus(L"5");
    Click(IDM_SENDECHO);
    const std::string port = "COM" + std::to_string(*lostPort);
    EXPECT_NE(StatusLine().find(port), std::string::npos) << StatusLine();
    for (int command : DeviceCommands)
        EXPECT_FALSE(ActionEnabled(command)) << command;
    EXPECT_TRUE(ActionEnabled(IDM_CONFIG));
    EXPECT_TRUE(ActionEnabled(IDM_CLEANUPMARKS));
    // The tooltip holds the line and, under it, the system's cause.
    const std::string tip = StatusTooltip();
    EXPECT_EQ(tip.rfind(StatusLine() + "\n", 0), 0u) << tip;
    EXPECT_GT(tip.size(), StatusLine().size() + 1) << tip;
}

TEST_F(WindowTest, AnAddressThatIsNoNumberIsReportedInABoxAndNothingIsSent) {
    Click(IDC_CHBALLMETERS);
    // Typed, and the echo's key pressed while the field still has the focus.
    SetFocus(Control(IDC_SEDKESTROID));
    SetWindowTextW(Control(IDC_SEDKESTROID), L"5x");
    TDialogAnswerer answerer([](HWND box) { TDialogAnswerer::Press(box, IDOK); });
    Command(IDM_SENDECHO);
    ASSERT_TRUE(answerer.Answered());
    EXPECT_EQ(answerer.Caption(), L"Kestro Setup");
    EXPECT_EQ(answerer.Text(), L"'5x' is not a valid integer value");
    EXPECT_EQ(GetFocus(), Control(IDC_SEDKESTROID));
    EXPECT_EQ(StatusLine(), "Status: Connecting...");
    EXPECT_FALSE(Visible(IDC_SHWARNKESTROID));
    Pump(100ms);
    EXPECT_TRUE(HeardNow().empty());
}

} // namespace
