#!/usr/bin/env bash
# Installs what is missing, builds, creates the sample city in sample/ if it
# is absent, and starts the program on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
if [ ! -f sample/Darvent/Darvent.or ]; then
  echo "Creating the sample city in sample/ ..."
  build/bin/dmap sample-city sample
fi
# The map window is not built yet; until then this shows the map's summary.
echo "The program window is not available yet; summary of the sample city map:"
build/bin/dmap info sample/Darvent/Darvent.or
