#pragma once
// The window's pictures: JPEGs shipped inside the program, decoded with libjpeg.

#include <QPixmap>
#include <QString>

namespace tw::app {

/// The picture `name` ("splash", "header", "weblink"), or a null pixmap when it is missing or
/// cannot be decoded (the window then shows nothing in its place).
QPixmap programPicture(const QString &name);

} // namespace tw::app
