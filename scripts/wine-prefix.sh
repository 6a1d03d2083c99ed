#!/usr/bin/env bash
# Creates one private Wine prefix of the test suite, once: wine-prefix.sh ROOT CONF
#   w32     32-bit Windows 10 (the i686 build's default configuration)
#   w32-xp  32-bit Windows XP
#   w32-7   32-bit Windows 7
#   w64     64-bit Windows 10: the x86_64 build's default configuration, and
#           where the i686 build runs under WOW64
#   w64-7   64-bit Windows 7
# The 32-bit ones need a machine that runs 32-bit code (scripts/arch.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$1 conf=$2
prefix=$root/$conf
[ -f "$prefix/.zorva-ready" ] && exit 0

case $conf in
  w32)    arch=win32 version=win10 ;;
  w32-xp) arch=win32 version=winxp ;;
  w32-7)  arch=win32 version=win7 ;;
  w64)    arch=win64 version=win10 ;;
  w64-7)  arch=win64 version=win7 ;;
  *) echo "wine-prefix.sh: unknown configuration '$conf'" >&2; exit 2 ;;
esac

export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
. "$here/wine-loader.sh"
loader=$(zorva_wine_loader "$conf")
zorva_wine_loader_env "$conf"
rm -rf "$prefix"
mkdir -p "$root"
"$loader" wineboot -i
"$loader" reg add 'HKCU\Software\Wine' /v Version /d $version /f >/dev/null
# Fixed proxy settings: automatic detection would send discovery lookups into a closed network.
"$loader" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null
# WinHTTP reads the connection blob only (Wine reports automatic detection without it):
# version 0x46, counter, flags 1 (direct, no detection), no proxy, bypass list or script.
"$loader" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' /v DefaultConnectionSettings \
  /t REG_BINARY /d 46000000010000000100000000000000000000000000000000000000000000000000000000000000000000000000000000000000 /f >/dev/null
wineserver -w
touch "$prefix/.zorva-ready"
