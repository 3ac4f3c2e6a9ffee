// The main window's field diagnostics: the frame trace, the cause of a port failure on the
// status line's tooltip, and reopening a lost port while the window is idle.
#include "ui/fMain.h"

#include "ui_fMain.h"

#include "app/Reconnect.h"
#include "app/uGlobals.h"
#include "comm/FrameTrace.h"
#include "ui/framework/Guard.h"
#include "ui/framework/StatusLine.h"
#include "ui/framework/Timer.h"

void TfmMain::SetUpTrace() {
    const std::string target = TraceFileName();
    if (target.empty())
        return;
    // Reported once, after the exchange that could not write its line has ended.
    FDispatcher->SetTrace(OpenFrameTrace(target, [this](const std::string& reason) {
        QMetaObject::invokeMethod(
            this,
            [this, reason] {
                Guarded(this, [&] { ShowStatus("Cannot write the trace: " + reason); });
            },
            Qt::QueuedConnection);
    }));
}

void TfmMain::SetUpReconnect() {
    tmrReconnect->setObjectName("tmrReconnect");
    tmrReconnect->SetInterval(ReconnectIntervalMs);
    tmrReconnect->OnTimer = [this](QObject* sender) {
        tmrReconnectTimer(sender);
    };
    tmrReconnect->SetEnabled(true);
}

void TfmMain::tmrReconnectTimer(QObject*) {
    // Never under an operation: it owns the port until it ends.
    if (FOperationRunning || Busy() || FDispatcher == nullptr || !ShouldReconnect(*FDispatcher))
        return;
    if (Reconnect(*FDispatcher))
        ShowStatus("Ready");
}

// The full status text; under a failure of the port, or while the port is lost, a second line
// with the system's cause.
void TfmMain::SetStatusToolTip(const QString& text) {
    std::string cause;
    cause.swap(FFailureCause);
    if (cause.empty() && FDispatcher != nullptr && FDispatcher->PortLost())
        cause = FDispatcher->LastFailureCause();
    ui->lblStatus->setToolTip(
        cause.empty() ? text : text + QLatin1Char('\n') + QString::fromStdString(cause));
}
