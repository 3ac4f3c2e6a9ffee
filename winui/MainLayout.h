#pragma once

#include <windows.h>

#include <span>

// Where the main window's panels and controls lie, in pixels at 96 dots per inch, measured from
// the top left of the area under the toolbar. The window scales them to its monitor's DPI.
struct TLayoutItem {
    int Id; // control identifier
    RECT Rect;
};

// The width and height of the area under the toolbar.
inline constexpr SIZE MainAreaSize{321, 257};
// The width of the address field's up-down control, at the right end of the field's rectangle.
inline constexpr int SpinButtonWidth = 17;

std::span<const TLayoutItem> MainControlsLayout();

// The three panels (raised inner and lowered outer bevel), the clock panel's header being the
// one the read and write buttons lie on.
std::span<const RECT> MainPanelsLayout();

// A length at 96 dots per inch scaled to `dpi`.
int Scaled(int length, UINT dpi);
RECT Scaled(const RECT& rect, UINT dpi, int top);
