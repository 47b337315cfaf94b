#!/usr/bin/env bash
# End-to-end test of Varnel.asi under Wine and Xvfb: the stand-in game loads
# the stand-in script host, which loads the plug-in; the test presses keys
# and clicks with xdotool, reads the game's status file and checks
# screenshots. Screenshots, logs and frame rates go to the artifacts folder.
#
# Usage: tests/e2e/run_e2e.sh [windows build folder] [artifacts folder]
# Exit status: 0 when no check failed (skipped checks say why).
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/windows}
art=${2:-$here/build/e2e-artifacts}
build=$(cd "$build" 2>/dev/null && pwd || echo "$build")
mkdir -p "$art"
art=$(cd "$art" && pwd)
rm -f "$art"/*.png "$art"/*.txt "$art"/*.log

work=$here/build/e2e-run            # game folder, Wine prefix and home
game=$work/game
export WINEPREFIX=$work/prefix
export HOME=$work/home              # the prefix's Documents link points here
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY

passed=0 failed=0 skipped=0
results=$art/results.txt
note() { echo "e2e: $*"; echo "$*" >>"$results"; }
pass() { passed=$((passed + 1)); note "PASS $1${2:+: $2}"; }
fail() { failed=$((failed + 1)); note "FAIL $1: $2"; }
skip() { skipped=$((skipped + 1)); note "SKIP $1: $2"; }

# ---- Processes we start, ended by their ids ---------------------------------
xvfb_pid="" game_pid=""
cleanup() {
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null
  timeout 20 wineserver -k >/dev/null 2>&1 </dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -f "$game/e2e-game.log" ] && cp "$game/e2e-game.log" "$art/game.log"
  [ -f "$game/e2e-status.txt" ] && cp "$game/e2e-status.txt" "$art/last-status.txt"
}
trap cleanup EXIT

finish() {
  echo "e2e: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
  exit $?
}

# ---- What is there to test ----------------------------------------------------
for tool in wine wineserver Xvfb xdotool import convert od awk; do
  if ! command -v "$tool" >/dev/null; then
    fail setup "$tool is missing (scripts/setup.sh test installs it)"
    finish
  fi
done
if [ ! -f "$build/e2e/VarnelStandInGame.exe" ] || [ ! -f "$build/e2e/ScriptHookV.dll" ]; then
  fail setup "stand-ins not built in $build/e2e (cmake --build --preset windows)"
  finish
fi
plugin=$build/Varnel.asi
have_plugin=0; [ -f "$plugin" ] && have_plugin=1
# Product features the checks need, recognised in the sources, so that a
# check whose feature is not built yet reports SKIP instead of failing.
has_src() { grep -rqsF -- "$1" "$here/src"; }
# The entry point runs the editor's script loop once it includes the host's
# headers (the first entry point only registered a waiting script).
have_entry=0; grep -qs '#include "host/' "$here/src/host/dllmain_win.cpp" && have_entry=1
have_overlay=0; [ "$have_entry" = 1 ] && has_src HookedPresent && has_src grcWindow && have_overlay=1
have_workspace=0; [ "$have_entry" = 1 ] && has_src EnsureWorkspaceFolders && have_workspace=1
have_settings_tab=0; has_src settings_game_controls_v2 && have_settings_tab=1
# VARNEL_E2E_FEATURES counts the ones it names (entry overlay workspace
# settings_tab) as built, to try the checks against a plug-in built elsewhere.
for f in ${VARNEL_E2E_FEATURES:-}; do
  case $f in entry|overlay|workspace|settings_tab) eval "have_$f=1" ;; esac
done
no_plugin="Varnel.asi not built"
no_overlay="the overlay (Direct3D 12 hooks, window procedure, main window) is not built yet"
[ "$have_entry" = 0 ] && no_overlay="the plug-in's entry point does not run the editor's script loop yet"

# ---- Status and commands --------------------------------------------------------
status() { sed -n "s/^$1=//p" "$game/e2e-status.txt" 2>/dev/null | head -n1; }
num() { local v; v=$(status "$1"); echo "${v:-0}"; }
# Values that belong together come from one copy of the status file.
snapshot() { cp "$game/e2e-status.txt" "$work/snapshot.txt" 2>/dev/null; }
snum() { local v; v=$(sed -n "s/^$1=//p" "$work/snapshot.txt" 2>/dev/null | head -n1); echo "${v:-0}"; }
# wait_for SECONDS EXPRESSION: polls a bash arithmetic expression over status.
wait_for() {
  local expr=$2 end=$((SECONDS + $1))
  while [ $SECONDS -lt $end ]; do
    if ! kill -0 "$game_pid" 2>/dev/null; then return 2; fi
    if eval "(( $expr ))" 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  eval "(( $expr ))" 2>/dev/null
}
game_alive() { kill -0 "$game_pid" 2>/dev/null; }
send() {
  local before; before=$(num commands_done)
  printf '%s\n' "$*" >"$game/e2e-command.tmp" && mv "$game/e2e-command.tmp" "$game/e2e-command.txt"
  wait_for 10 "\$(num commands_done) > $before"
}

# ---- Input and screenshots --------------------------------------------------------
x() { timeout 10 xdotool "$@" >/dev/null 2>&1; }
focus() { local w; w=$(timeout 10 xdotool search --name 'Varnel stand-in game' 2>/dev/null | head -n1); [ -n "$w" ] && x windowfocus --sync "$w"; }
# A key held for a while: the plug-in polls the key state once per frame.
press() { focus; x keydown "$1"; sleep 0.3; x keyup "$1"; sleep 0.2; }
click() { x mousemove "$1" "$2"; sleep 0.15; x mousedown 1; sleep 0.2; x mouseup 1; sleep 0.15; }
park_mouse() { x mousemove "$(($(num width) - 5))" "$(($(num height) - 5))"; sleep 0.2; }
shot() { timeout 20 import -window root "$art/$1.png" 2>/dev/null; }

# Pixels of a crop (WxH+X+Y) as "x y r g b" lines.
pixels() {
  local geom=$2 w=${2%%x*}
  timeout 20 convert "$art/$1.png" -crop "$geom" +repage -depth 8 rgb:- 2>/dev/null |
    od -An -v -tu1 -w3 | awk -v w="$w" '{ i = NR - 1; print i % w, int(i / w), $1, $2, $3 }'
}
# near R G B TOL: awk test of a pixel against a colour.
near_fn='function near(r, g, b, R, G, B, t) { return (r-R)^2 <= t*t && (g-G)^2 <= t*t && (b-B)^2 <= t*t }'
# count_near SHOT GEOM R G B TOL
count_near() {
  pixels "$1" "$2" | awk -v R="$3" -v G="$4" -v B="$5" -v T="$6" "$near_fn"' near($3,$4,$5,R,G,B,T) { n++ } END { print n + 0 }'
}
# count_other SHOT GEOM R G B TOL: pixels not near the colour.
count_other() {
  pixels "$1" "$2" | awk -v R="$3" -v G="$4" -v B="$5" -v T="$6" "$near_fn"' !near($3,$4,$5,R,G,B,T) { n++ } END { print n + 0 }'
}
screen_geom() { echo "$(num width)x$(num height)+0+0"; }

# The game's background and the theme's colours (8-bit).
BG="26 140 89"
TITLE_ACTIVE="46 33 33"; TITLE="36 26 26"
TAB="61 43 43"; TAB_SELECTED="217 89 89"

# fps_over SECONDS: the game's frame rate over that time.
fps_over() {
  local f0 t0 f1 t1
  snapshot; f0=$(snum frames); t0=$(snum time_ms)
  sleep "$1"
  snapshot; f1=$(snum frames); t1=$(snum time_ms)
  awk -v f="$((f1 - f0))" -v t="$((t1 - t0))" 'BEGIN { if (t > 0) printf "%.0f", f * 1000 / t; else print 0 }'
}

# ---- Display, prefix, game folder -------------------------------------------------------
mkdir -p "$work" "$HOME"
rm -rf "$game" "$HOME/VRN"
mkdir -p "$game"
cp "$build/e2e/VarnelStandInGame.exe" "$build/e2e/ScriptHookV.dll" "$game/"
[ "$have_plugin" = 1 ] && cp "$plugin" "$game/"

display=""
for n in $(seq 91 119); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1920x1200x24 -nolisten tcp >"$art/xvfb.log" 2>&1 </dev/null &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if kill -0 "$xvfb_pid" 2>/dev/null; then display=":$n"; break; fi
  xvfb_pid=""
done
if [ -z "$display" ]; then fail setup "no Xvfb display could be started"; finish; fi
export DISPLAY=$display

if [ ! -f "$WINEPREFIX/.varnel-ready" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 180 wine wineboot --init </dev/null >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  touch "$WINEPREFIX/.varnel-ready"
fi
# The wine server and services, with every descriptor redirected.
(timeout 600 wineserver -p >/dev/null 2>&1 </dev/null &)
timeout 60 wine wineboot </dev/null >/dev/null 2>&1
docs=$(ls -d "$WINEPREFIX"/drive_c/users/*/Documents 2>/dev/null | grep -v /Public/ | head -n1)
docs=$(readlink -f "$docs" 2>/dev/null || echo "$docs")

