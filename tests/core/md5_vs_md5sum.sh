#!/usr/bin/env bash
# md5_vs_md5sum.sh BIN_DIR
# Compares md5file.exe under Wine with md5sum on files around the MD5 block
# boundaries and on one large random file.
# WINE_RUN is the command that runs a Windows program; by default the suite's
# wrapper with the prefixes beside BIN_DIR (<build>/bin -> <build>/wine).
set -euo pipefail

bin=${1:?usage: md5_vs_md5sum.sh BIN_DIR}
bin=$(cd "$bin" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${WINE_RUN:-}" ]; then
  WINE_RUN="$here/../../scripts/wine-run.sh --root $(dirname "$bin")/wine"
fi
read -r -a run <<<"$WINE_RUN"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wine maps Z: to the Unix root.
to_windows() { printf 'Z:%s' "${1//\//\\}"; }

files=()
for size in 0 1 55 56 63 64 65 1023 1024 1025 $((3 * 1024 * 1024 + 7)); do
  f=$work/f$size
  head -c "$size" /dev/urandom >"$f"
  files+=("$f")
done

winpaths=()
for f in "${files[@]}"; do winpaths+=("$(to_windows "$f")"); done

status=0
"${run[@]}" "$bin/md5file.exe" "${winpaths[@]}" >"$work/out" || status=$?
if [ "$status" -ne 0 ]; then
  echo "md5file.exe exited with $status" >&2
fi
mapfile -t got < <(tr -d '\r' <"$work/out")

passed=0 failed=0
for i in "${!files[@]}"; do
  f=${files[$i]}
  want=$(md5sum "$f" | cut -d' ' -f1)
  have=${got[$i]:-}
  if [ "$have" = "$want" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "mismatch: $(basename "$f") ($(stat -c %s "$f") bytes): md5file '${have}' md5sum '${want}'"
  fi
done
echo "md5_vs_md5sum: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$status" -eq 0 ]
