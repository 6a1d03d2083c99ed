#!/usr/bin/env bash
# Builds the third-party libraries the installer links against (libcurl with
# Schannel + curl.exe, jsoncpp, the LZMA SDK 7z decoder, GoogleTest/GoogleMock)
# as static MinGW-w64 libraries, from Debian source packages only:
#   build-deps.sh [i686|x86_64]      (default i686, the product's architecture)
#
# Result: a cache prefix outside the tree, ${ZORVA_DEPS_DIR:-/var/cache/zorva-deps}/<arch>-<key>,
# where <key> hashes this script, the toolchain files and the package versions.
# The last line of stdout is `ZORVA_DEPS_PREFIX=<prefix>` (nothing else goes to
# stdout, so `eval "$(scripts/build-deps.sh)"` works); progress goes to stderr.
# ${ZORVA_DEPS_DIR}/current-<arch> is a symlink to the newest complete prefix.
#
# A prefix counts as complete only when it holds the stamp file, which is
# written after every build and the smoke check succeeded; the prefix is built
# under DESTDIR in a work dir and renamed into place, so a failed or interrupted
# run never leaves a trusted half-built cache. With the stamp present the script
# only hashes a few files and exits (no apt-get, no build).
set -euo pipefail

script=$(readlink -f "${BASH_SOURCE[0]}")
repo=$(cd "$(dirname "$script")/.." && pwd)
arch=${1:-i686}
case $arch in
  i686) deb_arch=i686 ;;
  x86_64) deb_arch=x86-64 ;;
  *) echo "build-deps: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
esac
toolchain=$repo/cmake/mingw-$arch.cmake
toolchain_common=$repo/cmake/mingw-common.cmake
deps_dir=$(realpath -m "${ZORVA_DEPS_DIR:-/var/cache/zorva-deps}")
jobs=${ZORVA_DEPS_JOBS:-2}

cross_cc=$arch-w64-mingw32-gcc-win32
cross_cxx=$arch-w64-mingw32-g++-win32
src_packages=(curl libjsoncpp 7zip)
# Binary packages whose version changes what we build (GoogleTest ships as source in a .deb).
bin_packages=(googletest "gcc-mingw-w64-$deb_arch-win32" "g++-mingw-w64-$deb_arch-win32" "mingw-w64-$deb_arch-dev")
stamp_name=.zorva-deps-complete

step=setup
work=
logfile=   # log of the running step, under $work/logs
steps=0

log() { echo "build-deps ($arch): $*" >&2; }