# ---- 1. The game runs -------------------------------------------------------------------
(cd "$game" && exec timeout --kill-after=10 420 wine VarnelStandInGame.exe --width 1600 --height 1000 --buffers 3 \
  </dev/null >"$art/wine-game.log" 2>&1) &
game_pid=$!
if wait_for 90 '$(num frames) >= 120'; then
  pass game_presents "$(num frames) frames, present failures $(num present_failures)"
else
  fail game_presents "no frames from the stand-in game (see game.log, wine-game.log)"
  finish
fi
focus

# ---- 2. Loading and the dormant phase ---------------------------------------------------------
if [ "$have_plugin" = 0 ]; then
  skip plugin_loads "$no_plugin"
elif [ "$(num host_plugins_loaded)" = 1 ] && [ "$(num host_register_calls)" = 1 ] && [ "$(num host_scripts)" = 1 ]; then
  pass plugin_loads "loaded by the host, one script registered"
else
  fail plugin_loads "loaded $(num host_plugins_loaded) (error $(num host_plugin_load_error)), registered $(num host_register_calls), scripts $(num host_scripts)"
fi

if [ "$have_plugin" = 1 ]; then
  snapshot; p0=$(snum host_passes); w0=$(snum host_waits); f0=$(snum frames)
  sleep 1
  snapshot; p1=$(snum host_passes); w1=$(snum host_waits); f1=$(snum frames)
  if [ $((p1 - p0)) -ge 30 ] && [ $((w1 - w0)) -ge $((p1 - p0 - 1)) ] && [ "$(num host_waits_nonzero)" = 0 ] &&
     [ "$(num host_waits_off_fiber)" = 0 ] && [ "$(num host_scripts_returned)" = 0 ]; then
    pass script_loop "$((p1 - p0)) passes and $((w1 - w0)) waits of 0 ms in $((f1 - f0)) frames, on the script fiber"
  else
    fail script_loop "passes $((p1 - p0)), waits $((w1 - w0)) (non-zero $(num host_waits_nonzero), off the fiber $(num host_waits_off_fiber)), returned $(num host_scripts_returned)"
  fi

  # Escape before the first menu-hotkey press changes nothing.
  esc0=$(num game_escape_downs)
  press Escape
  sleep 0.5
  shot 01-dormant
  dormant_problems=""
  [ "$(num hooked_slots)" = 0 ] && [ "$(num hooked_code)" = 0 ] || dormant_problems+=" hooks installed;"
  [ "$(num wndproc_replaced)" = 0 ] || dormant_problems+=" window procedure replaced;"
  [ "$(num host_natives_total)" = 0 ] || dormant_problems+=" $(num host_natives_total) natives called;"
  [ "$(num image_guard_intact)" = 1 ] && [ "$(num private_guard_intact)" = 1 ] || dormant_problems+=" memory scanned (a guard page was touched);"
  [ -e "$docs/VRN" ] && dormant_problems+=" VRN folder created;"
  others=$(count_other 01-dormant "$(screen_geom)" $BG 2)
  [ "$others" = 0 ] || dormant_problems+=" $others pixels drawn over the game;"
  [ "$(num game_escape_downs)" -gt "$esc0" ] || dormant_problems+=" Escape did not reach the game;"
  if [ -z "$dormant_problems" ]; then
    pass dormant "no hooks, window procedure kept, no natives, no memory scan, no files, nothing drawn; Escape reaches the game"
  else
    fail dormant "$dormant_problems"
  fi
