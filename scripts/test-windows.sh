#!/usr/bin/env bash
# The Windows build of the core layers (base, platform, xml, localisation): cross-compiled with mingw-w64 (the
# mingw preset, build/mingw), its test executables run under wine64 in a throw-away wine prefix.
#
#   scripts/test-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# Debian keeps wine64 in /usr/lib/wine unless the "wine" package puts it on the path.
WINE64="$(command -v wine64 || true)"
if [ -z "$WINE64" ] && [ -x /usr/lib/wine/wine64 ]; then WINE64=/usr/lib/wine/wine64; fi
if [ -z "$WINE64" ]; then
    echo "test-windows: wine64 is not installed" >&2
    exit 1
fi
WINESERVER="$(dirname "$WINE64")/wineserver"
[ -x "$WINESERVER" ] || WINESERVER="$(command -v wineserver || true)"

work="$(mktemp -d)"
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
# No prompts to install wine's .NET and HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="
# A zone with summer time, so that the file-time tests see both of its offsets.
export TZ=Europe/Berlin
cleanup() {
    if [ -n "$WINESERVER" ]; then "$WINESERVER" -k >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

echo "== Windows: configure and build (mingw)"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

echo "== Windows: wine prefix"
"$WINE64" wineboot --init >/dev/null 2>&1

echo "== Windows: tests under wine64"
ctest --preset mingw --no-tests=error
