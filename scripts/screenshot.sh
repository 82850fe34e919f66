#!/usr/bin/env bash
# Takes a screenshot of the program on the sample city in a virtual display.
# Usage: scripts/screenshot.sh OUT.png [seconds to wait, default 8]
# DM_ARGS: options for the program; DM_BEFORE_SHOT: a command run in the
# virtual display just before the picture is taken (xdotool keys, say).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshot.png}")
wait=${2:-8}
scripts/deps.sh
scripts/build.sh >/dev/null
[ -f sample/Darvent/Darvent.or ] && [ -f sample/Darvent/darvent.rue ] && [ -f sample/Darvent/table.txt ] && [ -f sample/Darvent/frontier.tum ] || build/bin/dmap sample-city sample
# The program is ended and waited for before the virtual display goes away,
# so that it does not lose its X connection on the way out.
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c "
  cd sample || exit 1
  ../build/bin/darvent-map ${DM_ARGS:-} & pid=\$!
  sleep $wait
  ${DM_BEFORE_SHOT:-true}
  import -window root '$out'
  kill \$pid
  wait \$pid 2>/dev/null || true"
echo "screenshot: $out"