else
  skip script_loop "$no_plugin"
  skip dormant "$no_plugin"
fi
fps_dormant=$(fps_over 5)
note "fps before the first hotkey press: $fps_dormant"

# ---- 3. First press of the menu hotkey: start-up, hooks, overlay --------------------------------
# Guard pages off: from here on the editor may search the game's memory.
send unguard
if [ "$have_plugin" = 0 ]; then
  skip first_press "$no_plugin"
else
  press F9
  if [ "$have_workspace" = 1 ]; then
    if wait_for 20 '$( [ -d "$docs/VRN" ] && echo 1 || echo 0) == 1'; then
      pass workspace_created "VRN folder in Documents on the first press"
    else
      fail workspace_created "no VRN folder in $docs after the first press"
    fi
  elif [ "$have_entry" = 0 ]; then
    skip workspace_created "$no_overlay"
  else
    skip workspace_created "the workspace folders are not built yet"
  fi
  if [ "$have_overlay" = 0 ]; then
    skip first_press "$no_overlay"
  elif wait_for 60 '$(num hook_present) == 1 && $(num hook_execute_command_lists) == 1 && $(num wndproc_replaced) == 1'; then
    pass first_press "hooks on Present, ResizeBuffers $(num hook_resize_buffers), ResizeBuffers1 $(num hook_resize_buffers1), ExecuteCommandLists; window procedure replaced"
  else
    fail first_press "after F9: present hook $(num hook_present), queue hook $(num hook_execute_command_lists), window procedure $(num wndproc_replaced)"
  fi
