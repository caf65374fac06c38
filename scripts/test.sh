#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the Windows builds with their tests under Wine,
# the ordinary build (with the Windows program end to end under Wine), then again with
# AddressSanitizer and UndefinedBehaviorSanitizer, then the logging tests with ThreadSanitizer, and
# last a minute of fuzzing of the signed-file reading and the certificate names.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev \
  faketime xvfb zenity xdotool imagemagick fonts-wqy-zenhei xauth clang libclang-rt-14-dev \
  googletest g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 osslsigncode
jobs="$(nproc)"
# The 32-bit Windows tests need the 32-bit Wine, which comes from the i386 architecture; without it
# they are left out.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok"; then
  { dpkg --add-architecture i386 && apt-get update -qq &&
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; } ||
    echo "wine32 could not be installed: the 32-bit Windows tests are left out"
fi

echo "== the Windows builds, and the Windows tests under Wine"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --parallel "$jobs"
ctest --preset windows-x64 --parallel "$jobs"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 --parallel "$jobs"
if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok"; then
  ctest --preset windows-x86 --parallel "$jobs"
fi

echo "== build and test"
cmake --preset default -DTIDYHAND_WINDOWS_BUILD_DIR="$PWD/build/windows-x64" >/dev/null
cmake --build --preset default --parallel "$jobs"
ctest --preset default --parallel "$jobs"

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan --parallel "$jobs"
ctest --preset asan --parallel "$jobs"

echo "== logging tests with ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --parallel "$jobs" --target logutils_tests logutils_process_tests log_writer
ctest --preset tsan --parallel "$jobs" --label-regex logutils

echo "== fuzzing the signed-file reading and the certificate names for 60 seconds"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --parallel "$jobs"
rm -rf build-fuzz/corpus
build-fuzz/bin/make_fuzz_seeds build-fuzz/corpus
build-fuzz/bin/signature_fuzzer -max_total_time=60 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  build-fuzz/corpus 2>&1 | tail -n 12
