#!/bin/sh
# Runs a command under a private X server: Xvfb on the first free display
# (it names the display itself), stopped by its pid when the command ends.
# The command sees DISPLAY and QT_QPA_PLATFORM=xcb; its status is ours.
set -u
scratch=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
server=$!
# shellcheck disable=SC2317  # run by the trap
stop() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -rf "$scratch"
}
trap stop EXIT
tries=0
while [ ! -s "$scratch/display" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 100 ] || ! kill -0 "$server" 2>/dev/null; then
    echo "Xvfb did not start:" >&2
    cat "$scratch/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
done
status=0
DISPLAY=":$(head -n 1 "$scratch/display")" QT_QPA_PLATFORM=xcb "$@" || status=$?
exit "$status"
