#!/usr/bin/env bash
# Builds and runs every test, quickest and most telling first:
#   native       the native tests (the bulk: every subsystem against a simulated Windows and game)
#   sanitize     the same under AddressSanitizer with leak detection, and UndefinedBehaviorSanitizer
#   tsan         the same under ThreadSanitizer
#   fuzz         every libFuzzer target for a few seconds (clang, ASan and UBSan)
#   release      the native tree at -O3 with warnings as errors (build only)
#   windows      the Windows build's tests under Wine (MinHook when the build
#                has it, see scripts/fetch-minhook.sh); then, when it has, the
#                plug-in with the built-in hook engine (build/windows-builtin)
#   e2e          the end-to-end checks under Wine and Xvfb; then, with the
#                built-in engine's plug-in, those that concern the hooks
# Every stage runs even when an earlier one failed; the command fails when
# any stage did, and ends with a table of each stage's result and time.
# Usage: scripts/test.sh [stage ...]   (default: all, in the order above)
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh test || { echo "test: setup failed" >&2; exit 1; }
jobs=$(nproc)
fuzz_seconds=${VARNEL_FUZZ_SECONDS:-10}

build_and_test() {  # preset
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs" && ctest --preset "$1" -j "$jobs"
}

stage_native() { build_and_test linux; }
stage_sanitize() { build_and_test sanitize; }  # leak detection and options: CMakePresets.json
stage_tsan() { build_and_test tsan; }
stage_fuzz() {
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j "$jobs" && bash scripts/fuzz.sh "$fuzz_seconds"
}
stage_release() { cmake --preset release >/dev/null && cmake --build --preset release -j "$jobs"; }
# configure_windows PRESET: configures a Windows build and prints the hook
# engine it uses (and MinHook's build from ../shared/deps when it happens).
configure_windows() {
  local log
  log=$(cmake --preset "$1" 2>&1) || { printf '%s\n' "$log"; return 1; }
  sed -n 's/^-- \(fetch-minhook: .*\|Hook engine: .*\)/\1/p' <<<"$log"
}
hook_engine() { cat "build/$1/hook-engine.txt" 2>/dev/null || echo unknown; }  # windows build folder
stage_windows() {
  configure_windows windows && cmake --build --preset windows -j "$jobs" || return 1
  # scripts/wine-run.sh (ctest's emulator) makes the prefix build/windows/wineprefix
  # and starts the wine server detached from ctest's pipes; stop it afterwards.
  local rc=0
  ctest --preset windows -j 4 || rc=$?
  WINEPREFIX=$here/build/windows/wineprefix wineserver -k >/dev/null 2>&1 || true
  # The built-in engine's plug-in for the e2e stage, when the build above
  # has MinHook (its own tests ran there: every build carries the engine).
  if [ "$(hook_engine windows)" != built-in ]; then
    configure_windows windows-builtin &&
      cmake --build --preset windows-builtin -j "$jobs" --target varnel_plugin varnel_e2e_game varnel_e2e_host || rc=1
  fi
  return $rc
}
# A backstop for one end-to-end run (its own limits end it well before):
# 30 minutes, times VARNEL_TEST_TIME_SCALE as the run's own limits.
e2e_seconds() {
  awk -v s="${VARNEL_TEST_TIME_SCALE:-1}" \
    'BEGIN { if (!(s ~ /^[0-9]+(\.[0-9]+)?$/ && s >= 1 && s <= 1000)) s = 1; printf "%d", 1800 * s }'
}
stage_e2e() {
  [ -f build/windows/Varnel.asi ] || { echo "e2e: no Windows build" >&2; return 1; }
  local rc=0 engine limit; engine=$(hook_engine windows); limit=$(e2e_seconds)
  echo "(hook engine: $engine; screenshots in build/e2e-artifacts)"
  timeout --kill-after=20 "$limit" bash tests/e2e/run_e2e.sh build/windows build/e2e-artifacts all || rc=1
  if [ "$engine" = built-in ]; then
    echo "(the Windows build has the built-in hook engine: no second run)"
  elif [ ! -f build/windows-builtin/Varnel.asi ]; then
    echo "e2e: no plug-in with the built-in hook engine (the windows stage builds build/windows-builtin)" >&2
    rc=1
  else
    echo "== e2e: the checks of the hooks with the built-in engine (screenshots in build/e2e-artifacts-builtin)"
    timeout --kill-after=20 "$limit" bash tests/e2e/run_e2e.sh build/windows-builtin build/e2e-artifacts-builtin hooking || rc=1
  fi
  return $rc
}

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native sanitize tsan fuzz release windows e2e)
results=()
status=0
passed=0
for stage in "${stages[@]}"; do
  if ! declare -F "stage_$stage" >/dev/null; then
    echo "test: no stage '$stage'" >&2
    exit 2
  fi
  echo "== $stage"
  start=$SECONDS
  if "stage_$stage"; then result=passed; passed=$((passed + 1)); else result=FAILED; status=1; fi
  took=$((SECONDS - start))
  echo "== $stage $result in ${took} s"
  results+=("$(printf '%-9s %-7s %5d s' "$stage" "$result" "$took")")
done
echo "== summary (${jobs} jobs)"
printf '  %s\n' "${results[@]}"
echo "stages: $passed passed, $((${#stages[@]} - passed)) failed"
exit $status