fi

# The checks below need the overlay up; without it they say why they skip
# (a first press that failed to bring it up has failed above).
overlay_ready=0
if [ "$have_plugin" = 0 ]; then
  no_overlay=$no_plugin
elif [ "$have_overlay" = 1 ] && [ "$(num hook_present)" = 1 ]; then
  overlay_ready=1
elif [ "$have_overlay" = 1 ]; then
  no_overlay="the overlay did not come up after the first press (see first_press)"
fi

# Theme check of a screenshot: the main window's colours over the game's background.
menu_shown() {
  local shot=$1 geom; geom=$(screen_geom)
  title=$(( $(count_near "$shot" "$geom" $TITLE_ACTIVE 2) + $(count_near "$shot" "$geom" $TITLE 2) ))
  tabsel=$(count_near "$shot" "$geom" $TAB_SELECTED 3)
  tab=$(count_near "$shot" "$geom" $TAB 3)
  bg=$(count_near "$shot" "$geom" $BG 2)
  [ "$title" -ge 2000 ] && [ "$tabsel" -ge 150 ] && [ "$tab" -ge 150 ] && [ "$bg" -ge 100000 ]
}
menu_gone() {
  [ "$(count_other "$1" "$(screen_geom)" $BG 2)" = 0 ]
}

# ---- 4. The window is drawn with the theme --------------------------------------------------------
if [ "$overlay_ready" = 1 ]; then
  sleep 3   # first overlay frames: shader compilation on lavapipe
  park_mouse
  shot 02-menu-open
  if menu_shown 02-menu-open; then
    pass menu_drawn "title bar $title px, selected tab $tabsel px, tabs $tab px in the theme's colours; background $bg px"
  else
    fail menu_drawn "title bar $title px, selected tab $tabsel px, tabs $tab px, background $bg px (see 02-menu-open.png)"
  fi
  fps_open=$(fps_over 5)
  note "fps with the editor open: $fps_open"
