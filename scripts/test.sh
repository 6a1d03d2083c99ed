#!/usr/bin/env bash
# The whole test suite from a fresh machine: packages, dependencies, build,
# Wine prefixes, every test. Safe to run again; later runs reuse what exists.
#   scripts/test.sh [ctest arguments...]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${ZORVA_BUILD_DIR:-$repo/build}
export ZORVA_BUILD_DIR=$build

step() { echo "== $*"; }

"$repo/scripts/build.sh"

step "wine prefixes"
wine_root=$build/wine
confs=(w32 w32-xp w32-7 w64)
pids=()
for conf in "${confs[@]}"; do
  "$repo/scripts/wine-prefix.sh" "$wine_root" "$conf" & pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done

# One wineserver per prefix, started by wine-run.sh and kept alive while the
# tests run, so each test skips Wine's start-up; all are stopped at the end.
stop_servers() {
  for conf in "${confs[@]}"; do WINEPREFIX=$wine_root/$conf wineserver -k 2>/dev/null || true; done
}
trap stop_servers EXIT
for conf in "${confs[@]}"; do
  ZORVA_WINE_CONF=$conf "$repo/scripts/wine-run.sh" --root "$wine_root" cmd /c exit </dev/null >/dev/null 2>&1
done

step "tests"
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
