#!/usr/bin/env bash
# Publishes the demo update trees with orb-make-index.
#
#   publish_demo_tree.sh CLIENT MAKE_INDEX OUT [VERSION [KEY]]
#
# CLIENT is the built orb-demo-client, MAKE_INDEX the built orb-make-index; with KEY (an Ed25519 private key made by
# orb-make-index --keygen) both indexes are signed, with index.xml.sig beside each. Writes:
#   OUT/update/         version.info, bin/orb-demo-client (served gzipped), bin/settings.ini (gzipped),
#                       extras.7z (unpacked by the launcher into a new installation) and index.xml
#   OUT/private/vip/    a private tree (config/private.ini) with its own index.xml
# Running it again with another VERSION publishes a new version over the old one.
set -euo pipefail

client="$1"
make_index="$2"
out="$3"
version="${4:-4.7.0-15}"
key="${5:-}"
sign=()
if [ -n "$key" ]; then sign=(--sign "$key"); fi

update="$out/update"
mkdir -p "$update/bin" "$out/private/vip/config"

printf '%s\r\n' "$version" > "$update/version.info"
# -p keeps the time stamp, so an unchanged client is not published as a change.
cp -p "$client" "$update/bin/orb-demo-client"
printf '[client]\r\ntheme=dark\r\nversion=%s\r\n' "$version" > "$update/bin/settings.ini"

# Files that only the archive brings; a new installation has them unpacked.
staging="$(mktemp -d)"
trap 'rm -rf "$staging"' EXIT
mkdir -p "$staging/docs" "$staging/data"
printf 'orb demo client manual\n' > "$staging/docs/manual.txt"
printf 'symbol,price\nORB,1.00\n' > "$staging/data/prices.csv"
archive="$(cd "$update" && pwd)/extras.7z"
rm -f "$archive"
(cd "$staging" && 7zz a -t7z -bd "$archive" docs data >/dev/null)

"$make_index" "${sign[@]+"${sign[@]}"}" --gzip orb-demo-client --gzip settings.ini "$update" >/dev/null

printf '[private]\r\nfeed=vip\r\n' > "$out/private/vip/config/private.ini"
"$make_index" "${sign[@]+"${sign[@]}"}" "$out/private/vip" >/dev/null

# Served by nginx in tests, whose workers may run as another user.
chmod -R a+rX "$out"
