#!/usr/bin/env bash
# Packages, dependencies and the build, as the test and benchmark scripts need
# them; safe to run again. The build folder is $ZORVA_BUILD_DIR (default build/).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${ZORVA_BUILD_DIR:-$repo/build}

step() { echo "== $*"; }

step "packages"
"$repo/scripts/install-packages.sh"

step "dependencies"
# Progress goes to stderr; the last line of stdout names the prefix.
deps=$("$repo/scripts/build-deps.sh" | sed -n 's/^ZORVA_DEPS_PREFIX=//p' | tail -n 1)
[ -n "$deps" ] || { echo "dependency build gave no prefix" >&2; exit 1; }
echo "dependencies in $deps"

step "build"
cmake -S "$repo" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
  -DZORVA_DEPS_PREFIX="$deps" -DCMAKE_PREFIX_PATH="$deps" >/dev/null
cmake --build "$build" -j "$(nproc)"

