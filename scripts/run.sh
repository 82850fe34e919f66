#!/usr/bin/env bash
# Installs what is missing, builds, creates the sample city in sample/ if it
# is absent, and starts the program on it (the start folder is sample/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
if [ ! -f sample/Darvent/Darvent.or ] || [ ! -f sample/Darvent/darvent.rue ] || [ ! -f sample/Darvent/table.txt ] || [ ! -f sample/Darvent/frontier.tum ]; then
  echo "Creating the sample city in sample/ ..."
  build/bin/dmap sample-city sample
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
There is no display here.  To run the program in a virtual display (Xvfb)
on display :99, open to the clients of this machine:

    xvfb-run -n 99 -s "-screen 0 1600x1000x24 -ac" scripts/run.sh

and, in another shell, to take a screenshot of it:

    DISPLAY=:99 import -window root shot.png

(scripts/screenshot.sh OUT.png does both in one step.)
MSG
  exit 1
fi
cd sample
exec ../build/bin/darvent-map "$@"
