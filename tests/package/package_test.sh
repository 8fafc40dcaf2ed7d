#!/usr/bin/env bash
# The packages as a user and a broker get them: tests/package/package_test.sh [BUILD_DIR] (default build/dev).
#
# Builds the .deb and .tar.gz packages from BUILD_DIR with scripts/package.sh, for a broker whose configuration
# server is the demo server and whose update tree, published with the packaged orb-make-index, is served by nginx
# with the broker's guide's configuration. Then: lintian finds no errors; the menu entry and the metainfo validate;
# the archive holds the same tree as the .deb; both are unpacked into a scratch root, and the installed commands
# run from an unrelated directory for two users with their own homes (one with XDG folders of his own): each gets
# his own working folder and user file (mode 0600) and his own client installation; a new client settings file in
# the installation reaches a user without touching his user file; every program tells its version; the installed
# window starts offscreen, shows the icon as its logo in a picture and logs in by itself.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(cd "${1:-build/dev}" && pwd)"

work="$(mktemp -d)"
chmod 755 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() { # check DESCRIPTION COMMAND...
    local what="$1"
    shift
    if "$@"; then
        echo "ok    $what"
    else
        echo "FAIL  $what"
        failures=$((failures + 1))
    fi
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_port() {
    for _ in $(seq 100); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
        sleep 0.1
    done
    return 1
}
mode() { stat -c %a "$1"; }

echo "== nginx for the broker's update tree, with the guide's configuration"
nginx_port="$(free_port)"
mkdir -p "$work/nginx"
sed -e "s|^\( *\)listen 80; .*|\1listen 127.0.0.1:$nginx_port;|" -e "s|^\( *\)root /srv/orb-update; .*|\1root $work/server/update;|" \
    docs/nginx-update-server.conf >"$work/nginx/update-server.conf"
cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 64; }
http {
    access_log $work/nginx/access.log;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    include $work/nginx/update-server.conf;
}
CONF
# The tree is published below once the broker's package with its tool is installed.
mkdir -p "$work/server/update"
nginx -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" -g 'daemon off;' 2>"$work/nginx/stderr.log" &
pids+=($!)
wait_port "$nginx_port" || { cat "$work/nginx/error.log" "$work/nginx/stderr.log"; echo "nginx did not start"; exit 1; }

echo "== the demo server as the broker's configuration server"
mkfifo "$work/server.port"
python3 tools/demo_server/server.py --update-url "http://127.0.0.1:$nginx_port/" \
    --private-root "$work/server/private" >"$work/server.port" 2>"$work/server.log" &
pids+=($!)
read -r word port <"$work/server.port" || true
if [ "${word:-}" != PORT ]; then
    cat "$work/server.log"
    echo "the demo server did not start"
    exit 1
fi

echo "== the packages"
ORB_BUILD_DIR="$build" bash scripts/package.sh --server "127.0.0.1:$port" >"$work/package.log" 2>&1 || {
    cat "$work/package.log"
    exit 1
}
deb="$(ls "$build"/packages/orb-loader_*.deb)"
broker_deb="$(ls "$build"/packages/orb-loader-broker_*.deb)"
tgz="$(ls "$build"/packages/orb-loader-[0-9]*.tar.gz)"

check "lintian finds no errors" lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" "$broker_deb"
check "the .deb depends on the libraries it links (Qt, libcurl, libarchive)" \
    bash -c "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6 && dpkg-deb -f '$deb' Depends | grep -q libcurl4 && dpkg-deb -f '$deb' Depends | grep -q libarchive13"
listing() { sed -E 's|^\./||; s|/$||' | grep -v '^\.\?$' | sort; }
check "the .tar.gz holds the same tree as the .deb" \
    diff <(dpkg-deb --fsys-tarfile "$deb" | tar -t | listing) <(tar -tzf "$tgz" | listing)

root="$work/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$broker_deb" "$root"
install="$root/opt/orb-loader"

echo "== the broker publishes the client with the packaged orb-make-index"
bash tools/demo_server/publish_demo_tree.sh "$build/tools/orb-demo-client" "$root/usr/bin/orb-make-index" \
    "$work/server" >"$work/publish.log" 2>&1 || { cat "$work/publish.log"; echo "publishing failed"; exit 1; }