else
  skip menu_drawn "$no_overlay"
  fps_open=""
fi

# ---- 5. A click selects a tab ------------------------------------------------------------------------
# The tab bar is the first row of the selected tab's colour; on a row just
# below its top edge the tabs show as runs of the Tab and TabSelected colours.
tab_runs() {
  pixels "$1" "$(screen_geom)" | awk -v ts="$TAB_SELECTED" -v tb="$TAB" "$near_fn"'
    BEGIN { split(ts, S, " "); split(tb, T, " ") }
    { c = near($3,$4,$5,S[1],S[2],S[3],3) ? "S" : near($3,$4,$5,T[1],T[2],T[3],3) ? "T" : "."
      row[$2] = row[$2] c
      if (c == "S") sel[$2]++ }
    END {
      top = -1
      for (y = 0; y in row; y++) if (sel[y] >= 20) { top = y; break }
      if (top < 0) exit
      line = row[top + 3]; n = length(line); start = 0; cls = "."
      for (x = 1; x <= n + 1; x++) {
        c = x <= n ? substr(line, x, 1) : "."
        if (c != cls) {
          if (cls != "." && x - start >= 12) print cls, start - 1, x - 2, top + 3
          cls = c; start = x
        }
      }
    }'
}
if [ "$overlay_ready" = 1 ]; then
  tab_runs 02-menu-open >"$art/tabs-before.txt"
  ntabs=$(wc -l <"$art/tabs-before.txt")
  first=$(head -n1 "$art/tabs-before.txt" | cut -d' ' -f1)
  if [ "$ntabs" != 6 ] || [ "$first" != S ]; then
    fail tab_click "expected six tabs with the first selected, found: $(tr '\n' ';' <"$art/tabs-before.txt")"
  else
    read -r _ x0 x1 ty < <(tail -n1 "$art/tabs-before.txt")
    mouse0=$(num game_mouse_messages)
    click $(((x0 + x1) / 2)) $((ty + 4))
    park_mouse
    sleep 0.3
    shot 03-settings-tab
    tab_runs 03-settings-tab >"$art/tabs-after.txt"
    after=$(cut -d' ' -f1 "$art/tabs-after.txt" | tr -d '\n')
    if [ "$after" = TTTTTS ] && [ "$(num game_mouse_messages)" = "$mouse0" ]; then
      pass tab_click "the clicked sixth tab (Settings) shows TabSelected, the others Tab; the game got no mouse message"
    else
      fail tab_click "tabs after the click: '$after' (want TTTTTS), game mouse messages $mouse0 -> $(num game_mouse_messages)"
    fi
  fi
else
  skip tab_click "$no_overlay"
fi

