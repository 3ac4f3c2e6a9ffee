#include "ui/framework/Timer.h"

#include "ui/framework/Guard.h"

TTimer::TTimer(QObject* parent) : QObject(parent) {
    FTimer.setSingleShot(false);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        Guarded(this, [this] {
            if (OnTimer)
                OnTimer(this);
        });
    });
}

void TTimer::SetInterval(int milliseconds) {
    FTimer.setInterval(milliseconds);
}

void TTimer::SetEnabled(bool value) {
    if (value)
        FTimer.start();
    else
        FTimer.stop();
}
