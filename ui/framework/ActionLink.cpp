#include "ui/framework/ActionLink.h"

#include <QAction>

namespace {
void Mirror(QAction* item, const QAction* action) {
    item->setText(action->text());
    item->setIcon(action->icon());
    item->setToolTip(action->toolTip());
    item->setStatusTip(action->statusTip());
    item->setEnabled(action->isEnabled());
    item->setVisible(action->isVisible());
}
} // namespace

void LinkToAction(QAction* item, QAction* action) {
    Mirror(item, action);
    QObject::connect(action, &QAction::changed, item, [item, action] { Mirror(item, action); });
    QObject::connect(item, &QAction::triggered, action, [action] { action->trigger(); });
}
