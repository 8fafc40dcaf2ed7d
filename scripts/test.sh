#!/usr/bin/env bash
# The one test command: installs what is missing, configures, builds with warnings as errors,
# runs the whole CTest suite and a short smoke run of every fuzz target.
#
#   scripts/test.sh                  the dev preset (debug, warnings as errors)
#   ORB_PRESET=asan scripts/test.sh  the same suite under AddressSanitizer + UBSan
#   ORB_FUZZ_SECONDS=0 scripts/test.sh   skip the fuzz smoke runs
#   ORB_PACKAGE_TEST=0 scripts/test.sh   skip the package test (tests/package/package_test.sh)
#   ORB_WINDOWS_TEST=0 scripts/test.sh   skip the Windows build and its tests under wine (scripts/test-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

PRESET="${ORB_PRESET:-dev}"
FUZZ_SECONDS="${ORB_FUZZ_SECONDS:-30}"

bash scripts/setup.sh

echo "== configure and build ($PRESET)"
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET"

echo "== tests ($PRESET)"
ctest_log="$(mktemp)"
set +e
ctest --preset "$PRESET" --no-tests=error 2>&1 | tee "$ctest_log"
ctest_rc=${PIPESTATUS[0]}
set -e
summary="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$ctest_log" | tail -n 1)"
rm -f "$ctest_log"
if [ "$ctest_rc" -ne 0 ]; then
    echo "== tests failed ($PRESET)"
    exit "$ctest_rc"
fi

if [ "${ORB_PACKAGE_TEST:-1}" != "0" ]; then
    echo "== packages ($PRESET): build, lintian, install into a scratch root, two users, the window offscreen"
    bash tests/package/package_test.sh "build/$PRESET"
fi

if [ "${ORB_WINDOWS_TEST:-1}" != "0" ] && { command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ]; }; then
    echo "== Windows: the core layers cross-compiled with mingw-w64, their tests under wine64"
    bash scripts/test-windows.sh
fi

if [ "$FUZZ_SECONDS" != "0" ]; then
    echo "== fuzz smoke runs (${FUZZ_SECONDS}s each)"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    while read -r fuzzer; do
        [ -n "$fuzzer" ] || continue
        corpus="$work/$fuzzer"
        mkdir -p "$corpus"
        seeds="fuzz/corpus/$fuzzer"
        [ -d "$seeds" ] || seeds=""
        echo "-- $fuzzer"
        (cd "$work" && "$OLDPWD/build/fuzz/fuzz/$fuzzer" -max_total_time="$FUZZ_SECONDS" -timeout=10 \
            -rss_limit_mb=4096 -print_final_stats=0 "$corpus" ${seeds:+"$OLDPWD/$seeds"} 2>"$work/$fuzzer.log") || {
            tail -n 60 "$work/$fuzzer.log"
            echo "fuzz target $fuzzer failed"
            exit 1
        }
        grep -E '^#[0-9]+.*DONE' "$work/$fuzzer.log" | tail -n 1 || true
    done < build/fuzz/fuzzers.txt
fi
# The closing line: how many tests ran and how many failed.
total="$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")"
failed="$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$summary")"
echo "tests: $((total - failed)) passed, $failed failed"
