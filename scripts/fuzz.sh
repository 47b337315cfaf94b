#!/usr/bin/env bash
# Fuzzes every libFuzzer target of the "fuzz" preset briefly, each from its
# seeds (see tests/fuzz/CMakeLists.txt), and prints runs and coverage per
# target. Usage: scripts/fuzz.sh [seconds per target, default 10]
# A crash, a leak or a hang fails the script; the input that did it is kept
# in build/fuzz/crashes/ (replay: build/fuzz/tests/fuzz/<target> <file>).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
build=$here/build/fuzz
work=$build/fuzz-run
rm -rf "$work"
mkdir -p "$work" "$build/crashes"

# The real files of a sub-folder: ../shared/testdata/real/<sub> and
# $VARNEL_EXTRA_TESTDATA/<sub>, those that hold anything.
real_folders() {
  local sub=$1 root
  for root in "$here/../shared/testdata/real" "${VARNEL_EXTRA_TESTDATA:-}"; do
    [ -n "$root" ] && [ -n "$(find "$root/$sub" -type f 2>/dev/null | head -n 1)" ] && echo "$root/$sub"
  done
}

# Readable stacks in a crash report: clang's symbolizer, also where only its
# versioned copy is installed.
if ! command -v llvm-symbolizer >/dev/null; then
  for s in /usr/lib/llvm-*/bin/llvm-symbolizer; do [ -x "$s" ] && export ASAN_SYMBOLIZER_PATH=$s; done
fi

status=0
summary=()
shopt -s nullglob
targets=("$build"/tests/fuzz/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets in $build/tests/fuzz (build the fuzz preset first)" >&2
  exit 1
fi
for bin in "${targets[@]}"; do
  name=$(basename "$bin")
  corpus=$work/$name
  mkdir -p "$corpus/new"
  seeds=("$corpus/new")
  [ -d "$here/tests/fuzz/seeds/$name" ] && seeds+=("$here/tests/fuzz/seeds/$name")
  if [ -x "$build/tests/fuzz/${name}_seeds" ]; then
    mkdir -p "$corpus/generated"
    "$build/tests/fuzz/${name}_seeds" "$corpus/generated" >/dev/null || { echo "fuzz: $name: seed generator failed"; status=1; }
    seeds+=("$corpus/generated")
  fi
  subs=$(sed -n 's|^// Real seeds:||p' "$here/tests/fuzz/$name.cpp" 2>/dev/null)
  for sub in $subs; do
    found=$(real_folders "$sub")
    if [ -z "$found" ]; then
      echo "fuzz: $name: no real $sub files as seeds: ../shared/testdata/real/$sub is absent and VARNEL_EXTRA_TESTDATA has none"
    else
      while read -r folder; do seeds+=("$folder"); done <<<"$found"
    fi
  done
  echo "== fuzz $name for ${seconds} s from ${#seeds[@]} seed folders"
  log=$work/$name.log
  ASAN_OPTIONS=detect_leaks=1:allow_user_segv_handler=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$bin" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 -print_final_stats=1 \
    -artifact_prefix="$build/crashes/$name-" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  corp=$(grep -o 'corp: [0-9]*/[0-9a-zA-Z]*' "$log" | tail -n 1 | cut -d' ' -f2)
  if [ $rc -ne 0 ]; then
    status=1
    summary+=("$name: FAILED (exit $rc), its log above")
    echo "fuzz: $name failed; the end of its log:"
    tail -n 60 "$log"
  else
    summary+=("$name: ${runs:-?} runs, cov: ${cov:-?}, ft: ${ft:-?}, corpus ${corp:-?}")
  fi
done
echo "== fuzz summary (${seconds} s per target)"
printf '  %s\n' "${summary[@]}"
exit $status