# ---- 6. Settings tab: game controls by clicks (natives and VRN.ini) -----------------------------------------
# bands SHOT CLASS MINRUN MAXRUN XMIN XMAX YMIN: blocks of rows whose first
# run of CLASS pixels (starting between XMIN and XMAX, MINRUN to MAXRUN long)
# starts in the same column (any column for the header bars, whose text
# splits their rows); one "y0 y1 x0 x1" line per block of at least 6 rows.
#   header  the collapsing headers' red bars
#   frame   the frames of check boxes and sliders (FrameBg)
#   save    the blue-grey "Save settings" button
#   check   the check mark's colour
bands() {
  pixels "$1" "$(screen_geom)" | awk -v cls="$2" -v minrun="$3" -v maxrun="$4" -v xmin="$5" -v xmax="$6" -v ymin="$7" "$near_fn"'
    function member(r, g, b) {
      if (cls == "header") return r >= 130 && r - g >= 60 && r - b >= 60
      if (cls == "frame") return near(r, g, b, 61, 43, 43, 6)
      if (cls == "save") return b >= r + 3 && r < 90 && g < 90 && b < 90
      if (cls == "check") return near(r, g, b, 240, 173, 71, 24)
      return 0
    }
    function endrow() {
      if (inrun) { len = lastx - runx + 1; if (!found && len >= minrun && len <= maxrun) { found = 1; fx0 = runx; fx1 = lastx } }
      inrun = 0
    }
    function closerow(   ok) {
      endrow()
      ok = found && row >= ymin
      if (ok && open && row == by1 + 1 && (cls == "header" || (fx0 - bx0) ^ 2 <= 9)) {
        by1 = row; if (fx0 < bx0) bx0 = fx0; if (fx1 > bx1) bx1 = fx1
      }
      else { flush(); if (ok) { open = 1; by0 = by1 = row; bx0 = fx0; bx1 = fx1 } }
      found = 0
    }
    function flush() { if (open && by1 - by0 >= 5) print by0, by1, bx0, bx1; open = 0 }
    $2 != row { closerow(); row = $2 }
    $1 < xmin { next }
    {
      if (member($3, $4, $5)) {
        if (!inrun) { if ($1 > xmax) next; inrun = 1; runx = $1 }
        lastx = $1
      } else endrow()
    }
    END { closerow(); flush() }'
}
box_center() { echo "$(( ($3 + $4) / 2 )) $(( ($1 + $2) / 2 ))"; }   # y0 y1 x0 x1 -> x y
settings_controls() {
  park_mouse
  shot 06-settings-panel
  bands 06-settings-panel header 300 5000 0 5000 0 >"$art/headers.txt"
  if [ "$(wc -l <"$art/headers.txt")" -lt 4 ]; then
    fail settings_controls "expected four collapsing headers, found: $(tr '\n' ';' <"$art/headers.txt")"
    return
  fi
  local gc save; gc=$(sed -n 3p "$art/headers.txt")       # Layout, Hotkeys, Game Controls, Folders
  read -r gy0 gy1 gx0 _ <<<"$gc"
  click $((gx0 + 120)) $(((gy0 + gy1) / 2))
  park_mouse
  sleep 0.5
  shot 07-game-controls
  bands 07-game-controls frame 12 40 "$gx0" $((gx0 + 40)) "$gy1" >"$art/checkboxes.txt"
  if [ "$(wc -l <"$art/checkboxes.txt")" -lt 7 ]; then
    fail settings_controls "expected seven check boxes under Game Controls, found: $(tr '\n' ';' <"$art/checkboxes.txt")"
    return
  fi
  # Disable HUD, Disable Idle Camera, Disable Pedestrians, Disable Vehicles,
  # Blackout Mode, Enable Free Cam, Timelapse.
  local hud blackout lapse sets0 hide0
  hud=$(sed -n 1p "$art/checkboxes.txt"); blackout=$(sed -n 5p "$art/checkboxes.txt"); lapse=$(sed -n 7p "$art/checkboxes.txt")
  sets0=$(num world_clock_sets); hide0=$(sed -n 's/^native_719FF505F097FD20=\([0-9]*\).*/\1/p' "$game/e2e-status.txt")
  # shellcheck disable=SC2046
  click $(box_center $hud); click $(box_center $blackout); click $(box_center $lapse)
  park_mouse
  sleep 1.5
  shot 08-controls-on
  local problems="" box
  for box in "$hud" "$blackout" "$lapse"; do
    read -r y0 y1 x0 x1 <<<"$box"
    [ "$(count_near 08-controls-on "$((x1 - x0 + 1))x$((y1 - y0 + 1))+$x0+$y0" 240 173 71 24)" -ge 8 ] ||
      problems+=" no check mark in the box at $x0,$y0;"
  done
  local hide1; hide1=$(sed -n 's/^native_719FF505F097FD20=\([0-9]*\).*/\1/p' "$game/e2e-status.txt")
  [ "$(num world_hud_visible)" = 0 ] || problems+=" the world's HUD is still shown;"
  [ "${hide1:-0}" -gt "${hide0:-0}" ] || problems+=" no per-frame HUD-hidden native;"
  [ "$(num world_blackout)" = 1 ] || problems+=" the world is not in blackout;"
  [ "$(num world_clock_sets)" -gt "$sets0" ] || problems+=" the timelapse set no clock;"
  # Save settings, then VRN.ini holds the HUD setting.
  touch "$art/.before-save"; sleep 1
  bands 08-controls-on save 12 400 0 5000 0 | head -n1 >"$art/save-button.txt"
  save=$(cat "$art/save-button.txt")
  if [ -z "$save" ]; then
    problems+=" no Save settings button found;"
  else
    # shellcheck disable=SC2046
    click $(box_center $save)
    park_mouse
    local ini=""
    for _ in $(seq 30); do
      ini=$(find "$docs" -name VRN.ini -newer "$art/.before-save" 2>/dev/null | head -n1)
      [ -n "$ini" ] && break
      sleep 0.1
    done
    if [ -z "$ini" ]; then
      problems+=" VRN.ini was not written;"
    else
      cp "$ini" "$art/VRN.ini"
      grep -q '^GameHudVisible *= *0' "$ini" || problems+=" VRN.ini does not hold GameHudVisible=0;"
    fi
  fi
  shot 09-saved
  if [ -z "$problems" ]; then
    pass settings_controls "Disable HUD, Blackout Mode and Timelapse ticked by clicks; the world got the HUD, blackout and clock natives; Save settings wrote VRN.ini"
  else
    fail settings_controls "$problems"
  fi
}
if [ "$overlay_ready" = 1 ] && [ "$have_settings_tab" = 1 ]; then
  if grep -q '^S' <(tail -n1 "$art/tabs-after.txt" 2>/dev/null); then
    settings_controls
  else
    skip settings_controls "the Settings tab could not be selected"
  fi
