// The Config dialog as the user meets it from the window: what it shows, and what OK, Cancel,
// Defaults and Enter leave in the settings file.
#include "WindowRig.h"

#include "winui/ResourceIds.h"
#include "winui/WinText.h"

#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

using namespace wintest;

namespace {

HWND Page(HWND dialog) {
    return GetDlgItem(dialog, IDC_TSHCOMMUNICATION);
}

HWND Field(HWND dialog, int id) {
    return GetDlgItem(Page(dialog), id);
}

std::string Shown(HWND dialog, int id) {
    return Narrow(WindowTextOf(Field(dialog, id)));
}

void Choose(HWND dialog, int list, int index) {
    SendMessageW(Field(dialog, list), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TypeTimeout(HWND dialog, const wchar_t* text) {
    SendMessageW(Field(dialog, IDC_EDTIMEOUT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

struct TConfigCase {
    const char* Name;
    std::function<void(HWND dialog)> Answer;
    std::optional<TSettings> Saved; // none: the settings file is left as it was
};

class ConfigDialogTest : public TWindowTest, public ::testing::WithParamInterface<TConfigCase> {};

TEST_P(ConfigDialogTest, ShowsTheSettingsAndSavesOnlyOnOk) {
    const std::string before = FileText(SettingsFile);
    std::string shownPort, shownBaud, shownTimeout, page;
    TDialogAnswerer answerer([&](HWND dialog) {
        // Every label of the page and every button fits its text.
        for (int id : {IDC_LBLCOMPORT, IDC_LBLBAUDRATE, IDC_LBLBAUDRATEUNITS, IDC_LBLTIMEOUT,
                       IDC_LBLTIMEOUTUNITS})
            EXPECT_TRUE(TextFits(Field(dialog, id))) << id;
        for (int id : {IDC_BTNDEFAULT, IDOK, IDCANCEL})
            EXPECT_LT(TextWidth(GetDlgItem(dialog, id), WindowTextOf(GetDlgItem(dialog, id))),
                      ClientWidth(GetDlgItem(dialog, id)))
                << id;
        shownPort = Shown(dialog, IDC_EDCOMPORT);
        shownBaud = Shown(dialog, IDC_EDBAUDRATE);
        shownTimeout = Shown(dialog, IDC_EDTIMEOUT);
        GetParam().Answer(dialog);
    });
    Command(IDM_CONFIG);
    ASSERT_TRUE(answerer.Answered());
    EXPECT_EQ(answerer.Caption(), L"Config");
    EXPECT_EQ(shownPort, "COM" + std::to_string(MeterPort));
    EXPECT_EQ(shownBaud, "9600");
    EXPECT_EQ(shownTimeout, "200");
    EXPECT_EQ(FindWindowW(L"#32770", L"Config"), nullptr); // closed again

    if (!GetParam().Saved) {
        EXPECT_EQ(FileText(SettingsFile), before);
        return;
    }
    const TSettings saved = LoadConfigFrom(SettingsFile).Settings;
    EXPECT_EQ(saved.ComPort, GetParam().Saved->ComPort);
    EXPECT_EQ(saved.BaudRate, GetParam().Saved->BaudRate);
    EXPECT_EQ(saved.Timeout, GetParam().Saved->Timeout);
    // The port is opened again with what was saved (every port of the list leads to a meter).
    EXPECT_TRUE(ActionEnabled(IDM_SENDECHO));
    EXPECT_EQ(StatusLine(), "Status: Ready"); // Config shows no text of its own
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ConfigDialogTest,
    ::testing::Values(
        TConfigCase{"OkUnchanged", [](HWND dialog) { TDialogAnswerer::Press(dialog, IDOK); },
                    TSettings{1, 9600, 200}},
        TConfigCase{"OkWithNewValues",
                    [](HWND dialog) {
                        Choose(dialog, IDC_EDCOMPORT, 2);
                        Choose(dialog, IDC_EDBAUDRATE, 0);
                        TypeTimeout(dialog, L"750");
                        TDialogAnswerer::Press(dialog, IDOK);
                    },
                    TSettings{3, 4800, 750}},
        TConfigCase{"CancelAfterChanges",
                    [](HWND dialog) {
                        Choose(dialog, IDC_EDCOMPORT, 3);
                        TypeTimeout(dialog, L"1500");
                        TDialogAnswerer::Press(dialog, IDCANCEL);
                    },
                    std::nullopt},
        TConfigCase{"CloseBox", [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); },
                    std::nullopt},
        TConfigCase{"DefaultsThenOk",
                    [](HWND dialog) {
                        Choose(dialog, IDC_EDCOMPORT, 3);
                        Choose(dialog, IDC_EDBAUDRATE, 0);
                        TypeTimeout(dialog, L"999");
                        TDialogAnswerer::Press(dialog, IDC_BTNDEFAULT);
                        TDialogAnswerer::Press(dialog, IDOK);
                    },
                    TSettings{1, 9600, 200}},
        // Enter in the timeout field closes as OK; the typed value is brought into the bounds.
        TConfigCase{"EnterTakesOverATypedTimeout",
                    [](HWND dialog) {
                        const HWND timeout = Field(dialog, IDC_EDTIMEOUT);
                        SetFocus(timeout);
                        TypeTimeout(dialog, L"2500");
                        PostMessageW(timeout, WM_KEYDOWN, VK_RETURN, 1);
                    },
                    TSettings{1, 9600, 2000}},
        TConfigCase{"EscapeCancels",
                    [](HWND dialog) {
                        const HWND port = Field(dialog, IDC_EDCOMPORT);
                        Choose(dialog, IDC_EDCOMPORT, 1);
                        SetFocus(port);
                        PostMessageW(port, WM_KEYDOWN, VK_ESCAPE, 1);
                    },
                    std::nullopt}),
    [](const ::testing::TestParamInfo<TConfigCase>& info) { return std::string(info.param.Name); });

} // namespace
