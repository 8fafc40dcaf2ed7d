#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and the demo need.
# Non-interactive and idempotent: packages already present are left alone.
set -euo pipefail

PACKAGES=(
    # build
    build-essential cmake ninja-build pkg-config git
    libcurl4-openssl-dev libssl-dev zlib1g-dev libarchive-dev nlohmann-json3-dev
    libboost-stacktrace-dev libexpat1-dev
    # the system's proxy settings; PAC files need libproxy's JavaScript runner, a plugin of its own
    libproxy-dev libproxy1-plugin-webkit
    # the saved password in the system keyring (Secret Service); QtKeychain loads libsecret at run time
    qtkeychain-qt6-dev libsecret-1-0
    # tests, benchmarks, fuzzing
    libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
    clang libclang-rt-14-dev clang-format clang-tidy
    7zip nginx tinyproxy openssl python3 curl ca-certificates
    # a private session bus with a Secret Service for the keyring tests; secret-tool reads entries back
    dbus-daemon dbus-bin gnome-keyring libsecret-tools
    # windows and their offscreen tests, screenshots under Xvfb
    qt6-base-dev qt6-base-dev-tools libxkbcommon-dev fonts-dejavu-core fonts-wqy-microhei xvfb xauth
    # the embedded browser (the login window's strip, the web window of the registration pages)
    qt6-webengine-dev
    # packages (.deb and .tar.gz), their checks, the icon's renders and the manual pages
    dpkg-dev file lintian desktop-file-utils appstream scdoc librsvg2-bin icoutils
    # the Windows build of the core layers and its tests under wine (scripts/test-windows.sh)
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine64
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    echo "setup: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
