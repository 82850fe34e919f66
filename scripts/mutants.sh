#!/usr/bin/env bash
# Plants faults one at a time and checks that the tests catch each of them.
#
#   scripts/mutants.sh [NAME ...]
#
# DM_MUTANT_TARGETS (build targets, blank-separated) and DM_MUTANT_TESTS (a
# ctest -R pattern) narrow a run to the tests that should catch the faults
# (a quicker check while sharpening tests; a fault that survives such a run
# may still be caught by the whole suite).
#
# Each fault is a small patch in scripts/mutants/ (its first line says what
# it breaks).  The tracked files are copied to build-mutants/src (only those
# that changed since the last run), the patch is applied there, the copy is rebuilt in build-mutants/build and the tests
# run until the first failure.  A fault that no test catches "survived".
# The work tree itself is never changed.  Exit code 0 when every fault was
# caught, 1 when one survived.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh
command -v patch >/dev/null || {
  [ "$(id -u)" -ne 0 ] && SUDO=sudo || SUDO=""
  $SUDO apt-get install -y -qq --no-install-recommends patch >/dev/null
}

work="$root/build-mutants"
src="$work/src"
bld="$work/build"
mkdir -p "$work"

# A copy of the tracked files as they are in the work tree.  Only files
# whose content differs are copied, so that the copy's build stays
# incremental and never keeps an object built from a planted fault.
mkdir -p "$src"
git ls-files -z | while IFS= read -r -d '' f; do
  if [ ! -f "$src/$f" ] || ! cmp -s "$f" "$src/$f"; then
    mkdir -p "$src/$(dirname "$f")"
    cp "$f" "$src/$f"
  fi
done

build() {
  cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build "$bld" -j"$(nproc)" ${DM_MUTANT_TARGETS:+--target $DM_MUTANT_TARGETS} >"$work/build.log" 2>&1
}
tests() {
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$bld" -j"$(nproc)" --stop-on-failure --timeout 300 \
    ${DM_MUTANT_TESTS:+-R "$DM_MUTANT_TESTS"} >"$work/test.log" 2>&1
}

echo "Building the unchanged copy ..."
if ! build; then
  tail -30 "$work/build.log"
  echo "The unchanged sources do not build." >&2
  exit 2
fi
if ! tests; then
  tail -30 "$work/test.log"
  echo "The unchanged sources fail their tests." >&2
  exit 2
fi

if [ $# -gt 0 ]; then
  patches=()
  for n in "$@"; do patches+=("scripts/mutants/$n.patch"); done
else
  patches=(scripts/mutants/*.patch)
fi

killed=0
survived=()
broken=()
for p in "${patches[@]}"; do
  name=$(basename "$p" .patch)
  what=$(head -1 "$p" | sed 's/^# *//')
  if ! (cd "$src" && patch -p1 --quiet --forward <"$root/$p" >/dev/null); then
    echo "NOT APPLIED  $name"
    broken+=("$name")
    continue
  fi
  if ! build; then
    echo "NO BUILD     $name"
    broken+=("$name")
  elif tests; then
    echo "SURVIVED     $name: $what"
    survived+=("$name")
  else
    failed=$(grep -m1 -oE '\*\*\*Failed|Failed  +[0-9.]+ sec' "$work/test.log" >/dev/null &&
      grep -m1 -E '\*\*\*Failed|\(Failed\)' "$work/test.log" | sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: //; s/ \.+.*//' || true)
    echo "caught       $name  (by ${failed:-a test})"
    killed=$((killed + 1))
  fi
  (cd "$src" && patch -p1 --quiet --reverse <"$root/$p" >/dev/null)
done

total=${#patches[@]}
echo
echo "$total faults: $killed caught, ${#survived[@]} survived, ${#broken[@]} not built."
for s in "${survived[@]}"; do echo "  survived: $s"; done
for b in "${broken[@]}"; do echo "  not built: $b"; done
[ ${#survived[@]} -eq 0 ] && [ ${#broken[@]} -eq 0 ]
