#!/usr/bin/env bash
# Runs a command on a display of its own (Xvfb) under the openbox window manager, as a user's
# desktop would show the program: windows are mapped by the manager some time after they are
# shown. Exits 77 (skipped) when Xvfb or openbox is missing.
set -u
for tool in xvfb-run openbox xprop; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
export QT_QPA_PLATFORM=xcb
exec xvfb-run -a -s "-screen 0 1600x1200x24" bash -c '
  openbox --sm-disable >/dev/null 2>&1 &
  manager=$!
  # The manager is ready once it has announced itself on the root window.
  for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.05
  done
  "$@"
  status=$?
  kill "$manager" 2>/dev/null
  wait "$manager" 2>/dev/null
  exit $status
' with_window_manager "$@"
