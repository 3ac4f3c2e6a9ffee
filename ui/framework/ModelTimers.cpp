#include "ui/framework/ModelTimers.h"

#include "ui/framework/Guard.h"

#include <QTimer>

namespace {

class TSteadyClock final : public TModelClock {
public:
    std::chrono::steady_clock::time_point Now() const override {
        return std::chrono::steady_clock::now();
    }
};

class TQtModelTimer final : public TModelTimer {
public:
    TQtModelTimer(std::function<void()> onTimer, bool periodic) {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setSingleShot(!periodic);
        QObject::connect(&FTimer, &QTimer::timeout, &FTimer,
                         [this, onTimer = std::move(onTimer)] { Guarded(&FTimer, onTimer); });
    }
    void Start(int milliseconds) override { FTimer.start(milliseconds); }
    void Stop() override { FTimer.stop(); }
    bool Active() const override { return FTimer.isActive(); }

private:
    QTimer FTimer;
};

} // namespace

const TModelClock& TQtModelTimers::Clock() const {
    static const TSteadyClock clock;
    return clock;
}

std::unique_ptr<TModelTimer> TQtModelTimers::CreateTimer(std::function<void()> onTimer,
                                                         bool periodic) {
    return std::make_unique<TQtModelTimer>(std::move(onTimer), periodic);
}
