#!/usr/bin/env bash
# Renders the splash window and every page of the main window under Xvfb into PNG pictures in
# build/screenshots, on the demo prefix in build/demo-prefix (made when missing): each page as
# its button opens it, the scan page during and after a full scan, and the whole screen.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target tidewell tidewell-mkprefix

demo="$PWD/build/demo-prefix"
if [ ! -f "$demo/system.reg" ]; then
  build/dev/generator/tidewell-mkprefix "$demo" --demo
fi
exe="$PWD/build/dev/app/tidewell"
out="$PWD/build/screenshots"
rm -rf "$out"
mkdir -p "$out"

# The window writes Backup.xml into the prefix when it closes, and looks for ignore.xml in the
# current folder: run it from the output folder so that no stray ignore.xml is picked up.
(cd "$out" && WINEPREFIX="$demo" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1024x768x24" "$exe" --screenshot-pages "$out")
ls -1 "$out"