check "the published index is served" curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/index.xml"

check "the menu entry validates" desktop-file-validate "$root/usr/share/applications/org.orbloader.OrbLoader.desktop"
check "the metainfo validates" appstreamcli validate --no-net "$root/usr/share/metainfo/org.orbloader.OrbLoader.metainfo.xml"
for page in orb-loader orb-loader-cli orb-make-index; do
    check "the manual page of $page reads without warnings" \
        bash -c "test -z \"\$(MANWIDTH=80 man --warnings -l '$root/usr/share/man/man1/$page.1.gz' 2>&1 >/dev/null)\""
done
check "the icon the client file names is installed" test -s "$install/resource/orb-loader.ico"
for program in "$install/orb-loader" "$install/orb-loader-cli" "$root/usr/bin/orb-make-index" \
    "$root/usr/bin/orb-loader" "$root/usr/bin/orb-loader-cli"; do
    check "$(basename "$program") --version" bash -c "'$program' --version | grep -qx '$(basename "$program") [0-9.]*'"
done

echo "== two users, from an unrelated directory"
elsewhere="$work/elsewhere"
mkdir -p "$elsewhere" "$work/alice" "$work/bob"
as_alice() { env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$work/alice" "$@"; }
as_bob() { env HOME="$work/bob" XDG_CONFIG_HOME="$work/bob-config" XDG_DATA_HOME="$work/bob-data" "$@"; }
alice_work="$work/alice/.config/orb-loader"
bob_work="$work/bob-config/orb-loader"

(cd "$elsewhere" && echo secret-a | as_alice env ORB_DEMO_CLIENT_OUTPUT="$work/alice-client.txt" \
    timeout --kill-after=10 120 "$root/usr/bin/orb-loader-cli" --login alice --entry demo --password-stdin --save-password --yes) \
    >"$work/alice.log" 2>&1 || { cat "$work/alice.log"; echo "FAIL  alice's login"; failures=$((failures + 1)); }
(cd "$elsewhere" && echo secret-b | as_bob env ORB_DEMO_CLIENT_OUTPUT="$work/bob-client.txt" \
    timeout --kill-after=10 120 "$root/usr/bin/orb-loader-cli" --login bob --entry demo --password-stdin --yes) \
    >"$work/bob.log" 2>&1 || { cat "$work/bob.log"; echo "FAIL  bob's login"; failures=$((failures + 1)); }
# The client runs on its own; it writes what it received once it has started.
for _ in $(seq 100); do
    [ -f "$work/alice-client.txt" ] && [ -f "$work/bob-client.txt" ] && break
    sleep 0.1
done

for user in alice bob; do
    if [ "$user" = alice ]; then dir="$alice_work"; data="$work/alice/.local/share/orb-loader"; else dir="$bob_work"; data="$work/bob-data/orb-loader"; fi
    check "$user: own working folder, readable by him alone" test "$(mode "$dir")" = 700
    check "$user: own user file, mode 0600" test "$(mode "$dir/user_loader_settings.xml")" = 600
    check "$user: his login is remembered in his file" grep -q "last_login=\"$user\"" "$dir/user_loader_settings.xml"
    for name in main_loader_settings.xml client_loader_settings.xml resource; do
        check "$user: $name is the installation's" test "$(readlink "$dir/$name")" = "$(readlink -f "$install/$name")"
    done
    check "$user: no program is linked into his folder" test ! -e "$dir/orb-loader-cli"
    check "$user: his client installation in his data folder" bash -c "ls '$data'/APP#*/version.info >/dev/null"
    check "$user: the client was started in his working folder" grep -qx "cwd=$dir" "$work/$user-client.txt"
    check "$user: the client got the icon's name" grep -q "application_icon=resource/orb-loader.ico" "$work/$user-client.txt"
done
check "alice's file knows nothing of bob" bash -c "! grep -q bob '$alice_work/user_loader_settings.xml'"
check "bob's file knows nothing of alice" bash -c "! grep -q alice '$bob_work/user_loader_settings.xml'"
check "bob's XDG folders are used, not his home's" test ! -e "$work/bob/.config"
check "nothing was written where the commands were started" test -z "$(ls -A "$elsewhere")"
check "nothing was written into the installation" test ! -e "$install/user_loader_settings.xml"
check "the installations came from nginx" grep -q '"GET /bin/orb-demo-client.gz HTTP' "$work/nginx/access.log"
check "nginx has caches ask again for the index" \
    bash -c "curl -sfI 'http://127.0.0.1:$nginx_port/index.xml' | grep -qi '^Cache-Control: no-cache'"
check "nginx lets caches keep a published file" \
    bash -c "curl -sfI 'http://127.0.0.1:$nginx_port/version.info' | grep -qi '^Cache-Control: public, max-age=31536000, immutable'"

echo "== the user's configuration folder"
(cd "$elsewhere" && env -u XDG_DATA_HOME HOME="$work/carol" XDG_CONFIG_HOME=relative/config \
    "$root/usr/bin/orb-loader-cli" --list) >"$work/carol.log" 2>&1 || cat "$work/carol.log"
check "a relative XDG_CONFIG_HOME is ignored (the XDG rules): ~/.config is used" \
    test -f "$work/carol/.config/orb-loader/user_loader_settings.xml"
status=0
(cd "$elsewhere" && env -u HOME -u XDG_CONFIG_HOME "$root/usr/bin/orb-loader-cli" --list) >"$work/nohome.log" 2>&1 ||
    status=$?
check "without a home folder the command says so and fails" \
    bash -c "[ $status -eq 1 ] && grep -q 'neither XDG_CONFIG_HOME nor HOME is set' '$work/nohome.log'"

echo "== an upgrade brings a new client file"
before="$(sha256sum <"$alice_work/user_loader_settings.xml")"
sed -i 's|<item name="Demo account" value="demo"/>|&<item name="Upgraded account" value="upgraded"/>|' \
    "$install/client_loader_settings.xml"
(cd / && as_alice "$root/usr/bin/orb-loader-cli" --list) >"$work/alice-list.log" 2>&1 || cat "$work/alice-list.log"
check "alice sees the new account type" grep -q "Upgraded account (upgraded)" "$work/alice-list.log"
check "alice's user file is untouched" test "$(sha256sum <"$alice_work/user_loader_settings.xml")" = "$before"
# A link to something the installation no longer has goes; a file of the user's own stays.
ln -s "$install/setup_link" "$alice_work/setup_link"
echo mine >"$alice_work/notes.txt"
(cd / && as_alice "$root/usr/bin/orb-loader-cli" --list) >/dev/null 2>&1 || true
check "a link to a file the upgrade removed is gone" test ! -L "$alice_work/setup_link"
check "the user's own file stays" test -f "$alice_work/notes.txt"

echo "== the installed window, offscreen"
rm -f "$work/alice-client.txt"
status=0
(cd "$elsewhere" && as_alice env QT_QPA_PLATFORM=offscreen ORB_SCREENSHOT="$work/window.png" ORB_AUTOLOGIN=1 \
    ORB_DEMO_CLIENT_OUTPUT="$work/alice-client.txt" timeout --kill-after=10 180 "$root/usr/bin/orb-loader") \
    >"$work/window.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || cat "$work/window.log"
check "the window started, logged in and ended (status $status)" test "$status" -eq 0
check "the window's picture was saved" test -s "$work/window.png"
check "the login window's logo is the launcher's icon" python3 tests/package/logo_in_picture.py "$work/window.png"
for _ in $(seq 100); do [ -f "$work/alice-client.txt" ] && break; sleep 0.1; done
check "the window started the client" test -f "$work/alice-client.txt"

if [ -n "${ORB_PACKAGE_PICTURE:-}" ] && [ -f "$work/window.png" ]; then cp "$work/window.png" "$ORB_PACKAGE_PICTURE"; fi
if [ "$failures" -ne 0 ]; then
    echo "package test: $failures failed"
    exit 1
fi
echo "package test: passed"
