#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// A timer on the window thread whose interval starts anew each time it is enabled. The handler
// runs guarded and may disable the timer to make it one-shot.
class TTimer : public QObject {
    Q_OBJECT
public:
    explicit TTimer(QObject* parent = nullptr);

    void SetInterval(int milliseconds);
    int Interval() const { return FTimer.interval(); }

    void SetEnabled(bool value);
    bool Enabled() const { return FTimer.isActive(); }

    std::function<void(QObject* sender)> OnTimer;

private:
    QTimer FTimer;
};
