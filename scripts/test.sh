#!/usr/bin/env bash
# Sets up the machine, builds everything with warnings as errors and runs every test: the
# Linux programs and the Windows programs, 64-bit and 32-bit (cross-built with mingw-w64, run
# under Wine's 64-bit and 32-bit loaders).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/windows-deps.sh
# Object files are cached by paths relative to the checkout, so any clone reuses them.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset windows
cmake --build --preset windows -j "$(nproc)"
cmake --preset windows32
cmake --build --preset windows32 -j "$(nproc)"
cmake --preset ci
cmake --build --preset ci -j "$(nproc)"
ctest --preset ci -j "$(nproc)"
ctest --preset windows -j "$(nproc)"
ctest --preset windows32 -j "$(nproc)"
