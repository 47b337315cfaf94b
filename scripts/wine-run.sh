#!/usr/bin/env bash
# Runs a Windows test program under Wine for ctest: own prefix, no debugger
# dialog, bounded time, standard input closed.
set -u
export WINEPREFIX=${VARNEL_WINEPREFIX:-${HOME:-/tmp}/.cache/varnel-wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/.varnel-ready" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 120 wine wineboot --init </dev/null >/dev/null 2>&1 || true
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 || true
  touch "$WINEPREFIX/.varnel-ready"
fi
exec timeout --kill-after=10 ${VARNEL_WINE_TIMEOUT:-300} wine "$@" </dev/null
