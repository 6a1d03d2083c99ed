#!/usr/bin/env bash
# Runs a Windows program under one of the test suite's Wine prefixes:
#   wine-run.sh --root ROOT program.exe [args...]
# ZORVA_WINE_CONF picks the configuration (see wine-prefix.sh); default w32.
set -euo pipefail
# Test registrations pass their variables as blank-separated NAME=VALUE pairs.
for pair in ${ZORVA_TEST_ENV:-}; do export "$pair"; done
here=$(cd "$(dirname "$0")" && pwd)
root=
if [ "${1:-}" = --root ]; then root=$2; shift 2; fi
root=${root:-${ZORVA_WINE_ROOT:?no prefix root given}}
conf=${ZORVA_WINE_CONF:-w32}

if [ ! -f "$root/$conf/.zorva-ready" ]; then
  mkdir -p "$root"
  # Tests may start in parallel; one of them creates the prefix.
  flock "$root/.$conf.lock" "$here/wine-prefix.sh" "$root" "$conf" >&2
fi

export WINEPREFIX=$root/$conf
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ "$conf" = w64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
