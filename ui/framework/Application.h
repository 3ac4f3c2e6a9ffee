#pragma once

#include <QApplication>

// The application object. Every handler already runs guarded; notify() only catches what
// slipped through anyway, so that it reaches the exception hook instead of ending the program.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The application's title, the caption of its message boxes. Kept apart from Qt's application
// display name, which Qt would append to every window's caption.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);
