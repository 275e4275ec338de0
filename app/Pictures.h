#pragma once
// The window's pictures: JPEGs shipped inside the program, decoded with libjpeg, and the
// program's icon.

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tw::app {

/// The picture `name` ("splash", "header", "weblink"), or a null pixmap when it is missing or
/// cannot be decoded (the window then shows nothing in its place).
QPixmap programPicture(const QString &name);

/// The program's icon in every size it ships (16, 48 and 256 pixels), for the window.
QIcon programIcon();
/// The 16 x 16 icon of the notification area.
QIcon trayIconPicture();

} // namespace tw::app
