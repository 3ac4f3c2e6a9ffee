#include "winui/MessageBoxes.h"

#include "winui/WinText.h"

void ShowMessageBox(HWND owner, const std::string& text) {
    MessageBoxW(owner, Wide(text).c_str(), ApplicationTitle, MB_OK);
}

bool AskYesNo(HWND owner, const std::string& question) {
    return MessageBoxW(owner, Wide(question).c_str(), ApplicationTitle,
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}
