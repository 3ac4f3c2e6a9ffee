#include "ui/framework/Guard.h"

#include "ui/framework/MessageBox.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

KESTRO_DEFINE_EXCEPTION(EAbort, Exception);

namespace {

struct THookSlot {
    QObject* Owner = nullptr;
    TExceptionHook Hook;
};

THookSlot& Slot() {
    static THookSlot slot;
    return slot;
}

void Report(QObject* sender, const std::exception& error) {
    // Copy: the hook may replace itself while it runs.
    TExceptionHook hook = Slot().Hook;
    if (hook)
        hook(sender, error);
    else
        ShowMessage(QString::fromStdString(error.what()));
}

} // namespace

void SetApplicationExceptionHook(QObject* owner, TExceptionHook hook) {
    Slot().Owner = owner;
    Slot().Hook = std::move(hook);
}

void ClearApplicationExceptionHook(QObject* owner) {
    if (Slot().Owner == owner) {
        Slot().Owner = nullptr;
        Slot().Hook = nullptr;
    }
}

void HandleException(QObject* sender, std::exception_ptr error) noexcept {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const EAbort&) {
            // The silent abort ends the handler and nothing more.
        } catch (const std::exception& e) {
            Report(sender, e);
        } catch (...) {
            Report(sender, Exception("Unknown exception"));
        }
    } catch (const std::exception& e) {
        // The hook itself failed: nothing is left to report to but the console.
        qWarning("Exception in the exception hook: %s", e.what());
    } catch (...) {
        qWarning("Unknown exception in the exception hook");
    }
}
