#!/usr/bin/env bash
# Takes the documentation's pictures of the street list, the stops window,
# the address search and a district map opened from "Туманы" in a virtual
# display of its own, with the program's texts in Russian whatever the
# system's language:
# docs/street-list.png, docs/stops-window.png, docs/address-candidates.png,
# docs/address-found.png, docs/route-between-addresses.png, docs/district-map.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/bin/dmap sample-city "$work/sample" >/dev/null
LANG=C LC_ALL=C scripts/in-virtual-display.sh build/bin/darvent-shots "$work/sample" docs 2>/dev/null
