#pragma once

#include <QIcon>
#include <QString>

// An icon drawn from an SVG file (usually a resource such as ":/icons/config.svg") at 16 by 16
// pixels and twice that for dense screens, with a disabled look in dark greys that stays
// visible on light and grey backgrounds. Loading goes through QSvgRenderer, so no image-format
// plugin is needed at run time.
QIcon LoadSvgIcon(const QString& fileName);
