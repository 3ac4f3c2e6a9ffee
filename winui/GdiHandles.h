#pragma once

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <type_traits>

// Owners of the GDI and common-controls handles the window creates.
struct TGdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct TIconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct TImageListDeleter {
    void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
};

using TFontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, TGdiObjectDeleter>;
using TIconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, TIconDeleter>;
using TImageListHandle = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, TImageListDeleter>;