elif [ "$overlay_ready" = 1 ]; then
  skip settings_controls "the Settings tab is not built yet"
else
  skip settings_controls "$no_overlay"
fi

# ---- 7. Escape closes the window -------------------------------------------------------------------------
if [ "$overlay_ready" = 1 ]; then
  esc0=$(num game_escape_downs)
  press Escape
  sleep 0.5
  shot 04-escape
  if menu_gone 04-escape && [ "$(num game_escape_downs)" = "$esc0" ]; then
    pass escape_closes "nothing drawn over the game after Escape; the game's window procedure did not get it"
  else
    fail escape_closes "$(count_other 04-escape "$(screen_geom)" $BG 2) pixels still drawn, game Escape messages $esc0 -> $(num game_escape_downs)"
  fi
  fps_closed=$(fps_over 5)
  note "fps with the editor closed (hooks in place): $fps_closed"
else
  skip escape_closes "$no_overlay"
  fps_closed=""
fi

# ---- 8. A resize suspends the menu until the cooldown is over -------------------------------------------------
# The cooldown is 90 drawn frames; with the game capped at 20 frames per
# second it lasts 4.5 s, long enough to press the hotkey inside it. The
# press after it waits for 140 frames (cooldown plus 18 stable frames and
# the frames presented without overlay after the rebuild).
resize_check() {   # resize_check NAME COMMAND WIDTH HEIGHT
  local name=$1 cmd=$2 w=$3 h=$4 r0 f0 fr inside
  press F9
  sleep 1
  shot "$name-a-open"
  if ! menu_shown "$name-a-open"; then
    fail "$name" "the window did not open before the resize"
    return
  fi
  send fps 20
  r0=$(num resizes); f0=$(num resize_failures)
  send "$cmd $w $h"
  if ! wait_for 10 "\$(num resizes) > $r0 && \$(num width) == $w"; then
    fail "$name" "the game did not resize (failures $(num resize_failures), last $(status last_resize_result))"
    send fps 0
    return
  fi
  fr=$(num frames)
  sleep 0.3
  shot "$name-b-resized"
  press F9          # inside the cooldown: keeps the window closed
  inside=$(( $(num frames) - fr ))
  sleep 0.3
  shot "$name-c-cooldown"
  local closed1=0 closed2=0 reopened=0
  menu_gone "$name-b-resized" && closed1=1
  menu_gone "$name-c-cooldown" && closed2=1
  wait_for 20 "\$(num frames) >= $((fr + 140))"
  press F9          # after the cooldown: opens again
  sleep 1
  shot "$name-d-reopened"
  menu_shown "$name-d-reopened" && reopened=1
  send fps 0
  if [ "$inside" -ge 80 ]; then
    fail "$name" "the press meant for the cooldown came $inside frames after the resize (too late to test it)"
  elif [ "$(num resize_failures)" = "$f0" ] && [ $closed1 = 1 ] && [ $closed2 = 1 ] && [ $reopened = 1 ]; then
    pass "$name" "${cmd} to ${w}x${h} succeeded, closed the window, a press $inside frames later kept it closed, it reopened after the cooldown"
  else
    fail "$name" "resize failures $f0 -> $(num resize_failures), closed after resize $closed1, closed in cooldown $closed2, reopened $reopened"
  fi
  press Escape
}
if [ "$overlay_ready" = 1 ]; then
  resize_check resize_suspends resize 1280 800
  resize_check resize1_suspends resize1 1600 1000
