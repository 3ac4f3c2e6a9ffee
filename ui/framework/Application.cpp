#include "ui/framework/Application.h"

#include "ui/framework/Guard.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(receiver, std::current_exception());
        return false;
    }
}

namespace {
QString& Title() {
    static QString title;
    return title;
}
} // namespace

QString ApplicationTitle() {
    return Title().isEmpty() ? QCoreApplication::applicationName() : Title();
}

void SetApplicationTitle(const QString& title) {
    Title() = title;
}
