#!/usr/bin/env bash
# Installs what is missing, builds, creates the sample city in sample/ if it
# is absent, and starts the program on it (the start folder is sample/).
# With --virtual-display first, the program runs in a virtual display of its
# own (for a machine without one).
set -euo pipefail
cd "$(dirname "$0")/.."
virtual=0
if [ "${1:-}" = "--virtual-display" ]; then
  virtual=1
  shift
fi
scripts/deps.sh
# Only what runs here: the program and dmap (the tests are the test command's).
scripts/build.sh darvent-map dmap
if [ ! -f sample/Darvent/Darvent.or ] || [ ! -f sample/Darvent/darvent.rue ] || [ ! -f sample/Darvent/table.txt ] || [ ! -f sample/Darvent/frontier.tum ]; then
  echo "Creating the sample city in sample/ ..."
  build/bin/dmap sample-city sample
fi
if [ $virtual = 1 ]; then
  cd sample
  exec ../scripts/in-virtual-display.sh ../build/bin/darvent-map "$@"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
There is no display here.  To run the program in a virtual display of its
own (it prints how to take a screenshot and how to stop it):

    scripts/run.sh --virtual-display
MSG
  exit 1
fi
cd sample
exec ../build/bin/darvent-map "$@"
