#!/usr/bin/env bash
# Builds and runs the benchmarks on a generated 1,000,000-object city
# (kept in build/bench-city between runs).  Usage: scripts/bench.sh [load|redraw] [RUNS] | hittest [CLICKS] | route [QUERIES]
# | streets [N] [RUNS] (a register of N streets, 20,000 by default; needs no city) | print [RUNS]
# | cut [RUNS] (the city cut to the central district's outline, against loading it)
# | interactive [RUNS] (zoomed redraw, wheel steps, object moves in the program's window)
# | export [RUNS] (the city exported to a GeoPackage, against ogr2ogr copying that file)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh >/dev/null
if [ "${1:-}" = streets ]; then
  exec build/bin/darvent-bench streets "${2:-20000}" "${3:-5}"
fi
city=build/bench-city
if [ ! -f "$city/njoints.uzl" ] || [ ! -f "$city/Darvent/centr.gtm" ]; then
  echo "Generating the 1,000,000-object city in $city ..."
  build/bin/dmap sample-city "$city" --objects 1000000
fi
what=${1:-load}
runs=${2:-5}
case "$what" in
  load|redraw) build/bin/darvent-bench "$what" "$city/Darvent/Darvent.bin" "$runs" ;;
  print) build/bin/darvent-bench print "$city/Darvent/Darvent.bin" "${2:-3}" ;;
  hittest) build/bin/darvent-bench hittest "$city/Darvent/Darvent.bin" "${2:-1000}" ;;
  route) build/bin/darvent-bench route "$city/njoints.uzl" "${2:-1000}" ;;
  interactive) build/bin/darvent-bench interactive "$city" "$runs" ;;
  export) build/bin/darvent-bench export "$city/Darvent/Darvent.bin" "${2:-3}" ;;
  cut) build/bin/darvent-bench cut "$city/Darvent/Darvent.bin" "$city/Darvent/centr.gtm" "$runs" ;;
  *) echo "unknown benchmark: $what" >&2; exit 2 ;;
esac
