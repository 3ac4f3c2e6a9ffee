#include "ui/framework/StatusLine.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

QAccessibleInterface* StatusLineAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String("TStatusLine") || !object->isWidgetType())
        return nullptr;
    // The name is the widget's accessible name, which ShowText keeps equal to the text.
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StatusBar);
}

} // namespace

TStatusLine::TStatusLine(QWidget* parent) : QLabel(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(&StatusLineAccessible);
        return true;
    }();
    (void)factoryInstalled;
    // An error letter such as "<" must never turn the text into markup.
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void TStatusLine::ShowText(const QString& text) {
    // The accessible name first: it raises the name-change event for every text, and while it
    // is set the label raises no second one of its own.
    setAccessibleName(text);
    setText(text);
    setToolTip(text);
}
