# Sourced by the benchmarks: builds what is missing and names, for the build
# the tests run on, its folder ($build), architecture ($arch), Wine prefix
# ($conf), curl.exe of the same triplet ($curl_exe), NSIS target
# ($nsis_target) and the route word a Windows 10 of that bitness gets ($route).
. "$repo/scripts/arch.sh"
zorva_detect_arch
"$repo/scripts/build.sh" >/dev/null
arch=$ZORVA_TEST_ARCH
build=$ZORVA_BUILD_DIR/$arch
conf=$(zorva_default_conf "$arch")
curl_exe=$(readlink -f "${ZORVA_DEPS_DIR:-/var/cache/zorva-deps}/current-$arch")/bin/curl.exe
[ -x "$curl_exe" ] || { echo "no curl.exe for $arch at $curl_exe" >&2; exit 1; }
case $arch in
  i686) nsis_target=x86-unicode route=download_silent ;;
  x86_64) nsis_target=amd64-unicode route=download_silent_64 ;;
esac
echo "benchmarking the $arch build: $ZORVA_ARCH_WHY" >&2
