#include "winui/MainLayout.h"

#include "winui/ResourceIds.h"

namespace {

constexpr RECT Box(int left, int top, int width, int height) {
    return RECT{left, top, left + width, top + height};
}

constexpr TLayoutItem Controls[] = {
    {IDC_PNKESTROIDHEADER, Box(10, 8, 301, 23)},   {IDC_SHWARNKESTROID, Box(12, 35, 7, 7)},
    {IDC_LBLKESTROID, Box(24, 38, 121, 21)},       {IDC_SEDKESTROID, Box(152, 38, 73, 21)},
    {IDM_SENDECHO, Box(230, 38, 21, 21)},          {IDC_CHBALLMETERS, Box(152, 66, 153, 17)},
    {IDC_PNDATETIMEHEADER, Box(10, 104, 301, 23)}, {IDM_GETDATETIME, Box(269, 106, 18, 18)},
    {IDM_SETDATETIME, Box(289, 106, 18, 18)},      {IDC_SHWARNDATETIME, Box(12, 131, 7, 7)},
    {IDC_LBLTIME, Box(24, 134, 121, 21)},          {IDC_EDTIME, Box(152, 134, 73, 21)},
    {IDM_SETCURRDATETIME, Box(230, 134, 21, 21)},  {IDC_LBLDATE, Box(24, 161, 121, 21)},
    {IDC_EDDATE, Box(152, 161, 99, 21)},           {IDC_LBLCLOCKOFFSET, Box(152, 186, 153, 17)},
    {IDC_LBLSTATUS, Box(16, 219, 289, 27)},
};

constexpr RECT Panels[] = {
    Box(8, 6, 305, 89),
    Box(8, 102, 305, 107),
    Box(8, 216, 305, 33),
};

} // namespace

std::span<const TLayoutItem> MainControlsLayout() {
    return Controls;
}

std::span<const RECT> MainPanelsLayout() {
    return Panels;
}

int Scaled(int length, UINT dpi) {
    return MulDiv(length, static_cast<int>(dpi), 96);
}

RECT Scaled(const RECT& rect, UINT dpi, int top) {
    return RECT{Scaled(rect.left, dpi), top + Scaled(rect.top, dpi), Scaled(rect.right, dpi),
                top + Scaled(rect.bottom, dpi)};
}
