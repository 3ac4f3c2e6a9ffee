#pragma once

#include <QString>
#include <QStringList>

// Lets the event loop go idle once, so that the idle-time action updates run (they do not run
// inside QTest::qWait or processEvents).
void SpinIdle(int milliseconds = 20);

// Waits in a real event loop until `done` is true or the time is up; returns `done`.
template <class Pred> bool SpinUntil(Pred done, int milliseconds);

class QAbstractSpinBox;
// Puts text into a date, time or spin field's editor as a pending entry that the field has not
// seen yet (the field's own repair of the text does not run).
void TypePending(QAbstractSpinBox* field, const QString& text);

// Messages that the framework's message box received instead of being shown.
struct TRecordedMessages {
    TRecordedMessages();
    ~TRecordedMessages();
    QStringList Captions;
    QStringList Texts;
};

#include <QElapsedTimer>

template <class Pred> bool SpinUntil(Pred done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        SpinIdle(5);
    }
    return true;
}
