#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest (and by hand):
#   scripts/wine-run.sh [--prefix DIR] program.exe [arguments...]
# Each build tree has its own prefix (--prefix, else $VARNEL_WINEPREFIX, else
# ~/.cache/varnel-wine), made once with the crash dialog turned off. The wine
# server and Wine's own services are started with every descriptor
# redirected: started from a test they would inherit ctest's pipes and keep
# it waiting. Every run is bounded by a timeout and has no standard input.
set -u
prefix=${VARNEL_WINEPREFIX:-${HOME:-/tmp}/.cache/varnel-wine}
if [ "${1:-}" = "--prefix" ]; then
  prefix=$2
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [--prefix DIR] program [arguments...]" >&2
  exit 2
fi
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers, no menu entries on the host.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}
# (fd 9, the lock, is not passed on: a server that kept it would hold the lock.)
quiet() { "$@" </dev/null >/dev/null 2>&1 9>&-; }

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock -w 300 9 || exit 0
  if [ ! -f "$WINEPREFIX/.varnel-ready" ]; then
    mkdir -p "$WINEPREFIX"
    quiet wineserver -p30
    quiet timeout 180 wine wineboot --init
    quiet timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    touch "$WINEPREFIX/.varnel-ready"
  # Exit status 0: no server was running and one has been started now.
  elif quiet wineserver -p30; then
    quiet timeout 60 wine wineboot
  fi
) 9>"$WINEPREFIX.lock"

exec timeout --kill-after=10 "${VARNEL_WINE_TIMEOUT:-300}" wine "$@" </dev/null
