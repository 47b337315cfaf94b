#!/usr/bin/env bash
# Builds and runs every test: native (the bulk), native under ASan+UBSan,
# the Windows build's tests under Wine, and the end-to-end checks.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh test
jobs=$(nproc)

echo "== native tests"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
ctest --preset linux -j "$jobs"

echo "== native tests with sanitizers"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=0:allow_user_segv_handler=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --preset sanitize -j "$jobs"

echo "== Windows build and its tests under Wine"
windows_start=$SECONDS
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
# scripts/wine-run.sh (ctest's emulator) makes the prefix build/windows/wineprefix
# and starts the wine server detached from ctest's pipes; stop it afterwards.
status=0
ctest --preset windows -j 4 || status=$?
WINEPREFIX=$here/build/windows/wineprefix wineserver -k >/dev/null 2>&1 || true
echo "== Windows build and tests took $((SECONDS - windows_start)) s"

echo "== end-to-end test under Wine and Xvfb (screenshots in build/e2e-artifacts)"
timeout --kill-after=20 600 bash tests/e2e/run_e2e.sh build/windows build/e2e-artifacts || status=$?
exit $status
