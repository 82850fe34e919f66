#!/usr/bin/env bash
# Takes a screenshot of the program on the sample city in a virtual display.
# Usage: scripts/screenshot.sh OUT.png [seconds to wait, default 8]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshot.png}")
wait=${2:-8}
scripts/deps.sh
scripts/build.sh >/dev/null
[ -f sample/Darvent/Darvent.or ] || build/bin/dmap sample-city sample
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c "
  cd sample && ../build/bin/darvent-map & pid=\$!
  sleep $wait
  import -window root '$out'
  kill \$pid"
echo "screenshot: $out"
