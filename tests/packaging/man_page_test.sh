#!/usr/bin/env bash
# Every command that 'tidewell-cli --help' lists has a section (.SS "NAME") in its manual page,
# and the page formats without warnings.
set -euo pipefail
cli=$1 page=$2
commands=$("$cli" --help | awk '/^  [a-z]/ { print $1 }')
[ -n "$commands" ] || { echo "no commands in 'tidewell-cli --help'"; exit 1; }
status=0
for command in $commands; do
  if ! grep -qx ".SS \"$command\"" "$page"; then
    echo "$page: no section .SS \"$command\" for the command '$command'"
    status=1
  fi
done
if command -v groff >/dev/null; then
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1 || true)
  [ -z "$warnings" ] || { echo "$page: $warnings"; status=1; }
fi
exit $status
