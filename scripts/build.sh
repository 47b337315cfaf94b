#!/usr/bin/env bash
# Builds the Windows plug-in build/windows/Varnel.asi (installs what is missing).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh build
# The configure step builds MinHook from ../shared/deps when it is there
# (scripts/fetch-minhook.sh) and says which hook engine the plug-in uses.
log=$(cmake --preset windows -DVARNEL_TESTS=OFF 2>&1) || { printf '%s\n' "$log" >&2; exit 1; }
sed -n 's/^-- \(fetch-minhook: .*\|Hook engine: .*\)/\1/p' <<<"$log"
cmake --build --preset windows --target varnel_plugin
echo "Built: $here/build/windows/Varnel.asi"
