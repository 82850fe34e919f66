#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then the same
# tests built with AddressSanitizer and UndefinedBehaviorSanitizer; then the
# tests that run threads, built with ThreadSanitizer (scripts/test-threads.sh).
# Then every fuzz target runs its fixed smoke inputs (scripts/fuzz.sh smoke).
# DM_QUICK=1 runs the plain suite only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)"
[ -n "${DM_QUICK:-}" ] && exit 0
scripts/test-sanitized.sh
scripts/test-threads.sh
scripts/fuzz.sh smoke
