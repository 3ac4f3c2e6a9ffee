#include "cli/Interrupt.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

std::atomic<bool> Requested{false};
std::atomic<bool> LinkModeWarning{false};
static_assert(std::atomic<bool>::is_always_lock_free);

constexpr char AbortText[] = "\nkestro: stopped at once\n";
constexpr char AbortLinkModeText[] =
    "\nkestro: stopped at once: the meter under the optical head may still be in link mode "
    "(300 baud); run any --optohead command to end it\n";

// Written from the handler: nothing but a plain write of a constant text.
template <std::size_t N> void WriteError(const char (&text)[N]) {
#ifdef _WIN32
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text, N - 1, &written, nullptr);
#else
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text, N - 1);
#endif
}

void SayAbort() {
    if (LinkModeWarning.load())
        WriteError(AbortLinkModeText);
    else
        WriteError(AbortText);
}

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD type) {
    const bool closing =
        type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
    if (!closing && type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    if (Requested.exchange(true)) {
        SayAbort();
        return FALSE; // the default handler ends the process
    }
    // Windows ends the process as soon as this handler returns from a close: wait here while
    // the main thread ends link mode and returns (the system allows a few seconds).
    while (closing)
        ::Sleep(1000);
    return TRUE;
}
#else
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnSignal(int signal) {
    if (!Requested.exchange(true))
        return;
    SayAbort();
    // Ends the program as the signal's default would, once this handler returns.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}
#endif

} // namespace

void InstallInterruptHandler() {
#ifdef _WIN32
    ::SetConsoleCtrlHandler(nullptr, FALSE); // Ctrl+C counts even when the parent turned it off
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : Signals)
        sigaddset(&action.sa_mask, signal); // one handler at a time
    action.sa_flags = SA_RESTART;
    sigset_t handled;
    sigemptyset(&handled);
    for (const int signal : Signals) {
        struct sigaction previous {};
        ::sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
        sigaddset(&handled, signal);
    }
    ::sigprocmask(SIG_UNBLOCK, &handled, nullptr);
#endif
}

void WarnOfLinkModeOnAbort(bool warn) {
    LinkModeWarning.store(warn);
}

bool InterruptRequested() {
    return Requested.load();
}
