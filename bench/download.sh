#!/usr/bin/env bash
# Download benchmarks on loopback nginx, printing figures (never pass/fail):
#   bench/download.sh [runs] [size MiB]
# Each round runs every contender once, side by side, so the ratios compare
# runs made under the same load; each figure is the median over the rounds.
#   single stream  vs curl.exe from the same libcurl (same Wine, same server),
#                  without and with the MD5 check of the finished file
#   ranged         vs single stream, with a per-connection rate limit
#   peak working set of the downloading process
#   Utils::GetFileMD5 (md5file.exe) vs md5sum on the same file
# It runs the build the tests run on (scripts/arch.sh: i686 where 32-bit code
# runs, else x86_64), beside curl.exe built for the same triplet.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export ZORVA_BUILD_DIR=${ZORVA_BUILD_DIR:-$repo/build}
runs=${1:-5}
size_mib=${2:-256}
rate=${ZORVA_BENCH_RATE:-20000000} # bytes per second and connection

. "$repo/bench/common.sh"

servers=$build/bench-servers
"$repo/scripts/test-servers.sh" start "$servers" >/dev/null
trap '"$repo/scripts/test-servers.sh" stop "$servers" >/dev/null 2>&1 || true' EXIT
. "$servers/servers.env"

# A package under its MD5 directory, as the installer expects it.
work=$servers/www
head -c $((size_mib * 1048576)) /dev/urandom > "$work/bench.bin"
md5=$(md5sum "$work/bench.bin" | cut -d' ' -f1)
mkdir -p "$work/$md5" && mv "$work/bench.bin" "$work/$md5/bench.bin"
file=$work/$md5/bench.bin
# The same bytes under a two-letter directory carry no checksum: the download
# then ends without the MD5 pass, so it compares transfer with transfer.
mkdir -p "$work/nc" && ln -f "$work/$md5/bench.bin" "$work/nc/bench.bin"
url=http://127.0.0.1:$NGINX_PORT/nc/bench.bin
checked=http://127.0.0.1:$NGINX_PORT/$md5/bench.bin
slow=http://127.0.0.1:$NGINX_PORT/rate/$rate/nc/bench.bin
out=$servers/out
mkdir -p "$out"
winpath() { echo "Z:${1//\//\\}"; }
run() { "$repo/scripts/wine-run.sh" --root "$build/wine" --default-conf "$conf" "$@"; }
run cmd /c exit </dev/null >/dev/null 2>&1

declare -A samples
add() { samples[$1]="${samples[$1]:-} $2"; }
median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

# Every contender starts with the page cache written back: otherwise the
# writeback of the one before (256 MiB and more) lands in its time.
settle() { sync; }

for r in $(seq 1 "$runs"); do
  rm -f "$out"/*
  settle
  t=$(run "$curl_exe" -s -o "$(winpath "$out/curl.bin")" -w '%{time_total}' "$url")
  add curl "$t"
  settle
  line=$(run "$build/bin/dlbench.exe" 1 "$url" "$(winpath "$out/single.bin")")
  add single "$(field seconds <<<"$line")"; add single_ws "$(field peak_ws <<<"$line")"
  settle
  line=$(run "$build/bin/dlbench.exe" 1 "$checked" "$(winpath "$out/checked.bin")")
  add checked "$(field seconds <<<"$line")"
  settle
  line=$(run "$build/bin/dlbench.exe" 3 "$url" "$(winpath "$out/ranged.bin")")
  add ranged_fast "$(field seconds <<<"$line")"; add ranged_ws "$(field peak_ws <<<"$line")"
  settle
  line=$(run "$build/bin/dlbench.exe" 1 "$slow" "$(winpath "$out/single-slow.bin")")
  add single_slow "$(field seconds <<<"$line")"
  settle
  line=$(run "$build/bin/dlbench.exe" 3 "$slow" "$(winpath "$out/ranged-slow.bin")")
  add ranged_slow "$(field seconds <<<"$line")"
  settle
  s=$(date +%s.%N); run "$build/bin/md5file.exe" "$(winpath "$file")" >/dev/null; e=$(date +%s.%N)
  add md5file "$(echo "$e - $s" | bc -l)"
  s=$(date +%s.%N); md5sum "$file" >/dev/null; e=$(date +%s.%N)
  add md5sum "$(echo "$e - $s" | bc -l)"
  for f in single checked ranged; do cmp -s "$file" "$out/$f.bin" || echo "warning: $f.bin differs from the served file" >&2; done
done

mib=$size_mib
thr() { echo "scale=1; $mib / $1" | bc -l; }
c=$(median "${samples[curl]}"); s1=$(median "${samples[single]}"); rf=$(median "${samples[ranged_fast]}"); ck=$(median "${samples[checked]}")
ss=$(median "${samples[single_slow]}"); rs=$(median "${samples[ranged_slow]}")
m1=$(median "${samples[md5file]}"); m2=$(median "${samples[md5sum]}")
ws1=$(median "${samples[single_ws]}"); ws3=$(median "${samples[ranged_ws]}")
echo "$arch build in the $conf prefix, curl.exe of the same triplet; package ${size_mib} MiB, $runs rounds, medians:"
printf '  curl.exe            %6.2f s  %7s MiB/s\n' "$c" "$(thr "$c")"
printf '  single stream       %6.2f s  %7s MiB/s   single/curl.exe throughput = %s (target >= 0.95)\n' "$s1" "$(thr "$s1")" "$(echo "scale=3; $c / $s1" | bc -l)"
printf '  single, MD5 checked %6.2f s  %7s MiB/s   (address with its checksum: download, then the MD5 pass)\n' "$ck" "$(thr "$ck")"
printf '  ranged              %6.2f s  %7s MiB/s\n' "$rf" "$(thr "$rf")"
printf '  limited single      %6.2f s  %7s MiB/s   (limit_rate %s B/s per connection)\n' "$ss" "$(thr "$ss")" "$rate"
printf '  limited ranged      %6.2f s  %7s MiB/s   ranged/single throughput = %s (target >= 1.9)\n' "$rs" "$(thr "$rs")" "$(echo "scale=3; $ss / $rs" | bc -l)"
printf '  peak working set    single %s MiB, ranged %s MiB (target < 24 MiB)\n' "$(echo "scale=1; $ws1 / 1048576" | bc -l)" "$(echo "scale=1; $ws3 / 1048576" | bc -l)"
printf '  GetFileMD5          %6.2f s  %7s MiB/s   md5sum %6.2f s %7s MiB/s   ratio = %s (md5file.exe includes Wine start-up)\n' "$m1" "$(thr "$m1")" "$m2" "$(thr "$m2")" "$(echo "scale=3; $m2 / $m1" | bc -l)"
