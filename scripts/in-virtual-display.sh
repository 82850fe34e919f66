#!/usr/bin/env bash
# Runs a command in a virtual display (Xvfb) of its own, 1600x1000, open to
# the clients of this machine, and stops the display when the command ends.
# Usage: scripts/in-virtual-display.sh COMMAND [ARGS...]
set -euo pipefail
if ! command -v Xvfb >/dev/null; then
  echo "Xvfb is not installed: scripts/deps.sh installs it." >&2
  exit 1
fi
n=99
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
log=$(mktemp)
Xvfb ":$n" -screen 0 1600x1000x24 -ac -nolisten tcp >"$log" 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null || true; wait $xpid 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$n" ] && break
  if ! kill -0 $xpid 2>/dev/null; then
    echo "The virtual display did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
  sleep 0.1
done
export DISPLAY=":$n"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
"$@" &
cpid=$!
trap 'kill $cpid 2>/dev/null || true' INT TERM
cat >&2 <<MSG
Virtual display :$n is running (1600x1000).  From another shell:
  take a screenshot:  DISPLAY=:$n import -window root shot.png
  stop the program:   kill $cpid   (or Ctrl+C here)
MSG
status=0
wait $cpid || status=$?
# Interrupted: wait for the program itself to end.
while kill -0 $cpid 2>/dev/null; do wait $cpid || status=$?; done
exit $status
