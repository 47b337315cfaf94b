#!/usr/bin/env bash
# Checks the plug-in's import and export tables: only Windows system DLLs and
# the script host are imported (no MinGW runtime DLL), nothing is exported.
#   check_plugin_imports.sh <objdump> <Varnel.asi>
set -euo pipefail
objdump=$1
dll=$2
dump=$("$objdump" -p "$dll")
status=0
allowed='^(kernel32|user32|gdi32|shell32|ole32|oleaut32|advapi32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+|d3d12|dxgi|d3dcompiler_47|dwmapi|imm32|uuid|shlwapi|comdlg32|version|ws2_32|scripthookv)\.dll$'
while read -r name; do
  lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
  if [[ $lower =~ $allowed ]]; then
    echo "import: $name"
  else
    echo "FAIL: imports $name (not a system DLL)"
    status=1
  fi
done < <(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
grep -i '^[[:space:]]*DLL Name: ScriptHookV.dll' <<<"$dump" >/dev/null || { echo "FAIL: ScriptHookV.dll not imported"; status=1; }
counts=$(printf '%s\n' "$dump" | sed -n '/^Number in:/,/^Table Addresses/p' | awk '/Table/ && $NF ~ /^[0-9a-fA-F]+$/ {print $NF}')
for c in $counts; do
  if [ $((16#$c)) -ne 0 ]; then
    echo "FAIL: the export table has entries"
    status=1
  fi
done
[ $status -eq 0 ] && echo "ok: system DLLs and the script host only, no exports"
exit $status
