#!/usr/bin/env bash
# A whole headless installation against its parts, printing figures (never
# pass/fail):
#   bench/install.sh [rounds] [package MiB]
# The package is the demo setup package carrying incompressible product data
# of the given size (default 64 MiB), served by loopback nginx under its MD5.
# Each round times, under the same Wine prefix:
#   raw       curl.exe downloading the package (same libcurl, same server),
#             wall time like the others (each starts one program under Wine)
#   alone     the package run by itself (silent, into a fresh folder)
#   whole/N   headless_install with -downloadtype=N (1 single stream,
#             2 WinHTTP, 3 ranged): removal check, download, MD5, package
#             run, records, package deletion
# and prints medians: each whole run, its overhead ratio whole / (raw + alone)
# (target at most 1.05), and each downloader's throughput from its 1001 to
# its 1003 event.
# It runs the build the tests run on (scripts/arch.sh), with a package and
# curl.exe of the same architecture.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export ZORVA_BUILD_DIR=${ZORVA_BUILD_DIR:-$repo/build}
runs=${1:-3}
size_mib=${2:-64}

. "$repo/bench/common.sh"

servers=$build/bench-install
"$repo/scripts/test-servers.sh" start "$servers" >/dev/null
trap '"$repo/scripts/test-servers.sh" stop "$servers" >/dev/null 2>&1 || true
  WINEPREFIX=$servers/wine/$conf wineserver -k 2>/dev/null || true' EXIT
. "$servers/servers.env"

# The bench package: the demo package with product data of the given size.
work=$servers/work
mkdir -p "$work"
head -c $((size_mib * 1048576)) /dev/urandom >"$work/pelnix-data.bin"
makensis -V1 -DTARGET="$nsis_target" -DPRODUCT_EXE="$build/bin/RadidaZezuzadi.exe" -DPRODUCT_DATA="$work/pelnix-data.bin" \
  -DOUT_FILE="$work/BenchSetup.exe" "$repo/tools/demo/demo_package.nsi" >/dev/null
md5=$(md5sum "$work/BenchSetup.exe" | cut -d' ' -f1)
mkdir -p "$WWW_DIR/$md5"
mv "$work/BenchSetup.exe" "$WWW_DIR/$md5/BenchSetup.exe"
# Routed, as a configured address is (nginx serves the route folders from
# www); curl.exe gets the address the installer makes of it.
url="http://127.0.0.1:$NGINX_PORT/\${ROUTE}/$md5/BenchSetup.exe"
raw_url=http://127.0.0.1:$NGINX_PORT/$route/$md5/BenchSetup.exe
bytes=$(stat -c %s "$WWW_DIR/$md5/BenchSetup.exe")

# A prefix of its own: the runs write the product's record, which the tests read.
export ZORVA_WINE_CONF=$conf
wine_root=$servers/wine
run() { "$repo/scripts/wine-run.sh" --root "$wine_root" "$@"; }
run cmd /c exit </dev/null >/dev/null 2>&1
drive_c=$wine_root/$conf/drive_c
bench_dir=C:\\zorva-bench
clean() {
  rm -rf "$drive_c/zorva-bench"
  run reg delete 'HKCU\Software\ZorvaSoft\Tarvelmoss Pelnix' /f </dev/null >/dev/null 2>&1 || true
}
now() { date +%s.%N; }

declare -A samples
add() { samples[$1]="${samples[$1]:-} $2"; }
median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

for r in $(seq 1 "$runs"); do
  clean
  mkdir -p "$drive_c/zorva-bench"
  # Wall time, as for the other two: each includes starting one program under Wine.
  s=$(now)
  t=$(run "$curl_exe" -s -o "$bench_dir\\raw.exe" -w '%{time_total}' "$raw_url" </dev/null)
  add raw "$(echo "$(now) - $s" | bc -l)"
  add transfer "$t"

  s=$(now)
  run "$WWW_DIR/$md5/BenchSetup.exe" /S "/D=$bench_dir\\alone" </dev/null >/dev/null
  add alone "$(echo "$(now) - $s" | bc -l)"

  for type in 1 2 3; do
    s=$(now)
    # Each event line with the time it arrived.
    { run "$build/bin/headless_install.exe" "-downloadurl=$url" "-downloadtype=$type" \
        "-instdir=$bench_dir\\whole$type" -uninstaller= </dev/null || echo "round $r: downloader $type exited $?" >&2; } |
      while IFS= read -r line; do printf '%s\t%s\n' "$(now)" "$line"; done >"$work/events$type.txt"
    add "whole$type" "$(echo "$(now) - $s" | bc -l)"
    dl=$(awk -F'\t' '$2 == 1001 && !a { a = $1 } $2 == 1003 { b = $1 } END { print b - a }' "$work/events$type.txt")
    add "dl$type" "$dl"
    grep -q "^[0-9.]*	2003	" "$work/events$type.txt" || echo "round $r: downloader $type did not install" >&2
    [ -e "$drive_c/zorva-bench/whole$type/__Package_Tarvelmoss Pelnix.exe" ] &&
      echo "round $r: downloader $type left its package" >&2
  done
done
clean

raw=$(median "${samples[raw]}")
transfer=$(median "${samples[transfer]}")
alone=$(median "${samples[alone]}")
printf '%s build in the %s prefix, package and curl.exe of the same architecture\n' "$arch" "$conf"
printf 'package %d bytes, %d rounds (medians)\n' "$bytes" "$runs"
printf 'raw curl.exe download   %.3f s wall, %.3f s transfer (%.1f MB/s)\n' "$raw" "$transfer" \
  "$(echo "$bytes / $transfer / 1000000" | bc -l)"
printf 'package run alone       %.3f s\n' "$alone"
names=([1]="single stream" [2]="WinHTTP" [3]="ranged")
for type in 1 2 3; do
  whole=$(median "${samples[whole$type]}")
  dl=$(median "${samples[dl$type]}")
  printf 'whole, %-13s   %.3f s  overhead ratio %.3f  download %.3f s (%.1f MB/s)\n' "${names[$type]}" "$whole" \
    "$(echo "$whole / ($raw + $alone)" | bc -l)" "$dl" "$(echo "$bytes / $dl / 1000000" | bc -l)"
done
