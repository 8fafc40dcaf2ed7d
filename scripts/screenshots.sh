#!/usr/bin/env bash
# Renders the launcher's windows to PNG files under Xvfb: scripts/screenshots.sh [OUTPUT_DIR]
# (default build/screenshots). Builds the renderer with the dev preset in build/screenshots-dev.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/screenshots}"
build="$root/build/screenshots-dev"

"$root/scripts/setup.sh"
cmake --preset dev -B "$build" -S "$root" >/dev/null
cmake --build "$build" -j2 --target gui_screenshots

mkdir -p "$out"
out="$(cd "$out" && pwd)"
# The demo's client file names its icon relative to the working directory: resource/orb-loader.ico.
cd "$root"
# A real X server (not Qt's offscreen platform), so that the pictures show what a desktop shows.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/gui/gui_screenshots" "$out" "$root/resource" "$root/demo"
echo "screenshots: written to $out"