on_exit() {
  local rc=$?
  if [ "$rc" -ne 0 ]; then
    log "FAILED in step '$step' (exit $rc)"
    if [ -n "$logfile" ] && [ -s "$logfile" ]; then
      tail -n 40 "$logfile" | sed 's/^/  | /' >&2
      cat "$work"/logs/* >"$deps_dir/last-failure-$arch.log" 2>/dev/null &&
        log "log of all steps: $deps_dir/last-failure-$arch.log"
    fi
  fi
  if [ -n "$work" ]; then rm -rf "$work"; fi
}
trap on_exit EXIT

# run_step NAME FUNCTION [ARGS...]: runs FUNCTION with its output in a log of
# its own, so a successful run stays quiet and a failing one names the step
# and shows the end of that step's output.
run_step() {
  step=$1; shift
  steps=$((steps + 1))
  log "$step"
  logfile=$work/logs/$steps.log
  echo "=== $step" >"$logfile"
  "$@" >>"$logfile" 2>&1
}

ensure_tools() {
  local missing=0 t
  for t in "$cross_cc" "$cross_cxx" cmake ninja dpkg-source apt-get flock sha256sum; do
    command -v "$t" >/dev/null || missing=1
  done
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing=1
  if [ "$missing" = 1 ]; then
    log "build tools missing, running scripts/install-packages.sh"
    "$repo/scripts/install-packages.sh" >&2
  fi
}

# Highest version of a source package in the local apt lists (no network).
source_version() {
  local pkg=$1 best='' v
  for v in $(apt-cache showsrc --only-source "$pkg" 2>/dev/null | sed -n 's/^Version: //p'); do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
  done
  echo "$best"
}

all_versions_known() {
  local pkg
  for pkg in "${src_packages[@]}"; do [ -n "${src_version[$pkg]}" ] || return 1; done
}

resolve_versions() {
  local pkg
  declare -gA src_version=()
  for pkg in "${src_packages[@]}"; do
    src_version[$pkg]=$(source_version "$pkg")
  done
  # deb-src lists missing (fresh machine): let the project's installer add them, then retry.
  if ! all_versions_known; then
    log "source package lists incomplete, running scripts/install-packages.sh and apt-get update"
    "$repo/scripts/install-packages.sh" >&2
    apt-get update -qq >&2
    for pkg in "${src_packages[@]}"; do src_version[$pkg]=$(source_version "$pkg"); done
    all_versions_known || { log "Debian source packages not found: ${src_packages[*]}"; exit 1; }
  fi
}

compute_key() {
  local pkg
  {
    echo "arch $arch"
    sha256sum "$script" "$toolchain" "$toolchain_common" | cut -d' ' -f1
    for pkg in "${src_packages[@]}"; do echo "src $pkg ${src_version[$pkg]}"; done
    dpkg-query -W -f='bin ${Package} ${Version}\n' "${bin_packages[@]}"
  } | sha256sum | cut -c1-12
}

fetch_sources() {
  local pkg specs=()
  for pkg in "${src_packages[@]}"; do specs+=("$pkg=${src_version[$pkg]}"); done
  mkdir -p "$src"
  # apt downloads as the unprivileged _apt user; giving it the directory avoids
  # the "download is performed unsandboxed as root" warning.
  if id _apt >/dev/null 2>&1; then chown _apt "$src"; fi
  (cd "$src" && apt-get source -q --only-source "${specs[@]}") ||
    { echo "apt-get source failed (apt lists stale? try apt-get update)" >&2; return 1; }
  # Debian's curl tree carries 90_gnutls/99_nss patches; they only rename the
  # autotools library, the CMake build used here is unaffected.
}

# src_dir PKG: the unpacked tree of a source package (one per package).
src_dir() {
  local d
  d=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n1)
  [ -n "$d" ] || { echo "no unpacked source for $1" >&2; return 1; }
  echo "$d"
}

# cmake_install NAME SOURCE_DIR [CMAKE_ARGS...]: configure, build and install
# into the staging area with the final prefix baked in.
cmake_install() {
  local name=$1 srcdir=$2; shift 2
  local bdir=$work/build/$name
  cmake -S "$srcdir" -B "$bdir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DBUILD_SHARED_LIBS=OFF \
    "$@"
  cmake --build "$bdir" --parallel "$jobs"
  DESTDIR=$stage cmake --install "$bdir"
}

# MinGW ships winpthreads, so FindThreads would report -lpthread and curl would
# put it into libcurl's link interface (a libwinpthread-1.dll dependency for
# every consumer), although the Windows resolver threads use the Win32 API.
# Answering FindThreads' probes in advance leaves only CMAKE_USE_WIN32_THREADS_INIT.
no_pthread_probe=(-DCMAKE_HAVE_LIBC_PTHREAD=OFF -DCMAKE_HAVE_PTHREADS_CREATE=OFF
  -DCMAKE_HAVE_PTHREAD_CREATE=OFF -DTHREADS_HAVE_PTHREAD_ARG=OFF)

build_curl() {
  local off=() p
  # Everything but HTTP(S) and FILE off; HTTP_ONLY would also drop FILE.
  for p in DICT FTP GOPHER IMAP LDAP LDAPS MQTT POP3 RTSP SMB SMTP TELNET TFTP; do
    off+=("-DCURL_DISABLE_$p=ON")
  done
  local dir
  dir=$(src_dir curl)
  cmake_install curl "$dir" \
    -DBUILD_CURL_EXE=ON -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF \
    -DENABLE_THREADED_RESOLVER=ON -DENABLE_ARES=OFF \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF \
    -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DCURL_USE_GSSAPI=OFF \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
    "${no_pthread_probe[@]}" \
    -DCMAKE_EXE_LINKER_FLAGS="-static -s" \
    "${off[@]}"
}

build_jsoncpp() {
  local dir
  dir=$(src_dir libjsoncpp)
  cmake_install jsoncpp "$dir" \
    -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
    -DJSONCPP_WITH_EXAMPLE=OFF -DJSONCPP_WITH_CMAKE_PACKAGE=ON
}

# GoogleTest 1.12 treats every Windows target as thread-safe and its
# Notification class then needs std::mutex/std::condition_variable, which
# GCC 12's libstdc++ lacks in the win32 thread model (GoogleTest's own Mutex
# and ThreadLocal use Win32 and are fine). Its official injection point,
# gtest/internal/custom/gtest-port.h, lets us supply Notification instead:
# declared there, defined on a Win32 event at the end of gtest-port.cc. The
# header is installed, so consumers need no definition, and gtest keeps its
# thread safety and death tests. The patched copy lives in the work dir.
gtest_no_gthreads='defined(__MINGW32__) && defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)'

build_gtest() {
  local dir=$work/googletest-src
  cp -a /usr/src/googletest "$dir"
  cat >"$dir/googletest/include/gtest/internal/custom/gtest-port.h" <<EOF
// Injection point for custom user configurations (written by build-deps.sh).
#ifndef GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#define GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#if $gtest_no_gthreads
// MinGW win32 thread model: no std::mutex, so Notification sits on a Win32 event.
#define GTEST_HAS_NOTIFICATION_ 1
namespace testing {
namespace internal {
class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify();
  void WaitForNotification();

 private:
  void* event_;  // manual-reset event HANDLE
};
}  // namespace internal
}  // namespace testing
#endif
#endif  // GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
EOF
  cat >>"$dir/googletest/src/gtest-port.cc" <<EOF

// Added by build-deps.sh, see custom/gtest-port.h.
#if $gtest_no_gthreads
namespace testing {
namespace internal {
Notification::Notification() : event_(::CreateEvent(nullptr, TRUE, FALSE, nullptr)) {
  GTEST_CHECK_(event_ != nullptr);
}
Notification::~Notification() { ::CloseHandle(event_); }
void Notification::Notify() { GTEST_CHECK_(::SetEvent(event_) != FALSE); }
void Notification::WaitForNotification() {
  GTEST_CHECK_(::WaitForSingleObject(event_, INFINITE) == WAIT_OBJECT_0);
}
}  // namespace internal
}  // namespace testing
#endif
EOF
  cmake_install googletest "$dir" \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=ON
}

# The 7z reader of the LZMA SDK (7-Zip's C/ folder). The SDK has no CMake
# build of its own, so a small project is written here that builds `lzma7z`
# and exports lzma7z::lzma7z. Z7_PPMD_SUPPORT lets it also read PPMd-packed
# entries; it only affects 7zDec.c, so consumers need no definition.
lzma7z_sources=(7zAlloc.c 7zArcIn.c 7zBuf.c 7zCrc.c 7zCrcOpt.c 7zDec.c 7zFile.c
  7zStream.c Bcj2.c Bra.c Bra86.c BraIA64.c CpuArch.c Delta.c Lzma2Dec.c
  LzmaDec.c Ppmd7.c Ppmd7Dec.c)

build_lzma7z() {
  local sdk proj=$work/lzma7z-project f
  sdk=$(src_dir 7zip)/C
  for f in "${lzma7z_sources[@]}"; do
    [ -f "$sdk/$f" ] || { echo "LZMA SDK file missing: $f" >&2; return 1; }
  done
  mkdir -p "$proj"
  # Install exactly the headers the compiled files use, found by the compiler.
  local headers
  headers=$(cd "$sdk" && "$cross_cc" -MM -DZ7_PPMD_SUPPORT "${lzma7z_sources[@]}" |
    tr -s ' \134' '\n' | grep '\.h$' | sed "s|^|$sdk/|" | sort -u | paste -sd';')
  cat >"$proj/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(lzma7z C)
add_library(lzma7z STATIC ${LZMA7Z_SOURCES})
target_compile_definitions(lzma7z PRIVATE Z7_PPMD_SUPPORT)
target_include_directories(lzma7z PUBLIC
  $<BUILD_INTERFACE:${LZMA_SDK_DIR}> $<INSTALL_INTERFACE:include>)
install(TARGETS lzma7z EXPORT lzma7zTargets ARCHIVE DESTINATION lib)
install(FILES ${LZMA7Z_HEADERS} DESTINATION include/lzma-sdk)
install(EXPORT lzma7zTargets NAMESPACE lzma7z:: DESTINATION lib/cmake/lzma7z)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/lzma7zConfig.cmake
  "include(\"\${CMAKE_CURRENT_LIST_DIR}/lzma7zTargets.cmake\")\n")
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/lzma7zConfigVersion.cmake
  VERSION ${LZMA7Z_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lzma7zConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/lzma7zConfigVersion.cmake DESTINATION lib/cmake/lzma7z)
EOF
  local srcs='' version
  for f in "${lzma7z_sources[@]}"; do srcs+="$sdk/$f;"; done
  # "22.01+really26.02+dfsg-0+deb12u1" -> 26.02 (the SDK version actually shipped)
  version=$(sed -n 's/^#define MY_VERSION_NUMBERS "\([0-9.]*\)".*/\1/p' "$sdk/7zVersion.h")
  cmake_install lzma7z "$proj" \
    -DLZMA_SDK_DIR="$sdk" -DLZMA7Z_SOURCES="${srcs%;}" -DLZMA7Z_HEADERS="$headers" \
    -DLZMA7Z_VERSION="${version:-0}"
}

