#!/usr/bin/env bash
# Runs a Windows program under Wine, in the Wine prefix named by $WINEPREFIX, else in a throwaway
# prefix of the build's own (build/wine-prefix), quietly.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$here/build/wine-prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine="$(command -v wine64 || command -v wine)"
exec "$wine" "$@"
