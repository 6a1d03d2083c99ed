#!/usr/bin/env bash
# Creates one private Wine prefix of the test suite, once: wine-prefix.sh ROOT CONF
#   w32     32-bit Windows 10 (the default configuration)
#   w32-xp  32-bit Windows XP
#   w32-7   32-bit Windows 7
#   w64     64-bit Windows 10, where the 32-bit programs run under WOW64
set -euo pipefail
root=$1 conf=$2
prefix=$root/$conf
[ -f "$prefix/.zorva-ready" ] && exit 0

case $conf in
  w32)    arch=win32 version=win10 ;;
  w32-xp) arch=win32 version=winxp ;;
  w32-7)  arch=win32 version=win7 ;;
  w64)    arch=win64 version=win10 ;;
  *) echo "wine-prefix.sh: unknown configuration '$conf'" >&2; exit 2 ;;
esac

export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
loader=wine
[ $arch = win64 ] && loader=/usr/lib/wine/wine64 && export WINELOADER=$loader
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
