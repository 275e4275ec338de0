#!/usr/bin/env bash
# Makes the pictures of the user's manual (doc/manual/pictures) and of the README from the program
# itself: the screenshot tour under Xvfb, on a demo prefix made afresh, with trayer as the
# desktop's notification area; each picture is then reduced to 256 colours to keep it small.
# BUILD_DIR names the build to take the programs from (default build/dev, built when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

build="${BUILD_DIR:-build/dev}"
if [ ! -x "$build/app/tidewell" ] || [ ! -x "$build/generator/tidewell-mkprefix" ]; then
  cmake --preset dev >/dev/null
  cmake --build --preset dev -j "$(nproc)" --target tidewell tidewell-mkprefix
  build=build/dev
fi
build="$(cd "$build" && pwd)"
command -v trayer >/dev/null || { echo "trayer is missing: run scripts/setup.sh" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/generator/tidewell-mkprefix" "$work/prefix" --demo --seed 2006 >/dev/null
mkdir -p "$work/shots"

# The program looks for ignore.xml in the current folder: the scratch folder has none.
(cd "$work" && WINEPREFIX="$work/prefix" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled: \
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    trayer --edge bottom --align right --widthtype request --height 24 --SetDockType false \
      --transparent false & tray=$!
    sleep 1
    "$0" --screenshot-pages "$1"; status=$?
    kill $tray
    exit $status' "$build/app/tidewell" "$work/shots")

IM=convert
command -v convert-im6.q16 >/dev/null && IM=convert-im6.q16
out=doc/manual/pictures
rm -rf "$out"
mkdir -p "$out"
small() { "$IM" "$1" -strip -dither None -colors 256 "PNG8:$2"; }
for shot in "$work"/shots/0[2-9]-*.png "$work"/shots/10-*.png; do
  small "$shot" "$out/$(basename "$shot")"
done
small "$work/shots/00-splash.png" "$out/splash.png"
[ -f "$work/shots/12-tray-menu.png" ] && small "$work/shots/12-tray-menu.png" "$out/tray-menu.png"
# The notification area at the bottom right of the screen, with the program's icon, enlarged.
"$IM" "$work/shots/11-screen.png" -gravity SouthEast -crop 160x48+0+0 +repage -scale 200% \
  -strip -colors 64 "PNG8:$out/tray-icon.png"
# The README's picture: the scan page after a scan, half size.
"$IM" "$work/shots/10-scan-done.png" -resize 50% -strip -colors 256 PNG8:doc/window.png
ls -l "$out" doc/window.png
