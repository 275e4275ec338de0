#!/usr/bin/env bash
# Installs what the Windows build needs: Debian's mingw-w64 compilers, and pugixml's source
# from Debian's own source package (GoogleTest's source comes with the googletest package).
# The source lands in build/deps/pugixml. Idempotent; runs as root (or through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev g++-mingw-w64-i686-posix mingw-w64-i686-dev
          googletest dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Source packages come from the same archives as the binary ones: a deb-src entry for each
# configured deb822 source, written once.
src_list=/etc/apt/sources.list.d/tidewell-deb-src.sources
need_update=0
if [ ! -f "$src_list" ]; then
  tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ "$f" = "$src_list" ] && continue
    sed -e 's/^Types:.*/Types: deb-src/' "$f" >> "$tmp"
    echo >> "$tmp"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "${tmp}.list" || true
    [ -s "${tmp}.list" ] && $SUDO cp "${tmp}.list" /etc/apt/sources.list.d/tidewell-deb-src.list
  fi
  $SUDO cp "$tmp" "$src_list"
  rm -f "$tmp" "${tmp}.list"
  need_update=1
fi
if [ ${#missing[@]} -gt 0 ] || [ "$need_update" -eq 1 ]; then
  $SUDO apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ ! -f build/deps/pugixml/src/pugixml.cpp ]; then
  mkdir -p build/deps
  work=$(mktemp -d build/deps/pugixml-src.XXXXXX)
  (cd "$work" && apt-get source -qq pugixml >/dev/null)
  unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'pugixml-*' | head -n 1)
  rm -rf build/deps/pugixml
  mv "$unpacked" build/deps/pugixml
  rm -rf "$work"
fi
