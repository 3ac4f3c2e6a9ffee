#include "cli/Progress.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define KESTRO_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define KESTRO_ISATTY(fd) ::isatty(fd)
#endif

namespace {

constexpr int BarWidth = 30;

} // namespace

TProgressBar::TProgressBar(int total)
    : FTotal(total > 0 ? total : 1), FVisible(KESTRO_ISATTY(2) != 0) {}

void TProgressBar::Clear() {
    if (!FDrawn)
        return;
    std::fprintf(stderr, "\r%*s\r", BarWidth + 40, "");
    std::fflush(stderr);
    FDrawn = false;
}

void TProgressBar::Show(int done, const std::string& note) {
    if (!FVisible)
        return;
    const int filled = done * BarWidth / FTotal;
    std::fprintf(stderr, "\r[%.*s%*s] %3d/%d %s", filled, "##############################",
                 BarWidth - filled, "", done, FTotal, note.c_str());
    std::fflush(stderr);
    FDrawn = true;
}