else
  skip resize_suspends "$no_overlay"
  skip resize1_suspends "$no_overlay"
fi

# ---- 9. Unload ---------------------------------------------------------------------------------------------
if [ "$have_plugin" = 1 ]; then
  [ "$overlay_ready" = 1 ] && { press F9; sleep 1; }   # unload with the window open
  send unload
  sleep 0.5
  f0=$(num frames); pf0=$(num present_failures)
  sleep 1.5
  shot 05-unloaded
  f1=$(num frames)
  problems=""
  [ "$(num plugins_unloaded)" = 1 ] || problems+=" FreeLibrary failed;"
  [ "$(num host_unregister_during_unload)" -ge 1 ] || problems+=" the detach did not unregister the script;"
  [ "$(num host_scripts_left_after_unload)" = 0 ] || problems+=" a script was left registered;"
  [ "$(num hooked_slots)" = 0 ] && [ "$(num hooked_code)" = 0 ] || problems+=" hooks left in place;"
  [ "$(num wndproc_replaced)" = 0 ] || problems+=" window procedure not restored;"
  [ $((f1 - f0)) -ge 30 ] || problems+=" the game stopped presenting ($((f1 - f0)) frames in 1.5 s);"
  [ "$(num present_failures)" = "$pf0" ] || problems+=" Present failed after the unload;"
  menu_gone 05-unloaded || problems+=" the overlay is still drawn;"
  game_alive || problems+=" the game died;"
  if [ -z "$problems" ]; then
    pass unload "script unregistered by the detach, hooks and window procedure gone, the game keeps presenting ($((f1 - f0)) frames in 1.5 s)"
  else
    fail unload "$problems"
  fi
else
  skip unload "$no_plugin"
fi

# ---- 10. Every native call was well-formed and made on the script fiber ----------------------------------------
if [ "$have_plugin" = 1 ]; then
  if [ "$(num host_natives_off_fiber)" = 0 ] && [ "$(num world_unknown_hashes)" = 0 ] && [ "$(num world_faults)" = 0 ]; then
    pass natives "$(num host_natives_total) calls of $(num host_native_hashes) natives, all known to the world, well-formed, on the script fiber"
  else
    fail natives "off the script fiber $(num host_natives_off_fiber), unknown hashes $(num world_unknown_hashes), malformed $(num world_faults): $(sed -n 's/^world_fault=//p' "$game/e2e-status.txt" | head -n3 | tr '\n' ';')"
  fi
else
  skip natives "$no_plugin"
fi

# ---- 11. The game ends normally --------------------------------------------------------------------------------
send quit
for _ in $(seq 100); do game_alive || break; sleep 0.1; done
if game_alive; then
  fail game_exits "the game did not end on request"
else
  wait "$game_pid"; rc=$?
  if [ "$rc" = 0 ]; then pass game_exits "exit code 0"; else fail game_exits "exit code $rc (see wine-game.log)"; fi
fi
game_pid=""

{
  echo "dormant ${fps_dormant:-n/a}"
  echo "open ${fps_open:-n/a}"
  echo "closed ${fps_closed:-n/a}"
} >"$art/fps.txt"
note "frame rates (frames per second): dormant ${fps_dormant:-n/a}, editor open ${fps_open:-n/a}, editor closed ${fps_closed:-n/a}"
finish
