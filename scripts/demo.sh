#!/usr/bin/env bash
# Runs the launcher's main job on this machine: installs what is missing, builds, starts the demo server on a
# free loopback port, prepares a working directory from demo/, and opens the login window; a login from it
# downloads the demo client into a fresh installation and starts it. Stops the server at the end.
#
#   scripts/demo.sh                        the login window on the desktop's display (DISPLAY or WAYLAND_DISPLAY);
#                                          with no display, under Xvfb: a picture of the login window is saved and
#                                          the window logs in by itself; options other than --cli are
#                                          ignored with a note (everything is chosen in the window)
#   scripts/demo.sh --cli [options]        the console front end instead (also ORB_DEMO_CLI=1), with its options,
#                                          e.g. --entry private, --preview, --offline, --list
#
# ORB_PRESET (default dev) picks the build, ORB_BUILD_DIR an already configured build directory instead; ORB_DEMO_DIR keeps the working directory (default: a temporary one).
# ORB_DEMO_SCREENSHOT is where the picture goes without a display (default build/demo-login-window.png).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

cli="${ORB_DEMO_CLI:-0}"
args=()
for a in "$@"; do
    if [ "$a" = "--cli" ]; then cli=1; else args+=("$a"); fi
done
set -- "${args[@]+"${args[@]}"}"
if [ "$cli" != 1 ] && [ $# -gt 0 ]; then
    # The window reads no command line (everything is chosen in it); the options are the console front end's.
    echo "note: the login window takes no options, ignoring: $*  (use --cli for the console front end's options)" >&2
    set --
fi

PRESET="${ORB_PRESET:-dev}"
bash scripts/setup.sh

if [ -n "${ORB_BUILD_DIR:-}" ]; then
    # An already configured build directory of one's own.
    bin="$(cd "$ORB_BUILD_DIR" && pwd)"
    echo "== build ($bin)"
    cmake --build "$bin" --target orb-loader-cli orb-loader orb-demo-client orb-make-index
else
    echo "== build ($PRESET)"
    cmake --preset "$PRESET" >/dev/null
    cmake --build --preset "$PRESET" --target orb-loader-cli orb-loader orb-demo-client orb-make-index
    bin="$root/build/$PRESET"
fi

work="${ORB_DEMO_DIR:-$(mktemp -d)}"
mkdir -p "$work"
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    [ -n "${ORB_DEMO_DIR:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

echo "== make the demo broker's signing key"
# The launcher of the demo lists its public key, so it installs only what this key signed (README: Signed updates).
rm -f "$work/demo-update-key.pem"
update_keys="$("$bin/tools/orb-make-index" --keygen "$work/demo-update-key.pem")"

echo "== publish the demo update tree, signed"
bash tools/demo_server/publish_demo_tree.sh "$bin/tools/orb-demo-client" "$bin/tools/orb-make-index" "$work/server" \
    "" "$work/demo-update-key.pem"

echo "== start the demo server"
rm -f "$work/server.port"
mkfifo "$work/server.port"
python3 tools/demo_server/server.py --update-root "$work/server/update" --private-root "$work/server/private" \
    >"$work/server.port" 2>"$work/server.log" &
server_pid=$!
read -r word port <"$work/server.port" || true
if [ "${word:-}" != "PORT" ]; then
    echo "The demo server did not start:" >&2
    cat "$work/server.log" >&2
    exit 1
fi
echo "demo server on http://127.0.0.1:$port"

echo "== prepare the working directory $work/launcher"
mkdir -p "$work/launcher"
for f in main_loader_settings.xml client_loader_settings.xml user_loader_settings.xml; do
    sed "s/DEMO_SERVER/127.0.0.1:$port/g" "demo/$f" >"$work/launcher/$f"
done
# The demo key's update_keys element goes in as the last child of the main file's root.
main="$work/launcher/main_loader_settings.xml"
{
    grep -v '</main_loader_settings>' "$main"
    printf '%s\n' "$update_keys"
    echo '</main_loader_settings>'
} >"$main.new"
mv "$main.new" "$main"
cp -r resource "$work/launcher/resource"
# Installations go below the working directory, not into the user's own application-data folder.
export XDG_DATA_HOME="$work/appdata"

if [ "$cli" != 1 ]; then
    status=0
    if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
        echo "== orb-loader (on the desktop's display)"
        (cd "$work/launcher" && "$bin/app/orb-loader") || status=$?
    else
        shot="${ORB_DEMO_SCREENSHOT:-$root/build/demo-login-window.png}"
        mkdir -p "$(dirname "$shot")"
        echo "== orb-loader (no display: under Xvfb, logging in by itself)"
        # xvfb-run ends its X server with the launcher; the time limit ends a window left waiting for a person.
        (cd "$work/launcher" && ORB_SCREENSHOT="$shot" ORB_AUTOLOGIN=1 QT_QPA_PLATFORM=xcb \
            timeout --kill-after=10 300 xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/app/orb-loader") || status=$?
        if [ -f "$shot" ]; then echo "login window picture: $shot"; fi
    fi
    # The client runs on its own; give it a moment to print its parameters before the server goes.
    sleep 1
    echo "== orb-loader exited with $status"
    exit "$status"
fi

echo "== orb-loader-cli $*"
answer=(--yes)
for a in "$@"; do
    if [ "$a" = "--yes" ] || [ "$a" = "--no" ]; then answer=(); fi
done
status=0
(cd "$work/launcher" && "$bin/app/orb-loader-cli" "${answer[@]}" "$@") || status=$?
# The client runs on its own; give it a moment to print its parameters before the server goes.
sleep 1
echo "== orb-loader-cli exited with $status"
exit "$status"
