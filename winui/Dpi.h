#pragma once

#include <windows.h>

// The DPI of the monitor a window is on, and the window size for a client size at a DPI. The
// per-monitor functions exist from Windows 10 1607 on; before that the system DPI applies.
UINT WindowDpi(HWND window);
SIZE WindowSizeFor(SIZE client, DWORD style, DWORD exStyle, bool menu, UINT dpi);
