#!/usr/bin/env bash
# Builds the packages a broker hands to its users: scripts/package.sh [--settings DIR] [--server HOST:PORT]
#
#   orb-loader_<version>_<arch>.deb          the launcher (/opt/orb-loader, the orb-loader and orb-loader-cli
#                                            commands, the menu entry, the icon, the manual pages)
#   orb-loader-broker_<version>_<arch>.deb   orb-make-index, for publishing update trees
#   and a .tar.gz of each with the same tree, in <build>/packages/.
#
# --settings DIR   the broker's distribution: main_loader_settings.xml, client_loader_settings.xml and whatever
#                  belongs beside them (setup_link, a certificate file, a resource/ folder laid over the launcher's);
#                  default demo/, the demo installation
# --server H:P     replaces DEMO_SERVER in those files (default 127.0.0.1:8080, where
#                  "python3 tools/demo_server/server.py --port 8080 ..." answers)
#
# ORB_PRESET (default release) picks the build, ORB_BUILD_DIR an already configured build directory instead.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

settings="$root/demo"
server="127.0.0.1:8080"
while [ $# -gt 0 ]; do
    case "$1" in
    --settings) settings="$(cd "${2:?--settings needs a folder}" && pwd)"; shift 2 ;;
    --server) server="${2:?--server needs HOST:PORT}"; shift 2 ;;
    -h | --help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done
for f in main_loader_settings.xml client_loader_settings.xml; do
    if [ ! -f "$settings/$f" ]; then
        echo "package.sh: $settings has no $f" >&2
        exit 2
    fi
done

bash scripts/setup.sh

if [ -n "${ORB_BUILD_DIR:-}" ]; then
    build="$(cd "$ORB_BUILD_DIR" && pwd)"
    cmake "$build" >/dev/null
else
    preset="${ORB_PRESET:-release}"
    cmake --preset "$preset" >/dev/null
    build="$root/build/$preset"
fi
echo "== build ($build)"
cmake --build "$build" --target orb-loader orb-loader-cli orb-make-index orb-man-pages orb-changelog-launcher \
    orb-changelog-broker

echo "== the distribution from $settings"
dist="$(sed -n 's/^ORB_DISTRIBUTION_DIR:PATH=//p' "$build/CMakeCache.txt")"
rm -rf "$dist"
mkdir -p "$dist"
# Copies without the user's own file: every user gets his own, made by the launcher.
(cd "$settings" && find . -mindepth 1 -maxdepth 1 ! -name user_loader_settings.xml -exec cp -R {} "$dist/" \;)
for f in "$dist"/*.xml; do
    sed -i "s/DEMO_SERVER/$server/g" "$f"
done
chmod -R u=rwX,go=rX "$dist"

echo "== packages"
rm -rf "$build/packages"
(cd "$build" && cpack -G "DEB;TGZ" >"$build/cpack.log" 2>&1) || {
    cat "$build/cpack.log" >&2
    echo "package.sh: cpack failed" >&2
    exit 1
}
ls -1 "$build/packages/"*.deb "$build/packages/"*.tar.gz
