# Which Windows architecture this machine tests, sourced by the set-up scripts:
#   . scripts/arch.sh; zorva_detect_arch
# sets ZORVA_TEST_ARCH (i686 or x86_64), ZORVA_ARCH_WHY (one line saying why)
# and ZORVA_MACHINE_RUNS_I386 (1 where 32-bit programs are to run: natively,
# or through an emulator when ZORVA_ARCH=i686 asks for it).
# The product is always the i686 build; it is also the test build wherever
# 32-bit code runs. Some hosts execute 64-bit user code only: no i386 ELF
# starts there, Wine's 32-bit loader included, so the suite tests the x86_64
# build in 64-bit prefixes instead. ZORVA_ARCH=i686|x86_64 forces a choice.

# True when this machine starts a 32-bit ELF: a 93-byte static i386 program
# that only calls exit(0), written where programs may run (not a noexec /tmp).
zorva_runs_i386() {
  local dir=${ZORVA_BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}
  local probe rc
  mkdir -p "$dir"
  probe=$(mktemp "$dir/.i386-probe.XXXXXX")
  # ELF header (52 bytes), one PT_LOAD program header (32 bytes) mapping the
  # file at 0x08048000, then: xor ebx,ebx; mov eax,1; int 0x80.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'`
    `'\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'`
    `'\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'`
    `'\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'`
    `'\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'`
    `'\061\333\270\001\000\000\000\315\200' >"$probe"
  chmod 755 "$probe"
  rc=0
  "$probe" </dev/null >/dev/null 2>&1 || rc=$?
  rm -f "$probe"
  [ "$rc" = 0 ] && return 0
  # Make sure it was the architecture, not a folder where nothing may run.
  cp /bin/true "$probe" && chmod 755 "$probe"
  if ! "$probe"; then
    rm -f "$probe"
    echo "arch.sh: no program starts from $dir (mounted noexec?); cannot tell whether 32-bit code runs" >&2
    exit 1
  fi
  rm -f "$probe"
  return 1
}

# The binfmt_misc entry through which an i386 ELF would start emulated
# (qemu-user), or nothing: such a start is real, but far too slow for the suite.
zorva_i386_emulator() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    grep -qx enabled "$entry" 2>/dev/null || continue
    # The magic of a 32-bit little-endian ELF for machine 3 (i386).
    if grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null ||
      grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null; then
      basename "$entry"
      return 0
    fi
  done
  return 1
}

zorva_detect_arch() {
  if [ -n "${ZORVA_TEST_ARCH:-}" ] && [ -n "${ZORVA_ARCH_WHY:-}" ]; then
    return 0 # a calling script found out already
  fi
  local runs=0 emulator=
  zorva_runs_i386 && runs=1
  if [ $runs = 1 ] && emulator=$(zorva_i386_emulator); then
    runs=0
  fi
  case ${ZORVA_ARCH:-} in
    '')
      if [ -n "$emulator" ]; then
        ZORVA_TEST_ARCH=x86_64
        ZORVA_ARCH_WHY="32-bit code starts here only through the emulator of binfmt_misc entry '$emulator', far too slow for the suite, so the x86_64 build is tested under 64-bit Wine (ZORVA_ARCH=i686 forces the i686 build)"
      elif [ $runs = 1 ]; then
        ZORVA_TEST_ARCH=i686
        ZORVA_ARCH_WHY="this machine runs 32-bit code (an i386 ELF starts), so the product's own build is tested"
      else
        ZORVA_TEST_ARCH=x86_64
        ZORVA_ARCH_WHY="this machine runs 64-bit user code only (an i386 ELF does not start), so the x86_64 build is tested under 64-bit Wine"
      fi
      ;;
    i686)
      if [ $runs = 0 ] && [ -z "$emulator" ]; then
        echo "ZORVA_ARCH=i686, but this machine runs 64-bit user code only (an i386 ELF does not start); use x86_64 or leave ZORVA_ARCH unset" >&2
        return 1
      fi
      ZORVA_TEST_ARCH=i686
      ZORVA_ARCH_WHY="ZORVA_ARCH=i686 asks for it${emulator:+; 32-bit code runs through the emulator of binfmt_misc entry '$emulator' (slow)}"
      runs=1 # forced: Wine's 32-bit half is needed, emulated or not
      ;;
    x86_64)
      ZORVA_TEST_ARCH=x86_64
      ZORVA_ARCH_WHY="ZORVA_ARCH=x86_64 asks for it"
      ;;
    *)
      echo "ZORVA_ARCH must be i686 or x86_64, not '$ZORVA_ARCH'" >&2
      return 1
      ;;
  esac
  ZORVA_MACHINE_RUNS_I386=$runs
  export ZORVA_TEST_ARCH ZORVA_ARCH_WHY ZORVA_MACHINE_RUNS_I386
}

# The Wine prefix a program of the tested build runs in by default.
zorva_default_conf() {
  case $1 in
    i686) echo w32 ;;
    x86_64) echo w64 ;;
  esac
}
