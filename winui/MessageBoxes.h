#pragma once

#include <windows.h>

#include <string>

// The application's title: it captions every message box.
inline constexpr const wchar_t* ApplicationTitle = L"Kestro Setup";

// A modal message box with one OK button and no icon.
void ShowMessageBox(HWND owner, const std::string& text);
// A yes/no question whose default answer is No, the careful one.
bool AskYesNo(HWND owner, const std::string& question);
