#pragma once
// A developer's tour of the window for screenshots: opens every page in turn through its button,
// runs a scan, and saves each view as a PNG picture. Started by `tidewell --screenshot-pages DIR`.

#include <QString>

namespace tw::app {

class TfmMainForm;
class TSplashScreen;

/// Saves into `folder` the screen at start (splash over the window), the splash picture, one
/// picture per page (01-scan-errors.png, ...), the scan page during and after a scan, and the
/// screen at the end, and the menu of the notification-area icon. Returns false when a picture could not be saved.
bool takeScreenshots(TfmMainForm &form, TSplashScreen &splash, const QString &folder);

} // namespace tw::app
