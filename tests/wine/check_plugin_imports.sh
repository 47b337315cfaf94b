#!/usr/bin/env bash
# Checks the plug-in's import and export tables: only Windows system DLLs and
# the script host are imported (no MinGW runtime DLL), nothing is exported.
#   check_plugin_imports.sh <objdump> <Varnel.asi>
set -uo pipefail
dump=$("$1" -p "$2") || exit 1
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z')
echo "imports:" $imports
allowed='^(kernel32|user32|gdi32|shell32|ole32|oleaut32|advapi32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+|d3d12|dxgi|d3dcompiler_47|dwmapi|imm32|uuid|shlwapi|comdlg32|version|ws2_32|scripthookv)\.dll$'
status=0
others=$(grep -Ev "$allowed" <<<"$imports") && { echo "FAIL: imports" $others "(not system DLLs)"; status=1; }
grep -qx 'scripthookv.dll' <<<"$imports" || { echo "FAIL: ScriptHookV.dll not imported"; status=1; }
# The export table's counts (hexadecimal) are all zero.
counts=$(sed -n '/^Number in:/,/^Table Addresses/p' <<<"$dump" | awk '/Table/ && $NF ~ /^[0-9a-fA-F]+$/ {print $NF}')
for c in $counts; do [ $((16#$c)) -eq 0 ] || { echo "FAIL: the export table has entries"; status=1; }; done
[ $status -eq 0 ] && echo "ok: system DLLs and the script host only, no exports"
exit $status
