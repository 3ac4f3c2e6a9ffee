#include "ui/framework/ActionLink.h"

#include <QAction>
#include <QKeySequence>

namespace {
void Mirror(QAction* item, const QAction* action) {
    item->setText(action->text());
    item->setIcon(action->icon());
    item->setToolTip(action->toolTip());
    item->setStatusTip(action->statusTip());
    item->setShortcut(action->shortcut());
    item->setEnabled(action->isEnabled());
    item->setVisible(action->isVisible());
}
} // namespace

void LinkToAction(QAction* item, QAction* action) {
    // Two window-wide owners of one shortcut would make it ambiguous, and neither would run.
    item->setShortcutContext(Qt::WidgetShortcut);
    Mirror(item, action);
    QObject::connect(action, &QAction::changed, item, [item, action] { Mirror(item, action); });
    QObject::connect(item, &QAction::triggered, action, [action] { action->trigger(); });
}

void SetActionShortcut(QAction* action, const QKeySequence& keys) {
    action->setShortcut(keys);
    action->setToolTip(action->statusTip() + QStringLiteral(" (") +
                       keys.toString(QKeySequence::NativeText) + QStringLiteral(")"));
}
