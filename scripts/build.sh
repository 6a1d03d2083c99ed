#!/usr/bin/env bash
# Packages, dependencies and the builds, as the test, demo and benchmark
# scripts need them; safe to run again. Under $ZORVA_BUILD_DIR (default build/):
#   build/i686     the product, built on every machine; its tests too where
#                  they are the ones that run
#   build/x86_64   the test build, where this machine runs no 32-bit code
#                  (or ZORVA_ARCH=x86_64 asks for it)
# scripts/arch.sh decides which of the two is tested; the last line of stdout
# is `ZORVA_TEST_BUILD=<folder of the tested build>`.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${ZORVA_BUILD_DIR:-$repo/build}
export ZORVA_BUILD_DIR=$build
. "$repo/scripts/arch.sh"
zorva_detect_arch

step() { echo "== $*"; }

step "packages"
"$repo/scripts/install-packages.sh"

archs=(i686)
[ "$ZORVA_TEST_ARCH" = i686 ] || archs+=("$ZORVA_TEST_ARCH")

for arch in "${archs[@]}"; do
  role="the product"
  [ "$arch" = i686 ] || role="the test build"
  step "dependencies for $arch ($role)"
  # Progress goes to stderr; the last line of stdout names the prefix.
  deps=$("$repo/scripts/build-deps.sh" "$arch" | sed -n 's/^ZORVA_DEPS_PREFIX=//p' | tail -n 1)
  [ -n "$deps" ] || { echo "dependency build for $arch gave no prefix" >&2; exit 1; }
  echo "dependencies in $deps"

  # Test programs only for the build whose tests run here.
  tests=OFF
  [ "$arch" = "$ZORVA_TEST_ARCH" ] && tests=ON
  step "build $arch ($role, tests $tests)"
  cmake -S "$repo" -B "$build/$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-$arch.cmake" -DZORVA_BUILD_TESTS=$tests \
    -DZORVA_DEPS_PREFIX="$deps" -DCMAKE_PREFIX_PATH="$deps" >/dev/null
  cmake --build "$build/$arch" -j "$(nproc)"
  "$repo/scripts/check-binaries.sh" "$build/$arch/bin" "$arch"
done
echo "ZORVA_TEST_BUILD=$build/$ZORVA_TEST_ARCH"
