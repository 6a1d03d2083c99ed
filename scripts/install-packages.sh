#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; a no-op when all are present.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/arch.sh"

# mingw-w64 brings both cross compilers (i686 for the product, x86_64 for the
# test build of 64-bit-only machines); wine64 runs the latter.
need=(mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake ninja-build make pkg-config dpkg-dev
      wine wine64 xvfb 7zip nginx python3 bc googletest fonts-wqy-microhei xauth locales
      nsis binutils-mingw-w64-i686)

# Wine's 32-bit half only where 32-bit programs are to run (scripts/arch.sh).
zorva_detect_arch
missing=()
if [ "$ZORVA_MACHINE_RUNS_I386" = 1 ]; then
  need+=(wine32)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_updated=0
  fi
fi
for p in "${need[@]}"; do
  q=$p; [ "$p" = wine32 ] && q=wine32:i386
  dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q 'install ok installed' || missing+=("$q")
done

# deb-src entries so dependency sources come from Debian's own source packages.
src=/etc/apt/sources.list.d/zorva-deb-src.sources
if [ ! -f "$src" ]; then
  sed -n '/^Types:/,$p' /etc/apt/sources.list.d/debian.sources | sed 's/^Types: deb$/Types: deb-src/' > "$src"
  apt_updated=0
fi

if [ ${#missing[@]} -gt 0 ] || [ "${apt_updated:-1}" = 0 ]; then
  echo "== apt-get update"
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Host locales for the code pages the tests use: without them Wine still
# reports the code page, but cannot name files outside ASCII.
wanted_locales=(en_US.UTF-8 de_DE.UTF-8 ru_RU.UTF-8 zh_CN.UTF-8)
missing_locales=()
for l in "${wanted_locales[@]}"; do
  locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || missing_locales+=("$l")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
  echo "== generating locales: ${missing_locales[*]}"
  for l in "${missing_locales[@]}"; do
    grep -qx "$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" >> /etc/locale.gen
  done
  locale-gen >/dev/null
fi