# Builds a throwaway consumer of every package from the staged prefix, so a
# broken CMake package or a missing link library fails here and not later.
smoke_test() {
  local dir=$work/smoke staged=$stage$prefix
  mkdir -p "$dir"
  cat >"$dir/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(deps_smoke C CXX)
find_package(CURL CONFIG REQUIRED)
find_package(jsoncpp CONFIG REQUIRED)
find_package(lzma7z CONFIG REQUIRED)
find_package(GTest CONFIG REQUIRED)
add_executable(smoke_lzma7z lzma7z.c)
target_link_libraries(smoke_lzma7z PRIVATE lzma7z::lzma7z)
add_executable(smoke_libs libs.cpp)
target_link_libraries(smoke_libs PRIVATE CURL::libcurl JsonCpp::JsonCpp)
add_executable(smoke_gtest gtest.cpp)
target_link_libraries(smoke_gtest PRIVATE GTest::gmock GTest::gtest_main)
EOF
  # Opens a 7z archive held in memory (path given on the command line) and
  # lists it; without an argument it only exercises the init calls.
  cat >"$dir/lzma7z.c" <<'EOF'
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <lzma-sdk/7z.h>
#include <lzma-sdk/7zAlloc.h>
#include <lzma-sdk/7zCrc.h>

typedef struct { ISeekInStream vt; const Byte *data; size_t size, pos; } MemStream;

static SRes mem_read(ISeekInStreamPtr pp, void *buf, size_t *size) {
  MemStream *p = Z7_CONTAINER_FROM_VTBL(pp, MemStream, vt);
  size_t n = p->size - p->pos < *size ? p->size - p->pos : *size;
  memcpy(buf, p->data + p->pos, n);
  p->pos += n;
  *size = n;
  return SZ_OK;
}

static SRes mem_seek(ISeekInStreamPtr pp, Int64 *pos, ESzSeek origin) {
  MemStream *p = Z7_CONTAINER_FROM_VTBL(pp, MemStream, vt);
  Int64 base = origin == SZ_SEEK_SET ? 0 : origin == SZ_SEEK_CUR ? (Int64)p->pos : (Int64)p->size;
  if (base + *pos < 0 || base + *pos > (Int64)p->size) return SZ_ERROR_PARAM;
  p->pos = (size_t)(base + *pos);
  *pos = (Int64)p->pos;
  return SZ_OK;
}

int main(int argc, char **argv) {
  static const ISzAlloc alloc = { SzAlloc, SzFree };
  CSzArEx db;
  CrcGenerateTable();
  SzArEx_Init(&db);
  if (argc > 1) {
    FILE *f = fopen(argv[1], "rb");
    MemStream mem = { { mem_read, mem_seek }, NULL, 0, 0 };
    CLookToRead2 look;
    UInt32 block = 0xFFFFFFFF, i;
    Byte *out = NULL;
    size_t out_size = 0;
    long n;
    if (!f) return 2;
    fseek(f, 0, SEEK_END); n = ftell(f); fseek(f, 0, SEEK_SET);
    mem.data = malloc((size_t)n); mem.size = fread((Byte *)mem.data, 1, (size_t)n, f); fclose(f);
    LookToRead2_CreateVTable(&look, False);
    look.buf = malloc(1 << 16); look.bufSize = 1 << 16; look.realStream = &mem.vt;
    LookToRead2_INIT(&look)
    if (SzArEx_Open(&db, &look.vt, &alloc, &alloc) != SZ_OK) return 3;
    for (i = 0; i < db.NumFiles; i++) {
      size_t offset = 0, size = 0;
      if (SzArEx_IsDir(&db, i)) continue;
      if (SzArEx_Extract(&db, &look.vt, i, &block, &out, &out_size, &offset, &size, &alloc, &alloc) != SZ_OK) return 4;
      printf("entry %u: %u bytes, first byte %d\n", (unsigned)i, (unsigned)size, size ? out[offset] : -1);
    }
    ISzAlloc_Free(&alloc, out);
  }
  SzArEx_Free(&db, &alloc);
  puts("lzma7z ok");
  return 0;
}
EOF
  cat >"$dir/libs.cpp" <<'EOF'
#include <curl/curl.h>
#include <json/json.h>
#include <cstdio>
int main() {
#ifndef CURL_STATICLIB
#error "CURL::libcurl must define CURL_STATICLIB"
#endif
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const curl_version_info_data *v = curl_version_info(CURLVERSION_NOW);
  Json::Value root;
  root["curl"] = v->version;
  root["ssl"] = v->ssl_version ? v->ssl_version : "none";
  std::printf("%s\n", Json::FastWriter().write(root).c_str());
  curl_global_cleanup();
  return 0;
}
EOF
  cat >"$dir/gtest.cpp" <<'EOF'
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#if !GTEST_IS_THREADSAFE
#error "GoogleTest lost its thread safety (custom/gtest-port.h not in effect?)"
#endif
TEST(Smoke, Matchers) { EXPECT_THAT(42, ::testing::Gt(1)); }
EOF
  cmake -S "$dir" -B "$dir/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DZORVA_DEPS_PREFIX="$staged" -DCMAKE_PREFIX_PATH="$staged" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$dir/build" --parallel "$jobs"
}

