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

bool AskYesNo(const QString& question) {
    if (Sink()) {
        Sink()(ApplicationTitle(), question);
        return false;
    }
    QMessageBox box(QMessageBox::Question, ApplicationTitle(), question,
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setObjectName("QuestionBox");
    box.setDefaultButton(QMessageBox::No); // the careful answer is the default
    return box.exec() == QMessageBox::Yes;
}
