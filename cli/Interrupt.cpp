#include "cli/Interrupt.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace {

std::atomic<bool> Requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    // The second one falls through to the default handler, which ends the process.
    return Requested.exchange(true) ? FALSE : TRUE;
}
#else
extern "C" void OnInterrupt(int) {
    Requested.store(true);
    std::signal(SIGINT, SIG_DFL);
}
#endif

} // namespace

void InstallInterruptHandler() {
#ifdef _WIN32
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
#endif
}

bool InterruptRequested() {
    return Requested.load();
}
