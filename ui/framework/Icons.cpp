#include "ui/framework/Icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

QIcon LoadSvgIcon(const QString& fileName) {
    QSvgRenderer renderer(fileName);
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (const int side : {16, 32}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
