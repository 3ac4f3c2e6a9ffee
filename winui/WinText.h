#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The program's texts are 8-bit strings in the ANSI code page; the window speaks UTF-16.
std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);

// A window's text (a control's caption or a field's entry).
std::wstring WindowTextOf(HWND window);
