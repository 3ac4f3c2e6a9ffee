#include "ui/framework/MessageBox.h"

#include "ui/framework/Application.h"

#include <QApplication>
#include <QMessageBox>

namespace {
TMessageSink& Sink() {
    static TMessageSink sink;
    return sink;
}
} // namespace

void SetMessageSink(TMessageSink sink) {
    Sink() = std::move(sink);
}

void ShowMessage(const QString& text) {
    if (Sink()) {
        Sink()(ApplicationTitle(), text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName("MessageBox");
    box.exec();
}
