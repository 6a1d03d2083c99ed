#!/usr/bin/env bash
# Runs a Windows program under one of the test suite's Wine prefixes:
#   wine-run.sh --root ROOT [--default-conf CONF] program.exe [args...]
# ZORVA_WINE_CONF picks the configuration (see wine-prefix.sh); without it
# CONF of --default-conf, else w32. A test registered for a configuration
# its build cannot run in carries ZORVA_SKIP: it is not started, and the exit
# code 77 tells CTest that it was skipped.
set -euo pipefail
# Test registrations pass their variables as blank-separated NAME=VALUE pairs.
for pair in ${ZORVA_TEST_ENV:-}; do export "$pair"; done
here=$(cd "$(dirname "$0")" && pwd)
root= default_conf=w32
while [ $# -gt 0 ]; do
  case $1 in
    --root) root=$2; shift 2 ;;
    --default-conf) default_conf=$2; shift 2 ;;
    *) break ;;
  esac
done
case ${ZORVA_SKIP:-} in
  '') ;;
  xp) echo "SKIPPED: needs 32-bit code: the Windows XP prefix is 32-bit Wine, and this is the x86_64 test build"; exit 77 ;;
  wow64) echo "SKIPPED: needs 32-bit code: WOW64 runs the 32-bit build on 64-bit Windows, and this is the x86_64 test build"; exit 77 ;;
  *) echo "SKIPPED: $ZORVA_SKIP"; exit 77 ;;
esac
root=$(realpath -m "${root:-${ZORVA_WINE_ROOT:?no prefix root given}}") # Wine wants an absolute prefix
conf=${ZORVA_WINE_CONF:-$default_conf}

if [ ! -f "$root/$conf/.zorva-ready" ]; then
  mkdir -p "$root"
  # Tests may start in parallel; one of them creates the prefix.
  flock "$root/.$conf.lock" "$here/wine-prefix.sh" "$root" "$conf" >&2
fi

# Without a locale Wine would name files in ASCII only.
[ -n "${LC_ALL:-}${LANG:-}" ] || export LANG=C.UTF-8
export WINEPREFIX=$root/$conf
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
. "$here/wine-loader.sh"
loader=$(zorva_wine_loader "$conf")
zorva_wine_loader_env "$conf"

# Wine's background programs (services, device host) start with the first
# program of a server and inherit its standard handles: a test's output pipe
# would then stay open until they end. So the server is started here, kept
# for a while, and woken by a program whose handles lead nowhere.
server_running() {
  local id p
  id=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
  for p in $(pgrep wineserver); do
    case $(readlink "/proc/$p/cwd" 2>/dev/null) in */"$id") return 0 ;; esac
  done
  return 1
}
if ! server_running; then
  (
    flock 9
    if ! server_running; then
      wineserver -p"${ZORVA_WINESERVER_LINGER:-120}" </dev/null >/dev/null 2>&1 9>&-
      "$loader" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
  ) 9>"$root/.$conf.server.lock"
fi
exec "$loader" "$@"
