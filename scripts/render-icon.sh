#!/usr/bin/env bash
# Renders the launcher's icon from its drawing (packaging/icon/orb-loader.svg) into the files that are committed:
# the PNG sizes of the desktop's icon theme (packaging/icon/png/) and the multi-size resource/orb-loader.ico that
# the client settings file names as application_icon. Run it after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")/.."

svg=packaging/icon/orb-loader.svg
out=packaging/icon/png
sizes=(16 24 32 48 64 128 256)
mkdir -p "$out"
pngs=()
for n in "${sizes[@]}"; do
    rsvg-convert --width "$n" --height "$n" "$svg" --output "$out/orb-loader-$n.png"
    pngs+=("$out/orb-loader-$n.png")
done
# The 256 pixel picture is stored as PNG inside the icon file (the way large icons are kept); the smaller ones
# as bitmaps, which every reader of icon files understands.
icotool --create --output resource/orb-loader.ico "${pngs[@]:0:6}" --raw "$out/orb-loader-256.png"
icotool --list resource/orb-loader.ico
