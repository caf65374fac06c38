#!/usr/bin/env bash
# Builds tidyhand with its companions and runs it with the arguments given, e.g.
#   ./scripts/run.sh --optimize --clean
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
# zenity draws the question box on the desktop.
install_missing "${BUILD_PACKAGES[@]}" zenity
cmake --preset default >/dev/null
cmake --build --preset default --parallel "$(nproc)" >/dev/null
exec build/bin/tidyhand "$@"
