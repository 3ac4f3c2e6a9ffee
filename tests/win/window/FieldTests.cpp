// The window's fields and layout: the Ctrl-only stepping of the address field, the pickers'
// formats, and every text fitting its control at the common scalings.
#include "WindowRig.h"

#include "runtime/FormatSettings.h"
#include "winui/DateTimeFields.h"
#include "winui/ResourceIds.h"
#include "winui/SpinEntry.h"
#include "winui/WinText.h"

#include <commctrl.h>

#include <optional>
#include <string>

using namespace wintest;

namespace {

struct TEntryCase {
    const char* Entry;
    std::optional<int> Taken; // in 0..99
};

class WholeNumberEntry : public ::testing::TestWithParam<TEntryCase> {};

TEST_P(WholeNumberEntry, IsTakenOverIntoTheBounds) {
    EXPECT_EQ(ReadWholeNumber(GetParam().Entry, 0, 99), GetParam().Taken) << GetParam().Entry;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, WholeNumberEntry,
    ::testing::Values(TEntryCase{"5", 5}, TEntryCase{"07", 7}, TEntryCase{" 42 ", 42},
                      TEntryCase{"", 0}, TEntryCase{"-", 0}, TEntryCase{"+12", 12},
                      TEntryCase{"100", 99}, TEntryCase{"-3", 0},
                      TEntryCase{"99999999999999999999999", 99},
                      TEntryCase{"-99999999999999999999999", 0}, TEntryCase{"5x", std::nullopt},
                      TEntryCase{"1 2", std::nullopt}, TEntryCase{"0x10", std::nullopt},
                      TEntryCase{"--1", std::nullopt}));

TEST(SpinSteps, StepFromAValueOutsideTheBoundsLandsInThem) {
    EXPECT_EQ(StepWithin(5000, 1, 100, 2000), 2000);
    EXPECT_EQ(StepWithin(50, -1, 100, 2000), 100);
    EXPECT_EQ(StepWithin(2147483647, 100, 100, 2000), 2000);
    EXPECT_EQ(StepWithin(-2147483647 - 1, -100, 0, 99), 0);
}

TEST(PickerFormats, FollowTheRegionalSeparators) {
    TFormatSettings settings;
    settings.ShortDateFormat = "dd/mm/yyyy";
    settings.DateSeparator = '-';
    settings.TimeSeparator = '.';
    EXPECT_EQ(PickerDateFormat(settings), L"dd'-'MM'-'yyyy");
    EXPECT_EQ(PickerTimeFormat(settings), L"HH'.'mm'.'ss");
    settings.ShortDateFormat = "d.M.yy";
    EXPECT_EQ(PickerDateFormat(settings), L"d'.'M'.'yy");
}

struct TKeyCase {
    const char* Name;
    int Start;
    WPARAM Key;
    bool Ctrl;
    int Expected;
};

class AddressKeys : public TWindowTest, public ::testing::WithParamInterface<TKeyCase> {};

TEST_P(AddressKeys, StepOnlyWithCtrl) {
    Click(IDC_CHBALLMETERS);
    Type(IDC_SEDKESTROID, std::to_wstring(GetParam().Start));
    PressKey(IDC_SEDKESTROID, GetParam().Key, GetParam().Ctrl);
    EXPECT_EQ(Text(IDC_SEDKESTROID), std::to_string(GetParam().Expected));
}

INSTANTIATE_TEST_SUITE_P(Keys, AddressKeys,
                         ::testing::Values(TKeyCase{"UpAlone", 50, VK_UP, false, 50},
                                           TKeyCase{"DownAlone", 50, VK_DOWN, false, 50},
                                           TKeyCase{"PageUpAlone", 50, VK_PRIOR, false, 50},
                                           TKeyCase{"CtrlUp", 50, VK_UP, true, 51},
                                           TKeyCase{"CtrlDown", 50, VK_DOWN, true, 49},
                                           TKeyCase{"CtrlPageUp", 50, VK_PRIOR, true, 60},
                                           TKeyCase{"CtrlPageDown", 50, VK_NEXT, true, 40},
                                           TKeyCase{"CtrlPageUpAtTheTop", 95, VK_PRIOR, true, 99},
                                           TKeyCase{"CtrlDownAtZero", 0, VK_DOWN, true, 0}),
                         [](const ::testing::TestParamInfo<TKeyCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(TWindowTest, TheUpDownArrowsStepByOneAndATypedEntryBeyondTheBoundsBecomesTheBound) {
    Click(IDC_CHBALLMETERS);
    Type(IDC_SEDKESTROID, L"250");
    EXPECT_EQ(Text(IDC_SEDKESTROID), "99"); // taken over when the field was left
    NMUPDOWN change{};
    change.hdr.hwndFrom = Control(IDC_SEDKESTROID_SPIN);
    change.hdr.idFrom = IDC_SEDKESTROID_SPIN;
    change.hdr.code = UDN_DELTAPOS;
    change.iDelta = -1;
    SendMessageW(Window(), WM_NOTIFY, IDC_SEDKESTROID_SPIN, reinterpret_cast<LPARAM>(&change));
    EXPECT_EQ(Text(IDC_SEDKESTROID), "98");
    Type(IDC_SEDKESTROID, L"");
    EXPECT_EQ(Text(IDC_SEDKESTROID), "0");
}

// Every text of the window fits its control at 100, 125, 150 and 200 % scaling.
class WindowScaling : public TWindowTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(WindowScaling, NothingIsClipped) {
    const UINT dpi = GetParam();
    RECT suggested{};
    GetWindowRect(Window(), &suggested);
    SendMessageW(Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT client{};
    GetClientRect(Window(), &client);
    EXPECT_EQ(client.right, MulDiv(321, static_cast<int>(dpi), 96));

    const int gap = MulDiv(4, static_cast<int>(dpi), 96);
    for (int id : {IDC_LBLKESTROID, IDC_LBLTIME, IDC_LBLDATE})
        EXPECT_TRUE(TextFits(Control(id))) << Text(id);
    const HWND box = Control(IDC_CHBALLMETERS);
    const int check = MulDiv(13, static_cast<int>(dpi), 96) + gap;
    EXPECT_LE(check + TextWidth(box, WindowTextOf(box)), ClientWidth(box));
    // The pickers' widest texts beside their up-down or drop-down button.
    const int button = MulDiv(GetSystemMetrics(SM_CXVSCROLL), static_cast<int>(dpi), 96);
    EXPECT_LE(TextWidth(Control(IDC_EDTIME), L"00:00:00") + button + gap,
              ClientWidth(Control(IDC_EDTIME)));
    EXPECT_LE(TextWidth(Control(IDC_EDDATE), L"28.08.2088") + button + gap,
              ClientWidth(Control(IDC_EDDATE)));
    // Every toolbar button lies on the toolbar.
    const HWND toolbar = Control(IDC_TOOLBAR);
    const int buttons = static_cast<int>(SendMessageW(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < buttons; ++i) {
        RECT item{};
        SendMessageW(toolbar, TB_GETITEMRECT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&item));
        EXPECT_LE(item.right, ClientWidth(toolbar)) << "toolbar button " << i;
    }
    // Every control lies inside the window.
    for (HWND child = GetWindow(Window(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, Window(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_LE(rect.right, client.right) << GetDlgCtrlID(child);
        EXPECT_LE(rect.bottom, client.bottom) << GetDlgCtrlID(child);
    }
    // Two lines of status text fit the status line.
    const HWND status = Control(IDC_LBLSTATUS);
    TEXTMETRICW metrics{};
    const HDC dc = GetDC(status);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(status, WM_GETFONT, 0, 0)));
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(status, dc);
    RECT line{};
    GetClientRect(status, &line);
    EXPECT_LE(2 * metrics.tmHeight, line.bottom + 1);
}

INSTANTIATE_TEST_SUITE_P(Dpi, WindowScaling, ::testing::Values(96u, 120u, 144u, 192u));

} // namespace
