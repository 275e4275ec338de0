#include "app/Pictures.h"

#include "app/JpegDecoder.h"

#include <QFile>
#include <QImage>
#include <QtDebug>

// The pictures are compiled into the static library tw_app; a static library's resources must
// be registered by hand before their first use.
static void registerPictures() { Q_INIT_RESOURCE(pictures); }

namespace tw::app {

static void ensurePicturesRegistered() {
  static const bool registered = (registerPictures(), true);
  (void)registered;
}

QPixmap programPicture(const QString &name) {
  ensurePicturesRegistered();
  QFile file(QStringLiteral(":/tidewell/%1.jpg").arg(name));
  if (!file.open(QIODevice::ReadOnly)) {
    qWarning("picture %s is missing", qPrintable(name));
    return {};
  }
  const QByteArray bytes = file.readAll();
  DecodedJpeg decoded =
      decodeJpeg(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                 static_cast<std::size_t>(bytes.size()));
  if (!decoded) {
    qWarning("picture %s: %s", qPrintable(name), decoded.error.c_str());
    return {};
  }
  const QImage image(decoded.rgb.data(), decoded.width, decoded.height, decoded.width * 3,
                     QImage::Format_RGB888);
  // fromImage copies the pixels, so the decoded buffer may go.
  return QPixmap::fromImage(image);
}

QIcon programIcon() {
  ensurePicturesRegistered();
  QIcon icon;
  for (int size : {16, 48, 256}) icon.addFile(QStringLiteral(":/tidewell/icon-%1.png").arg(size), QSize(size, size));
  return icon;
}

QIcon trayIconPicture() {
  ensurePicturesRegistered();
  return QIcon(QStringLiteral(":/tidewell/icon-16.png"));
}

} // namespace tw::app
