#!/usr/bin/env bash
# The installer's main job, end to end on this machine: installs what is
# missing, builds, serves the demo setup package from a local nginx under its
# MD5 folder, and runs a whole installation under Wine through the headless
# runner, twice: the second run removes the first installation through its
# uninstaller and installs again. Shows the events, the installed files and
# the registry record. Safe to run again; the demo's Wine prefix is kept, so
# every later run starts by removing the installation before it.
#   scripts/demo.sh [headless_install switches...]
# It runs the i686 build (the product) where this machine runs 32-bit code,
# else the x86_64 build in a 64-bit prefix (scripts/arch.sh).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${ZORVA_BUILD_DIR:-$repo/build}
export ZORVA_BUILD_DIR=$build
. "$repo/scripts/arch.sh"
zorva_detect_arch

step() { printf '\n== %s\n' "$*"; }

"$repo/scripts/build.sh"

arch=$ZORVA_TEST_ARCH
bin=$build/$arch/bin
demo=$build/$arch/demo
wine_root=$demo/wine
export ZORVA_WINE_CONF=$(zorva_default_conf "$arch")
step "architecture: the $arch build in the $ZORVA_WINE_CONF prefix ($ZORVA_ARCH_WHY)"
run() { "$repo/scripts/wine-run.sh" --root "$wine_root" "$@"; }

step "web server"
"$repo/scripts/test-servers.sh" start "$demo/servers" >/dev/null
stop_all() {
  "$repo/scripts/test-servers.sh" stop "$demo/servers" || true
  WINEPREFIX=$wine_root/$ZORVA_WINE_CONF wineserver -k 2>/dev/null || true
}
trap stop_all EXIT
. "$demo/servers/servers.env"
md5=$(md5sum "$bin/TarvelmossPelnixDemoSetup.exe" | cut -d' ' -f1)
mkdir -p "$WWW_DIR/$md5"
cp "$bin/TarvelmossPelnixDemoSetup.exe" "$WWW_DIR/$md5/"
# The address names the route of the Windows it runs on, as a real one does:
# the installer puts download_silent (32-bit Windows) or download_silent_64
# in place of ${ROUTE} (an address without it would be replaced on 64-bit
# Windows); the test nginx serves every route folder from its root.
url="http://127.0.0.1:$NGINX_PORT/\${ROUTE}/$md5/TarvelmossPelnixDemoSetup.exe"
echo "nginx on 127.0.0.1:$NGINX_PORT serves $url"

names="1001 DL_CODE_START|1002 DL_CODE_PROGRESS|1003 DL_CODE_SUCCESS|1004 DL_CODE_FAIL|1005 DL_CODE_RETRY|1006 DL_CODE_VERIFY|2001 IST_CODE_START|2002 IST_CODE_PROGRESS|2003 IST_CODE_SUCCESS|2004 IST_CODE_FAIL|3000 IST_INFO_INST_PATH|3001 IST_INFO_EXE_PATH|3002 IST_INFO_UNINST_EXE|3003 IST_INFO_UNINST_EP|3004 IST_INFO_START_URL|3005 IST_INFO_STARTUP_STYLE|3007 IST_INFO_TOP_SHOW_DETENTION|3008 IST_INFO_FINISH_CLOSE_DETENTION|3009 IST_INFO_MESSAGE|5002 UNIST_CODE_PROGRESS|5003 UNIST_CODE_SUCCESS|5004 UNIST_CODE_FAIL|5005 UNIST_CODE_ERROR"
# One event a line: code, name, value, text.
show_events() {
  awk -F'\t' -v names="$names" 'BEGIN { n = split(names, a, "|"); for (i = 1; i <= n; i++) { split(a[i], p, " "); name[p[1]] = p[2] } }
    { printf "  %s %-32s %-10s %s\n", $1, name[$1], $2, $3 }'
}

install_once() {
  local title=$1 status=0
  shift
  step "$title"
  run "$bin/headless_install.exe" "-downloadurl=$url" -inslang=de_DE -dsc=true -ssc=false "$@" \
    >"$demo/events.txt" </dev/null || status=$?
  show_events <"$demo/events.txt"
  echo "  exit code $status"
  return $status
}

record() { run reg query 'HKCU\Software\ZorvaSoft\Tarvelmoss Pelnix' </dev/null 2>/dev/null | tr -d '\r'; }

show_result() {
  # The folder the last installation recorded.
  local folder unix_folder
  folder=$(record | sed -n 's/^ *InstallPath *REG_SZ *//p')
  if [ -z "$folder" ]; then
    echo "no installation is recorded" >&2
    return 1
  fi
  unix_folder=$(run winepath -u "$folder" </dev/null 2>/dev/null | tr -d '\r')
  step "installed files in $folder"
  ls -l "$unix_folder" | sed 's/^/  /'
  echo "  config.ini:"
  tr -d '\r' <"$unix_folder/config.ini" | sed 's/^/    /'
  step "registry record (HKCU\\Software\\ZorvaSoft\\Tarvelmoss Pelnix)"
  record | sed '/^$/d; s/^/  /'
}

install_once "installation (an earlier one, if recorded, is removed first)" "$@"
install_once "installation again: the first is removed through its uninstaller" "$@"
show_result
