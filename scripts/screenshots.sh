#!/usr/bin/env bash
# Renders the splash window and every page of the main window under Xvfb, with the openbox
# window manager, into PNG pictures in build/screenshots, on the demo prefix in
# build/demo-prefix (made when missing): each page as its button opens it at the window's first
# size (754 x 606) and at 1280 x 900, the scan page during and after a full scan, and the whole
# screen.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target tidewell tidewell-mkprefix

demo="$PWD/build/demo-prefix"
if [ ! -f "$demo/system.reg" ]; then
  build/dev/generator/tidewell-mkprefix "$demo" --demo
fi
root="$PWD"
exe="$root/build/dev/app/tidewell"
out="$PWD/build/screenshots"
rm -rf "$out"
mkdir -p "$out"

# The window writes Backup.xml into the prefix when it closes, and looks for ignore.xml in the
# current folder: run it from the output folder so that no stray ignore.xml is picked up.
(cd "$out" && WINEPREFIX="$demo" \
  bash "$root/tests/app/with_window_manager.sh" "$exe" --screenshot-pages "$out")
ls -1 "$out"
