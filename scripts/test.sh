#!/usr/bin/env bash
# Installs what is missing, builds, starts a database server of its own
# (scripts/db.sh, in a temporary folder) and runs every test; then the same
# tests built with AddressSanitizer and UndefinedBehaviorSanitizer; then the
# tests that run threads, built with ThreadSanitizer (scripts/test-threads.sh).
# Then every fuzz target runs its fixed smoke inputs (scripts/fuzz.sh smoke).
# DM_QUICK=1 runs the plain suite only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# The database tests run against a server of their own, stopped at the end
# whatever the tests do.
dbdir=$(mktemp -d /tmp/darvent-test-db.XXXXXX)
chmod 755 "$dbdir"
trap 'scripts/db.sh stop "$dbdir" >/dev/null 2>&1 || true; rm -rf "$dbdir"' EXIT
DM_TEST_DB=$(DM_DB_FAST=1 scripts/db.sh start "$dbdir")
export DM_TEST_DB
ctest --test-dir build --output-on-failure -j"$(nproc)"
[ -n "${DM_QUICK:-}" ] && exit 0
scripts/test-sanitized.sh
scripts/test-threads.sh
scripts/fuzz.sh smoke
