#!/usr/bin/env bash
# scripts/run.sh without a display must say so at once, before it installs or builds anything:
# it runs here with nothing on its PATH but bash and dirname, so any later step would fail
# with "command not found" instead of the display message.
set -u
source_dir="$1"
tools="$(mktemp -d)"
trap 'rm -rf "$tools"' EXIT
ln -s "$(command -v bash)" "$tools/bash"
ln -s "$(command -v dirname)" "$tools/dirname"

output="$(env -i PATH="$tools" HOME="$tools" "$tools/bash" "$source_dir/scripts/run.sh" 2>&1)"
status=$?
if [ "$status" -ne 1 ]; then
  echo "run.sh ended with status $status, expected 1; it said:"
  echo "$output"
  exit 1
fi
case "$output" in
  "No display to show the window on"*) ;;
  *) echo "run.sh did not begin with the display message; it said:"; echo "$output"; exit 1 ;;
esac
echo "ok"
