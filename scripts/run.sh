#!/usr/bin/env bash
# Sets up the machine, builds the program (dev preset) and starts the window on the Wine prefix
# in $WINEPREFIX (default ~/.wine). When that folder holds no system.reg, the program starts on a
# demo prefix instead, made once by the prefix generator in build/demo-prefix.
# The window runs in build/run, where it keeps its ignore list (ignore.xml in the current folder).
# Arguments are passed on to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

# Before anything is installed or built: without a display there is nothing to show.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to show the window on (DISPLAY is not set)." >&2
  echo "Pictures of every page: scripts/screenshots.sh" >&2
  exit 1
fi

bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)" --target tidewell tidewell-regedit tidewell-mkprefix

prefix="${WINEPREFIX:-$HOME/.wine}"
if [ ! -f "$prefix/system.reg" ]; then
  demo="$PWD/build/demo-prefix"
  if [ ! -f "$demo/system.reg" ]; then
    # A 64-bit Windows with its 32-bit programs' half, as Wine makes a prefix by default.
    build/dev/generator/tidewell-mkprefix "$demo" --demo --arch wow64
  fi
  echo "No Wine prefix in $prefix: using the demo prefix $demo"
  prefix="$demo"
fi

# Backup and restore start the registry editor, which the build puts beside the command-line tools.
export TIDEWELL_REGEDIT="${TIDEWELL_REGEDIT:-$PWD/build/dev/cli/tidewell-regedit/tidewell-regedit}"
exe="$PWD/build/dev/app/tidewell"
mkdir -p build/run
cd build/run
WINEPREFIX="$prefix" exec "$exe" "$@"
