#!/usr/bin/env bash
# Checks every program of a build folder with objdump -p, failing on the first
# fault: the PE format of the architecture (PE32 for i686, PE32+ for x86_64),
# the subsystem each program is meant to have, and no MinGW runtime DLL among
# the imports (every program is linked statically and must run alone).
#   check-binaries.sh BIN_DIR i686|x86_64
set -euo pipefail
bin=$1 arch=$2
case $arch in
  i686) format=pei-i386 magic='(PE32)' ;;
  x86_64) format=pei-x86-64 magic='(PE32+)' ;;
  *) echo "check-binaries.sh: unknown architecture '$arch'" >&2; exit 2 ;;
esac
objdump=$arch-w64-mingw32-objdump

# Programs with a window; every other one is a console program.
gui=(RadidaZezuzadi.exe TarvelmossPelnixDemoSetup.exe)

count=0 faults=0
fault() { echo "check-binaries: $1: $2" >&2; faults=$((faults + 1)); }
for exe in "$bin"/*.exe; do
  [ -e "$exe" ] || { echo "check-binaries: no programs in $bin" >&2; exit 1; }
  name=$(basename "$exe")
  dump=$("$objdump" -p "$exe")
  grep -q "file format $format\$" <<<"$dump" || fault "$name" "not $format: $(sed -n 's/.*file format //p' <<<"$dump")"
  grep -q "^Magic.*$magic" <<<"$dump" || fault "$name" "not $magic"
  want=3 what="Windows CUI"
  for g in "${gui[@]}"; do [ "$name" = "$g" ] && want=2 what="Windows GUI"; done
  grep -Eq "^Subsystem[[:space:]]+0000000$want[[:space:]]" <<<"$dump" ||
    fault "$name" "subsystem is not $what: $(sed -n 's/^Subsystem[[:space:]]*//p' <<<"$dump")"
  runtime=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | grep -Ei '^lib|mingw|gcc|stdc\+\+|pthread' || true)
  [ -z "$runtime" ] || fault "$name" "imports a runtime DLL: $(echo $runtime)"
  count=$((count + 1))
done
[ "$faults" = 0 ] || exit 1
echo "checked $count programs of $arch: $format $magic, subsystems as intended, no MinGW runtime DLL"
