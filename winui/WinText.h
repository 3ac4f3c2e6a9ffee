#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The program's texts are UTF-8; the window speaks UTF-16. A text that is no UTF-8 (a system
// message in the ANSI code page) is read in the ANSI code page.
std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text); // UTF-8

// A window's text (a control's caption or a field's entry).
std::wstring WindowTextOf(HWND window);
