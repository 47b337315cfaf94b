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
have_overlay=0; has_src HookedPresent && has_src grcWindow && have_overlay=1
have_workspace=0; has_src EnsureWorkspaceFolders && have_workspace=1
have_settings_tab=0; has_src '"Disable HUD"' && has_src DrawSettingsPanel && have_settings_tab=1
no_plugin="Varnel.asi not built"
no_overlay="the overlay (Direct3D 12 hooks, window procedure, main window) is not built yet"

# ---- Status and commands --------------------------------------------------------
status() { sed -n "s/^$1=//p" "$game/e2e-status.txt" 2>/dev/null | head -n1; }
num() { local v; v=$(status "$1"); echo "${v:-0}"; }
# wait_for SECONDS EXPRESSION: polls a bash arithmetic expression over status.
wait_for() {
  local limit=$1 expr=$2 end=$((SECONDS + $1))
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
  f0=$(num frames); t0=$(num time_ms); sleep "$1"; f1=$(num frames); t1=$(num time_ms)
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
  Xvfb ":$n" -screen 0 1600x900x24 -nolisten tcp >"$art/xvfb.log" 2>&1 </dev/null &
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
(cd "$game" && exec timeout --kill-after=10 300 wine VarnelStandInGame.exe --width 1280 --height 720 --buffers 3 \
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
  p0=$(num host_passes); w0=$(num host_waits); f0=$(num frames)
  sleep 1
  p1=$(num host_passes); w1=$(num host_waits); f1=$(num frames)
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
fps_dormant=$(fps_over 3)
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
  else
    skip workspace_created "the workspace folders are not built yet"
  fi
  if [ "$have_overlay" = 0 ]; then
    skip first_press "$no_overlay"
  elif wait_for 30 '$(num hook_present) == 1 && $(num hook_execute_command_lists) == 1 && $(num wndproc_replaced) == 1'; then
    pass first_press "hooks on Present, ResizeBuffers $(num hook_resize_buffers), ResizeBuffers1 $(num hook_resize_buffers1), ExecuteCommandLists; window procedure replaced"
  else
    fail first_press "after F9: present hook $(num hook_present), queue hook $(num hook_execute_command_lists), window procedure $(num wndproc_replaced)"
  fi
fi

overlay_ready=0
if [ "$have_plugin" = 1 ] && [ "$have_overlay" = 1 ] && [ "$(num hook_present)" = 1 ]; then overlay_ready=1; fi

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
  fps_open=$(fps_over 3)
  note "fps with the editor open: $fps_open"
else
  skip menu_drawn "${no_overlay}"
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
if [ "$overlay_ready" = 1 ] && [ "$have_settings_tab" = 1 ]; then
  skip settings_controls "the click path through the Settings tab is not written yet"
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
  fps_closed=$(fps_over 3)
  note "fps with the editor closed (hooks in place): $fps_closed"
else
  skip escape_closes "$no_overlay"
  fps_closed=""
fi

# ---- 8. A resize suspends the menu until the cooldown is over -------------------------------------------------
# The cooldown is counted in frames; at a capped 30 frames per second its
# 90 frames last 3 s, long enough to press the hotkey inside it.
resize_check() {   # resize_check NAME COMMAND WIDTH HEIGHT
  local name=$1 cmd=$2 w=$3 h=$4 r0 f0
  press F9
  sleep 1
  shot "$name-a-open"
  if ! menu_shown "$name-a-open"; then
    fail "$name" "the window did not open before the resize"
    return
  fi
  send fps 30
  r0=$(num resizes); f0=$(num resize_failures)
  send "$cmd $w $h"
  if ! wait_for 10 "\$(num resizes) > $r0 && \$(num width) == $w"; then
    fail "$name" "the game did not resize (failures $(num resize_failures), last $(status last_resize_result))"
    send fps 0
    return
  fi
  sleep 0.5
  shot "$name-b-resized"
  press F9          # inside the cooldown: keeps the window closed
  sleep 0.5
  shot "$name-c-cooldown"
  local closed1=0 closed2=0 reopened=0
  menu_gone "$name-b-resized" && closed1=1
  menu_gone "$name-c-cooldown" && closed2=1
  sleep 3.5
  press F9          # after the cooldown: opens again
  sleep 1
  shot "$name-d-reopened"
  menu_shown "$name-d-reopened" && reopened=1
  send fps 0
  if [ "$(num resize_failures)" = "$f0" ] && [ $closed1 = 1 ] && [ $closed2 = 1 ] && [ $reopened = 1 ]; then
    pass "$name" "${cmd} to ${w}x${h} succeeded, closed the window, a press in the cooldown kept it closed, it reopened after"
  else
    fail "$name" "resize failures $f0 -> $(num resize_failures), closed after resize $closed1, closed in cooldown $closed2, reopened $reopened"
  fi
  press Escape
}
if [ "$overlay_ready" = 1 ]; then
  resize_check resize_suspends resize 1024 640
  resize_check resize1_suspends resize1 1280 720
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

# ---- 10. The game ends normally --------------------------------------------------------------------------------
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
