#!/usr/bin/env bash
# Builds the Windows plug-in build/windows/Varnel.asi (installs what is missing).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/setup.sh build
cmake --preset windows -DVARNEL_TESTS=OFF >/dev/null
cmake --build --preset windows --target varnel_plugin
echo "Built: $here/build/windows/Varnel.asi"
