#include "winui/WinModelTimers.h"

#include <chrono>
#include <stdexcept>

namespace {

constexpr const wchar_t* ClassName = L"KestroModelTimers";

class TSteadyClock final : public TModelClock {
public:
    std::chrono::steady_clock::time_point Now() const override {
        return std::chrono::steady_clock::now();
    }
};

} // namespace

class TWinModelTimers::TTimer final : public TModelTimer {
public:
    TTimer(TWinModelTimers& owner, UINT_PTR id, std::function<void()> onTimer, bool periodic)
        : FOwner(owner), FId(id), FOnTimer(std::move(onTimer)), FPeriodic(periodic) {
        FOwner.FTimers[FId] = this;
    }
    ~TTimer() override {
        Stop();
        FOwner.FTimers.erase(FId);
    }
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    void Start(int milliseconds) override {
        const UINT interval = static_cast<UINT>(milliseconds < 0 ? 0 : milliseconds);
        FActive = SetTimer(FOwner.FWindow, FId, interval, nullptr) != 0;
    }
    void Stop() override {
        if (FActive)
            KillTimer(FOwner.FWindow, FId);
        FActive = false;
    }
    bool Active() const override { return FActive; }

    void Fire() {
        // KillTimer leaves a message already posted in the queue: a stopped timer stays quiet.
        if (!FActive)
            return;
        if (!FPeriodic)
            Stop();
        // The model's entry points handle their own failures; nothing may cross the system's
        // dispatching of the timer message.
        try {
            FOnTimer();
        } catch (...) {
        }
    }

private:
    TWinModelTimers& FOwner;
    UINT_PTR FId;
    std::function<void()> FOnTimer;
    bool FPeriodic;
    bool FActive = false;
};

TWinModelTimers::TWinModelTimers() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = &TWinModelTimers::WindowProc;
    type.hInstance = instance;
    type.lpszClassName = ClassName;
    RegisterClassExW(&type); // fails harmlessly when a second instance registers it again
    FWindow =
        CreateWindowExW(0, ClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
    if (FWindow == nullptr)
        throw std::runtime_error("Cannot create the window's timers");
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TWinModelTimers::~TWinModelTimers() {
    DestroyWindow(FWindow);
}

const TModelClock& TWinModelTimers::Clock() const {
    static const TSteadyClock clock;
    return clock;
}

std::unique_ptr<TModelTimer> TWinModelTimers::CreateTimer(std::function<void()> onTimer,
                                                          bool periodic) {
    return std::make_unique<TTimer>(*this, FNextId++, std::move(onTimer), periodic);
}

void TWinModelTimers::Fired(UINT_PTR id) {
    // A timer destroyed since the message was posted is no longer in the map.
    const auto found = FTimers.find(id);
    if (found != FTimers.end())
        found->second->Fire();
}

LRESULT CALLBACK TWinModelTimers::WindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_TIMER) {
        auto* self = reinterpret_cast<TWinModelTimers*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr)
            self->Fired(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
