#pragma once

#include "app/ModelTime.h"

#include <windows.h>

#include <map>

// The window model's clock and timers on the Windows API: the steady clock, and timers of the
// window thread (SetTimer on a message-only window), so that they fire between messages like
// every other event of the window.
class TWinModelTimers final : public TModelTimers {
public:
    TWinModelTimers();
    ~TWinModelTimers() override;
    TWinModelTimers(const TWinModelTimers&) = delete;
    TWinModelTimers& operator=(const TWinModelTimers&) = delete;

    const TModelClock& Clock() const override;
    std::unique_ptr<TModelTimer> CreateTimer(std::function<void()> onTimer, bool periodic) override;

    class TTimer;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Fired(UINT_PTR id);

    HWND FWindow = nullptr;
    UINT_PTR FNextId = 1;
    std::map<UINT_PTR, TTimer*> FTimers;
};
