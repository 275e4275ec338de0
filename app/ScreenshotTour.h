#pragma once
// A developer's tour of the window for screenshots: opens every page in turn through its button,
// runs a scan, and saves each view as a PNG picture. Started by `tidewell --screenshot-pages DIR`.

#include <QString>

namespace tw::app {

class TfmMainForm;
class TSplashScreen;

/// Saves splash.png, one picture per page (01-scan-errors.png, ...) and the scan page after a
/// scan into `folder`, then closes the window. Returns false when a picture could not be saved.
bool takeScreenshots(TfmMainForm &form, TSplashScreen &splash, const QString &folder);

} // namespace tw::app