# Stamp, rename the staged prefix into place and repoint `current`.
publish() {
  local staged=$stage$prefix
  [ -x "$staged/bin/curl.exe" ] || { echo "curl.exe was not installed" >&2; return 1; }
  {
    echo "key $key"
    for pkg in "${src_packages[@]}"; do echo "src $pkg ${src_version[$pkg]}"; done
    dpkg-query -W -f='bin ${Package} ${Version}\n' "${bin_packages[@]}"
    echo "built $(date -u +%Y-%m-%dT%H:%M:%SZ)"
  } >"$staged/$stamp_name"
  rm -rf "$prefix"   # an unstamped leftover of an older failed attempt
  mv -T "$staged" "$prefix"
  ln -sfn "$(basename "$prefix")" "$deps_dir/current-$arch.tmp"
  mv -T "$deps_dir/current-$arch.tmp" "$deps_dir/current-$arch"
  rm -f "$deps_dir/last-failure-$arch.log"
}

main() {
  ensure_tools
  resolve_versions
  key=$(compute_key)
  prefix=$deps_dir/$arch-$key

  if [ ! -f "$prefix/$stamp_name" ]; then
    mkdir -p "$deps_dir"
    # One builder at a time per cache dir; a waiting run reuses the winner's result.
    exec 9>"$deps_dir/.lock-$arch"
    flock 9
    if [ ! -f "$prefix/$stamp_name" ]; then
      local start=$SECONDS
      # Holding the lock, any other work dir is a leftover of a killed run.
      rm -rf "$deps_dir"/.work-"$arch"-*
      work=$(mktemp -d "$deps_dir/.work-$arch-$key.XXXXXX")
      chmod 755 "$work"   # lets the _apt user reach the source dir below
      src=$work/src
      stage=$work/stage
      mkdir "$work/logs"
      log "building into $prefix (log of a failure: $deps_dir/last-failure-$arch.log)"
      run_step "fetch Debian sources (${src_packages[*]})" fetch_sources
      run_step "build libcurl + curl.exe" build_curl
      run_step "build jsoncpp" build_jsoncpp
      run_step "build lzma7z (LZMA SDK)" build_lzma7z
      run_step "build googletest" build_gtest
      run_step "smoke-test the CMake packages" smoke_test
      run_step "publish prefix" publish
      log "done in $((SECONDS - start)) s"
    fi
    exec 9>&-
  fi
  step=finished
  echo "ZORVA_DEPS_PREFIX=$prefix"
}

main "$@"
