#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the Windows builds, the ordinary build (with the
# Windows program end to end under Wine), then again with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the logging tests with ThreadSanitizer, the Windows tests under
# Wine, and last a minute of fuzzing of the signed-file reading and the certificate names. Every
# suite runs even when one before it failed; the script fails when any did. What this machine
# cannot run is probed, never assumed, and left out with one line that says so.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev \
  faketime xvfb zenity xdotool imagemagick fonts-wqy-zenhei xauth clang libclang-rt-14-dev \
  googletest g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 osslsigncode lintian
jobs="$(nproc)"
failed=()

# Runs the named suite (the rest of the arguments, one command); a failure is noted, not fatal.
suite() {
  local name="$1"
  shift
  echo "== $name"
  "$@" || { echo "!! $name failed"; failed+=("$name"); }
}

# Whether this machine executes 32-bit x86 programs: a 93-byte static program that exits with 42.
# An installed package says nothing about it; only running something does.
can_run_32bit() {
  local probe
  probe="$(mktemp "$PWD/.probe32.XXXXXX")"
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xb3\x2a\xcd\x80' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# Wine answers at all: the 64-bit loader, and for x86 the 32-bit one.
wine_runs() { "$1" --version >/dev/null 2>&1; }

windows_x64=no
if wine_runs /usr/lib/wine/wine64; then
  windows_x64=yes
else
  echo "-- the 64-bit Wine does not run here: the Windows tests are left out"
fi
windows_x86=no
if ! can_run_32bit; then
  echo "-- this machine cannot execute 32-bit programs: the 32-bit Windows tests are left out"
else
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
    { dpkg --add-architecture i386 && apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; } ||
      true
  fi
  if wine_runs /usr/lib/wine/wine; then
    windows_x86=yes
  else
    echo "-- the 32-bit Wine could not be installed or does not run: the 32-bit Windows tests are left out"
  fi
fi

# Every build and every test run uses the machine's cores.
export CMAKE_BUILD_PARALLEL_LEVEL="$jobs" CTEST_PARALLEL_LEVEL="$jobs"

build_windows() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
fuzz() {
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz &&
    rm -rf build-fuzz/corpus && build-fuzz/bin/make_fuzz_seeds build-fuzz/corpus &&
    build-fuzz/bin/signature_fuzzer -max_total_time=60 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      build-fuzz/corpus > build-fuzz/fuzz.log 2>&1
  local status=$?
  tail -n 12 build-fuzz/fuzz.log 2>/dev/null || true
  return $status
}

# The Windows builds come first: the ordinary build tests them under Wine, and finds them by their
# preset folders (build-windows-x64, build-windows-x86).
# A build of a kind this machine cannot run would only be tests that fail: none is left from before.
[ "$windows_x64" = yes ] || rm -rf build-windows-x64
[ "$windows_x86" = yes ] || rm -rf build-windows-x86
[ "$windows_x64" = yes ] && suite "the Windows x64 build" build_windows windows-x64
[ "$windows_x86" = yes ] && suite "the Windows x86 build" build_windows windows-x86
suite "build and test" cmake --workflow --preset default
suite "build and test with AddressSanitizer and UndefinedBehaviorSanitizer" cmake --workflow --preset asan
suite "logging tests with ThreadSanitizer" cmake --workflow --preset tsan
[ "$windows_x64" = yes ] && suite "the Windows x64 tests under Wine" ctest --preset windows-x64
[ "$windows_x86" = yes ] && suite "the Windows x86 tests under Wine" ctest --preset windows-x86
suite "fuzzing the signed-file reading and the certificate names for 60 seconds" fuzz

if [ ${#failed[@]} -ne 0 ]; then
  printf '!! failed: %s\n' "${failed[@]}"
  exit 1
fi
echo "== every suite passed"
