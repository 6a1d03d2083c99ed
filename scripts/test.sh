#!/usr/bin/env bash
# The whole test suite from a fresh machine: packages, dependencies, builds,
# Wine prefixes, every test. Safe to run again; later runs reuse what exists.
#   scripts/test.sh [ctest arguments...]
# The tests run on the i686 build (the product) where this machine runs
# 32-bit code, else on the x86_64 build in 64-bit prefixes (scripts/arch.sh;
# ZORVA_ARCH=i686|x86_64 forces one).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${ZORVA_BUILD_DIR:-$repo/build}
export ZORVA_BUILD_DIR=$build
. "$repo/scripts/arch.sh"
zorva_detect_arch

step() { echo "== $*"; }

step "architecture: testing the $ZORVA_TEST_ARCH build: $ZORVA_ARCH_WHY"
"$repo/scripts/build.sh"
tested=$build/$ZORVA_TEST_ARCH

step "wine prefixes"
wine_root=$tested/wine
case $ZORVA_TEST_ARCH in
  i686) confs=(w32 w32-xp w32-7 w64) ;;
  x86_64) confs=(w64 w64-7) ;;
esac
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

step "tests of the $ZORVA_TEST_ARCH build (prefixes: ${confs[*]})"
cd "$tested"
status=0
ctest --output-on-failure -j "$(nproc)" "$@" || status=$?

# Skipped cases say why in their own output; one line each for the reader.
if grep -q 'SKIPPED: ' Testing/Temporary/LastTest.log 2>/dev/null; then
  echo "skipped, with their reasons:"
  grep -o 'SKIPPED: .*' Testing/Temporary/LastTest.log | sort | uniq -c | sed 's/^/  /'
fi
echo "tested: the $ZORVA_TEST_ARCH build ($ZORVA_ARCH_WHY)"
exit $status
