#include "ui/framework/Icons.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

// The disabled look: the picture in dark greys, its light parts included, so that it stays
// visible on a light menu and on the grey panel headers alike (the style's own derivation
// fades it towards white, which vanishes on grey).
QPixmap Greyed(const QPixmap& pixmap) {
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 40 + qGray(line[x]) * 60 / 255;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 3 / 4);
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace

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
        icon.addPixmap(Greyed(pixmap), QIcon::Disabled);
    }
    return icon;
}
