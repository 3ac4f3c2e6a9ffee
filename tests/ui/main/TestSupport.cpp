#include "TestSupport.h"

#include "ui/framework/MessageBox.h"

#include <QAbstractSpinBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

void SpinIdle(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

TRecordedMessages::TRecordedMessages() {
    SetMessageSink([this](const QString& caption, const QString& text) {
        Captions << caption;
        Texts << text;
    });
}

TRecordedMessages::~TRecordedMessages() {
    SetMessageSink(nullptr);
}

void TypePending(QAbstractSpinBox* field, const QString& text) {
    QLineEdit* editor = field->findChild<QLineEdit*>();
    const QSignalBlocker blocker(editor);
    editor->setText(text);
}
