#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the window need.
# Idempotent: packages already present are left alone. Runs as root (or through sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libpugixml-dev libjpeg62-turbo-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  xvfb xauth x11-utils openbox imagemagick
  trayer desktop-file-utils xdg-utils dpkg-dev
  wine wine64 wine32:i386
  nsis
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# Most programs people run in a 64-bit prefix are 32-bit; Wine runs them (and its own 32-bit
# tools, which see the registry's 32-bit view) only with wine32 from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  missing+=(wine32:i386)
fi

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
