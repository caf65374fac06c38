#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the ordinary build, then again with
# AddressSanitizer and UndefinedBehaviorSanitizer, then the logging tests with ThreadSanitizer, and
# last a minute of fuzzing of the signed-file reading and the certificate names.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev \
  faketime xvfb zenity xdotool imagemagick fonts-wqy-zenhei xauth clang libclang-rt-14-dev
jobs="$(nproc)"

echo "== build and test"
cmake --preset default >/dev/null
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
