#!/usr/bin/env bash
# End-to-end test of Varnel.asi under Wine and Xvfb: the stand-in game loads
# the stand-in script host, which loads the plug-in; the test presses keys
# and clicks with xdotool, reads the game's status file and checks
# screenshots. The checks are the rows of the table at the end, run in order.
# Screenshots, logs and frame rates go to the artifacts folder.
# Nothing waits a fixed time for the game or the editor: each step waits for
# the state it needs as the game reports it (frames presented, frames the
# overlay drew, counters of what the plug-in did), with a generous limit
# that fails saying what it saw. Only the input tool's events are paced by
# short sleeps. A check that something does not happen watches for a number
# of game frames.
#
# The build's hook engine (hook-engine.txt in the build folder: "MinHook"
# or "built-in") tells the first press how the hooks must show in the game:
# MinHook patches the methods' code, the built-in engine their method-table
# entries.
#
# Usage: tests/e2e/run_e2e.sh [windows build folder] [artifacts folder] [all|hooking]
#   hooking: only the checks that concern the hooks, with those they build on
# Exit status: 0 when no check failed (skipped checks say why).
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/windows}
art=${2:-$here/build/e2e-artifacts}
selection=${3:-all}
case $selection in all|hooking) ;; *) echo "run_e2e: no selection '$selection' (all or hooking)" >&2; exit 2 ;; esac
build=$(cd "$build" 2>/dev/null && pwd || echo "$build")
mkdir -p "$art"
art=$(cd "$art" && pwd)
rm -f "$art"/*.png "$art"/*.txt "$art"/*.log "$art"/*.xml

work=$here/build/e2e-run            # game folder, Wine prefix and home
game=$work/game
export WINEPREFIX=$work/prefix
export HOME=$work/home              # the prefix's Documents link points here
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY

passed=0 failed=0 skipped=0
results=$art/results.txt

# Every limit below is one that a machine of two cores meets with room also
# while other work shares them. VARNEL_TEST_TIME_SCALE (a number from 1 to
# 1000), as for the test programs, multiplies them all on a slower machine.
scale_milli=$(awk -v s="${VARNEL_TEST_TIME_SCALE:-1}" \
  'BEGIN { if (s ~ /^[0-9]+(\.[0-9]+)?$/ && s >= 1 && s <= 1000) printf "%d", s * 1000; else print 0 }')
if [ "$scale_milli" -eq 0 ]; then
  echo "run_e2e: VARNEL_TEST_TIME_SCALE=$VARNEL_TEST_TIME_SCALE is no number from 1 to 1000: the limits stay as they are" >&2
  scale_milli=1000
fi
scaled() { echo $(( ($1 * scale_milli + 999) / 1000 )); }
# The stand-in game's whole life: every check of a run, with room.
game_seconds=$(scaled 1500)
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
# Wine's line for a crash of one of the game's threads. A crash fails the
# run even when the game's exit raced the crash handler and gave 0, or the
# checks after it were skipped because the game had ended.
crash_line='wine: Unhandled \|Unhandled exception: '
finish() {
  if grep -q "$crash_line" "$art/wine-game.log" 2>/dev/null; then
    fail game_crashed "$(grep -m1 "$crash_line" "$art/wine-game.log") (see wine-game.log)"
  fi
  echo "e2e: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
  exit $?
}

# ---- Status, commands and verdicts -------------------------------------------
# num KEY [FILE]: a number of the status (0 when missing). Values that belong
# together come from one copy of the status file (snapshot, snum).
num() { local v; v=$(sed -n "s/^$1=//p" "${2:-$game/e2e-status.txt}" 2>/dev/null | head -n1); echo "${v:-0}"; }
# A copy that fails is tried again for up to a second; after that there is
# no copy (snum answers 0), never an older one.
snapshot() {
  local try
  for try in {1..20}; do cp "$game/e2e-status.txt" "$work/snapshot.txt" 2>/dev/null && return 0; sleep 0.05; done
  rm -f "$work/snapshot.txt"
  return 1
}
snum() { num "$1" "$work/snapshot.txt"; }
game_alive() { [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; }
# wait_for SECONDS EXPRESSION: polls a bash arithmetic expression over status
# until it holds (0), the time is up (1) or the game has ended (2).
wait_for() {
  local expr=$2 end=$((SECONDS + ($1 * scale_milli + 999) / 1000))
  while :; do
    eval "(( $expr ))" 2>/dev/null && return 0
    game_alive || return 2
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}
# snapshot_until SECONDS EXPRESSION: copies the status until the expression
# (over snum) holds in the copy; 0, 1 and 2 as wait_for.
snapshot_until() {
  local end=$((SECONDS + ($1 * scale_milli + 999) / 1000))
  while :; do
    snapshot && eval "(( $2 ))" 2>/dev/null && return 0
    game_alive || return 2
    [ $SECONDS -lt $end ] || return 1
    sleep 0.1
  done
}
# fresh KEY: the value of KEY in a status the game wrote after this call began.
fresh() {
  local t0; t0=$(num time_ms)
  wait_for 30 "\$(num time_ms) != $t0"
  num "$1"
}
# count_up KEY N [SECONDS]: waits until the counter KEY has risen by N from
# its value now (60 s at most); when it does not, says what it saw in the
# check's problems, and later calls for KEY in the same check fail at once.
#   frames           frames the game presented (one pass of the plug-in's script each)
#   overlay_signals  the overlay's submissions on the game's queue (one per frame it drew)
stalled=" "
count_up() {
  local key=$1 n=$2 limit=${3:-60} base
  [[ $stalled == *" $key "* ]] && return 1
  base=$(fresh "$key")
  wait_for "$limit" "\$(num $key) >= $((base + n))" && return 0
  stalled+="$key "
  if game_alive; then problems+=" $key rose from $base to $(num "$key") in $limit s, not by $n;"
  else problems+=" the game ended (see game.log, wine-game.log);"; fi
  return 1
}
# Frames the overlay draws after an input before the test looks: the events
# reach the window procedure in the next frame's message pump, the UI takes
# a mouse move, a press and a release one frame each, and draws the result.
settle() { count_up overlay_signals 10; }
# The plug-in's last status line in the game's log.
overlay_said() { sed -n 's/.*debug: Varnel: //p' "$game/e2e-game.log" 2>/dev/null | tail -n1; }
send() {
  local before; before=$(num commands_done)
  printf '%s\n' "$*" >"$game/e2e-command.tmp" && mv "$game/e2e-command.tmp" "$game/e2e-command.txt"
  wait_for 60 "\$(num commands_done) > $before" && return 0
  problems+=" the game did not take the command '$*';"
  return 1
}
# A check collects problems with want (an arithmetic expression over the
# status) or want_that (a command), each with what it means when it fails,
# and ends with verdict (its message when nothing failed).
want() { eval "(( $1 ))" 2>/dev/null || problems+=" $2;"; }
want_that() { "${@:1:$#-1}" || problems+=" ${!#};"; }
holds() { "$@" && echo 1 || echo 0; }   # a command's success as 1 or 0, for wait_for
verdict() { if [ -z "$problems" ]; then why=$1; return 0; fi; why=${problems# }; return 1; }

# ---- Input and screenshots --------------------------------------------------------
x() { timeout 10 xdotool "$@" >/dev/null 2>&1; }
focus() { local w; w=$(timeout 10 xdotool search --name 'Varnel stand-in game' 2>/dev/null | head -n1); [ -n "$w" ] && x windowfocus --sync "$w"; }
# The plug-in reads the key state once per frame: a key is held until the
# game has presented a few frames since, and after its release likewise.
press() { focus; x keydown "$1"; count_up frames 3; x keyup "$1"; count_up frames 3; }
# A click, then the overlay's frames that take it in (the editor's window is open).
click() { x mousemove "$1" "$2"; sleep 0.15; x mousedown 1; sleep 0.2; x mouseup 1; settle; }
park_mouse() { x mousemove "$(($(num width) - 5))" "$(($(num height) - 5))"; settle; }
shot() { timeout 20 import -window root "$art/$1.png" 2>/dev/null; }
# shot_until SHOT TEST [ARG...]: screenshots until TEST SHOT ARG... holds,
# five at most, with frames presented between them; false when it never did.
shot_until() {
  local name=$1 try; shift
  for try in 1 2 3 4 5; do
    shot "$name"
    "$1" "$name" "${@:2}" && return 0
    [ "$try" -lt 5 ] && count_up frames 10
  done
  return 1
}
screen_geom() { echo "$(num width)x$(num height)+0+0"; }
# Pixels of a crop (WxH+X+Y) as "x y r g b" lines.
pixels() {
  timeout 20 convert "$art/$1.png" -crop "$2" +repage -depth 8 rgb:- 2>/dev/null |
    od -An -v -tu1 -w3 | awk -v w="${2%%x*}" '{ i = NR - 1; print i % w, int(i / w), $1, $2, $3 }'
}
near_fn='function near(r, g, b, R, G, B, t) { return (r-R)^2 <= t*t && (g-G)^2 <= t*t && (b-B)^2 <= t*t }'
# count_near SHOT GEOM R G B TOL [0]: pixels near the colour (with 0: the others).
count_near() { pixels "$1" "$2" | awk -v R="$3" -v G="$4" -v B="$5" -v T="$6" -v N="${7:-1}" "$near_fn"' near($3,$4,$5,R,G,B,T) == N { n++ } END { print n + 0 }'; }

# The game's background and the theme's colours (8-bit).
BG="26 140 89"
TITLE_ACTIVE="46 33 33"; TITLE="36 26 26"
TAB="61 43 43"; TAB_SELECTED="217 89 89"

# The main window's colours over the game's background, or nothing over it.
menu_shown() {
  local geom; geom=$(screen_geom)
  title=$(( $(count_near "$1" "$geom" $TITLE_ACTIVE 2) + $(count_near "$1" "$geom" $TITLE 2) ))
  tabsel=$(count_near "$1" "$geom" $TAB_SELECTED 3)
  tab=$(count_near "$1" "$geom" $TAB 3)
  bg=$(count_near "$1" "$geom" $BG 2)
  [ "$title" -ge 2000 ] && [ "$tabsel" -ge 150 ] && [ "$tab" -ge 150 ] && [ "$bg" -ge 100000 ]
}
menu_seen() { echo "title bar $title px, selected tab $tabsel px, tabs $tab px, background $bg px (see $1.png)"; }
# open_menu SHOT: F9, then whether the menu is drawn.
open_menu() { press F9; settle; shot_until "$1" menu_shown; }
# The part of the game's sky patch (its own colour, not the editor's; at
# 1380..1540 x 720..880) inside the game's picture (WxH+X+Y), or nothing.
sky_patch_in() {
  local x1 y1
  x1=$(( $(num width) < 1540 ? $(num width) : 1540 )); y1=$(( $(num height) < 880 ? $(num height) : 880 ))
  [ "$x1" -gt 1380 ] && [ "$y1" -gt 720 ] && echo "$((x1 - 1380))x$((y1 - 720))+1380+720"
}
# The game's water square (its own colour, from the water tuning block that
# an edit leaves changed after the unload; width-180..width-30 x 20..170).
water_square_in() { echo "150x150+$(($(num width) - 180))+20"; }
menu_gone() {
  local patch other; patch=$(sky_patch_in)
  other=$(count_near "$1" "$(water_square_in)" $BG 2 0)
  [ -n "$patch" ] && other=$((other + $(count_near "$1" "$patch" $BG 2 0)))
  [ "$(count_near "$1" "$(screen_geom)" $BG 2 0)" = "$other" ]
}
menu_shown_now() { shot menu-now && menu_shown menu-now; }
# The tab bar is the first row of the selected tab's colour; on a row just
# below its top edge the tabs show as runs of the Tab and TabSelected
# colours: one "S|T x0 x1 y" line per tab.
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
tab_classes() { tab_runs "$1" | cut -d' ' -f1 | tr -d '\n'; }
tabs_are() { [ "$(tab_classes "$1")" = "$2" ]; }
# click_tab SHOT N: clicks the Nth tab found in the screenshot.
click_tab() { local t x0 x1 y; read -r t x0 x1 y < <(tab_runs "$1" | sed -n "$2p"); [ -n "${y:-}" ] && click $(((x0 + x1) / 2)) $((y + 4)); park_mouse; }
# bands SHOT CLASS MINRUN MAXRUN XMIN XMAX YMIN: blocks of rows whose first
# run of CLASS pixels (starting between XMIN and XMAX, MINRUN to MAXRUN long)
# starts in the same column (any column for the header bars, whose text
# splits their rows); one "y0 y1 x0 x1" line per block of at least 6 rows.
#   header  the collapsing headers' red bars;  frame  the frames of check
#   boxes and sliders (FrameBg);  save  the blue-grey "Save settings" button
bands() {
  pixels "$1" "$(screen_geom)" | awk -v cls="$2" -v minrun="$3" -v maxrun="$4" -v xmin="$5" -v xmax="$6" -v ymin="$7" "$near_fn"'
    function member(r, g, b) {
      if (cls == "header") return r >= 130 && r - g >= 60 && r - b >= 60
      if (cls == "frame") return near(r, g, b, 61, 43, 43, 6)
      if (cls == "save") return b >= r + 3 && r < 90 && g < 90 && b < 90
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
# found SHOT FILE LINES CLASS ...: the bands of CLASS (bands' arguments) into
# FILE; true when there are at least LINES of them.
found() { bands "$1" "${@:4}" >"$2"; [ "$(wc -l <"$2")" -ge "$3" ]; }
# fps_over SECONDS: the game's frame rate over that time (a measurement, not a wait).
fps_over() {
  local f0 t0 f1 t1
  snapshot; f0=$(snum frames); t0=$(snum time_ms)
  sleep "$1"
  snapshot; f1=$(snum frames); t1=$(snum time_ms)
  awk -v f="$((f1 - f0))" -v t="$((t1 - t0))" 'BEGIN { if (t > 0) printf "%.0f", f * 1000 / t; else print 0 }'
}

# ---- The checks -------------------------------------------------------------------------
check_game_presents() {
  (cd "$game" && exec timeout --kill-after=10 "$game_seconds" wine VarnelStandInGame.exe </dev/null >"$art/wine-game.log" 2>&1) &
  game_pid=$!
  problems=""
  wait_for 90 '$(num frames) >= 120' || problems="no frames from the stand-in game (see game.log, wine-game.log)"
  focus
  verdict "$(num frames) frames, present failures $(num present_failures)"
}
check_plugin_loads() {
  want '$(num host_plugins_loaded) == 1' "loaded $(num host_plugins_loaded) (error $(num host_plugin_load_error))"
  want '$(num host_register_calls) == 1 && $(num host_scripts) == 1' "registered $(num host_register_calls), scripts $(num host_scripts)"
  want '$(num host_register_foreign) == 0' "the registered script lies outside the plug-in's image"
  verdict "loaded by the host, one script of its own registered"
}
check_script_loop() {   # over 60 game frames: a pass of the script in each, each ending in a wait of 0 ms
  local p0 w0 f0 p1 w1 f1
  fresh frames >/dev/null
  snapshot_until 30 '$(snum frames) > 0'
  p0=$(snum host_passes); w0=$(snum host_waits); f0=$(snum frames)
  snapshot_until 60 "\$(snum frames) >= $((f0 + 60))"
  p1=$(snum host_passes); w1=$(snum host_waits); f1=$(snum frames)
  want "$((f1 - f0)) >= 60" "the game presented $((f1 - f0)) frames in 60 s"
  want "$((p1 - p0)) >= $((f1 - f0 - 1)) && $((w1 - w0)) >= $((p1 - p0 - 1))" "passes $((p1 - p0)), waits $((w1 - w0)) in $((f1 - f0)) frames"
  want '$(num host_waits_nonzero) == 0 && $(num host_waits_off_fiber) == 0' "waits non-zero $(num host_waits_nonzero), off the fiber $(num host_waits_off_fiber)"
  want '$(num host_scripts_returned) == 0' "the script returned"
  verdict "$((p1 - p0)) passes and $((w1 - w0)) waits of 0 ms in $((f1 - f0)) frames, on the script fiber"
}
check_dormant() {   # Escape before the first menu-hotkey press changes nothing
  local esc0; esc0=$(num game_escape_downs)
  press Escape
  count_up frames 60   # the frames the plug-in had to react
  shot 01-dormant
  want '$(num hooked_slots) == 0 && $(num hooked_code) == 0' "hooks installed"
  want '$(num wndproc_replaced) == 0' "window procedure replaced"
  want '$(num host_natives_total) == 0' "$(num host_natives_total) natives called"
  want '$(num image_guard_intact) == 1 && $(num private_guard_intact) == 1' "memory scanned (a guard page was touched)"
  want_that [ ! -e "$docs/VRN/Imports" ] "workspace folders created"
  want_that menu_gone 01-dormant "pixels drawn over the game"
  want "\$(num game_escape_downs) > $esc0" "Escape did not reach the game"
  verdict "no hooks, window procedure kept, no natives, no memory scan, no folders, nothing drawn; Escape reaches the game"
}
# How the four hooks show in the game with the build's engine: the methods'
# code patched (MinHook) or their method-table entries replaced (built-in).
hooks_by_engine() {
  case $engine in
    MinHook) echo '$(num hooked_code) == 4 && $(num hooked_slots) == 0' ;;
    built-in) echo '$(num hooked_slots) == 4 && $(num hooked_code) == 0' ;;
    *) echo 1 ;;
  esac
}
check_first_press() {   # guard pages off: from here on the editor may search the game's memory
  send unguard
  press F9
  wait_for 60 '$(num hook_present) == 1 && $(num hook_execute_command_lists) == 1 && $(num wndproc_replaced) == 1' ||
    problems="after F9: present hook $(num hook_present), queue hook $(num hook_execute_command_lists), window procedure $(num wndproc_replaced)"
  wait_for 30 "$(hooks_by_engine)" ||
    problems+=" the $engine engine's hooks: $(num hooked_code) methods' code patched, $(num hooked_slots) table entries replaced;"
  [ -z "$problems" ] && overlay_ready=1
  verdict "hooks on Present, ResizeBuffers $(num hook_resize_buffers), ResizeBuffers1 $(num hook_resize_buffers1), ExecuteCommandLists by the $engine engine ($(num hooked_code) methods' code patched, $(num hooked_slots) table entries replaced); window procedure replaced"
}
check_workspace_created() {
  wait_for 60 '$(holds [ -d "$docs/VRN/Imports" ]) && $(holds [ -d "$docs/VRN/Exports" ])' ||
    problems="no Imports and Exports folders in $docs/VRN after the first press"
  verdict "Imports and Exports folders in Documents\\VRN on the first press"
}
check_menu_drawn() {   # the overlay's first set-up, then its first frames (shaders compiled on lavapipe)
  wait_for 120 '$(num overlay_signals) >= 10' ||
    { problems="the overlay drew $(num overlay_signals) frames in 120 s (its last status: $(overlay_said))"; verdict; return; }
  park_mouse
  shot_until 02-menu-open menu_shown || problems+=" $(menu_seen 02-menu-open)"
  verdict "title bar $title px, selected tab $tabsel px, tabs $tab px in the theme's colours; background $bg px"
}
check_tab_click() {
  local mouse0; mouse0=$(num game_mouse_messages)
  want_that [ "$(tab_classes 02-menu-open)" = STTTTT ] "expected six tabs with the first selected, found $(tab_classes 02-menu-open)"
  click_tab 02-menu-open 6
  shot_until 03-settings-tab tabs_are TTTTTS || problems+=" tabs after the click: $(tab_classes 03-settings-tab);"
  want "\$(num game_mouse_messages) == $mouse0" "the game got mouse messages"
  verdict "the clicked sixth tab (Settings) shows TabSelected, the others Tab; the game got no mouse message"
}
check_settings_controls() {   # game controls by clicks (natives and VRN.ini)
  park_mouse
  shot_until 06-settings-panel found "$art/headers.txt" 4 header 300 5000 0 5000 0 ||
    { problems="expected four collapsing headers, found $(wc -l <"$art/headers.txt")"; verdict; return; }
  local gy0 gy1 gx0 hud blackout lapse sets0 hide0 save
  read -r gy0 gy1 gx0 _ < <(sed -n 3p "$art/headers.txt")   # Layout, Hotkeys, Game Controls, Folders
  click $((gx0 + 120)) $(((gy0 + gy1) / 2))
  park_mouse
  shot_until 07-game-controls found "$art/checkboxes.txt" 7 frame 12 40 "$gx0" $((gx0 + 40)) "$gy1" ||
    { problems="expected seven check boxes under Game Controls, found $(wc -l <"$art/checkboxes.txt")"; verdict; return; }
  # Disable HUD, Disable Idle Camera, Disable Pedestrians, Disable Vehicles, Blackout Mode, Enable Free Cam, Timelapse.
  hud=$(sed -n 1p "$art/checkboxes.txt"); blackout=$(sed -n 5p "$art/checkboxes.txt"); lapse=$(sed -n 7p "$art/checkboxes.txt")
  sets0=$(num world_clock_sets); hide0=$(num native_719FF505F097FD20)
  # shellcheck disable=SC2046
  click $(box_center $hud); click $(box_center $blackout); click $(box_center $lapse)
  park_mouse
  wait_for 60 "\$(num world_hud_visible) == 0 && \$(num native_719FF505F097FD20) > $hide0 && \$(num world_blackout) == 1 && \$(num world_clock_sets) > $sets0"
  want '$(num world_hud_visible) == 0' "the world's HUD is still shown"
  want "\$(num native_719FF505F097FD20) > $hide0" "no per-frame HUD-hidden native"
  want '$(num world_blackout) == 1' "the world is not in blackout"
  want "\$(num world_clock_sets) > $sets0" "the timelapse set no clock"
  shot_until 08-controls-on found "$art/save-button.txt" 1 save 12 400 0 5000 0
  save=$(head -n1 "$art/save-button.txt")   # Save settings: VRN.ini holds the HUD setting
  # shellcheck disable=SC2046
  [ -n "$save" ] && { click $(box_center $save); park_mouse; }
  wait_for 60 '$(holds grep -qs "^GameHudVisible *= *0" "$docs/VRN/VRN.ini")' ||
    problems+=" Save settings did not write GameHudVisible=0 to VRN.ini;"
  cp "$docs/VRN/VRN.ini" "$art/VRN.ini" 2>/dev/null
  verdict "Disable HUD, Blackout Mode and Timelapse ticked by clicks; the world got the HUD, blackout and clock natives; Save settings wrote VRN.ini"
}
# ---- The Timecycles tab ------------------------------------------------------------------
# The game keeps a keyframe table holding the GLOBAL values of a real
# timecycle file (w_clear.xml, weather CLEAR) and paints its sky patch in the
# sky zenith colour of its weather and keyframe read there. The test puts
# that file into Imports, loads it with "Load .xml", types 0.5 as the red
# value into the colour's R field found by a search, holds "Hold for before /
# after", and exports it; each step is checked in the picture and the status.
sky_rgb() { snapshot; echo "$(snum sky_r) $(snum sky_g) $(snum sky_b)"; }
# sky_shown SHOT R G B: the visible part of the sky patch is of that colour.
sky_shown() {
  local patch; patch=$(sky_patch_in)
  [ -n "$patch" ] && [ "$(count_near "$1" "$patch" "$2" "$3" "$4" 2 0)" = 0 ]
}
# The tab's buttons and fields in a screenshot, one "y0 y1 x0 x1" line each.
tc_load() { bands "$1" save 90 100 0 5000 0 | head -n1; }           # "Load .xml" (96 px)
tc_export() { bands "$1" save 98 110 "$2" 5000 0 | awk -v y="$3" '$1 <= y && $2 >= y' | head -n1; }   # "Export .xml" on Load's row
tc_hold() { bands "$1" save 180 200 0 5000 "$2" | head -n1; }         # "Hold for before / after" (190 px)
tc_search() { bands "$1" frame 200 2000 0 5000 "$2" | head -n1; }      # "Search values..." (below Load and the controls)
# The first field of each row in the parameter pane, one band each.
tc_fields() { bands "$1" frame 40 300 0 5000 "$2"; }
has_load() { [ -n "$(tc_load "$1")" ]; }
# The search's two rows: the sky zenith colour (its R field first, under a
# third of the pane) and its intensity.
sky_rows_found() { tc_fields "$1" "$2" | awk '{ n++; if (n == 1) w = $4 - $3 } END { exit !(n == 2 && w < 200) }'; }
# Lines of the exported file that differ from the loaded one, and in each
# the numbers that differ: "line field old new" rows.
numbers_changed() {
  awk 'NR == FNR { a[FNR] = $0; n = FNR; next }
       { if (a[FNR] != $0) { p = split(a[FNR], x, /[ <>]+/); q = split($0, y, /[ <>]+/)
           if (p != q) print FNR, "-", "-", "-"; else for (i = 1; i <= p; i++) if (x[i] != y[i]) print FNR, i, x[i], y[i] } }
       END { if (FNR != n) print "lines", n, FNR, "-" }' "$1" "$2"
}
# file_sky FILE KEYFRAME: the first region's sky zenith colour of a timecycle
# file at that keyframe, as the game's 0..255 channels ("R G B").
file_sky() {
  awk -v k="$2" 'match($0, /<sky_zenith_col_[rgb]>/) && !(substr($0, RSTART + 16, 1) in seen) {
      c = substr($0, RSTART + 16, 1); seen[c] = 1
      line = $0; sub(/^[^>]*>/, "", line); sub(/<.*$/, "", line); split(line, v, " ")
      x = v[k + 1] + 0; x = x < 0 ? 0 : (x > 1 ? 1 : x); out[c] = int(x * 255 + 0.5) }
    END { print out["r"] + 0, out["g"] + 0, out["b"] + 0 }' "$1"
}
check_timecycles_tab() {
  [ -f "$timecycle_file" ] || { why="no real timecycle file at $timecycle_file"; return 3; }
  local imports="$docs/VRN/Imports/Timecycles" exported="$docs/VRN/Exports/Timecycles/w_clear.xml"
  local load search field hold saving kf r g b fr fg fb cx cy line
  mkdir -p "$imports" && cp "$timecycle_file" "$imports/w_clear.xml"
  rm -f "$exported"
  park_mouse
  # The editor's window is open: its first tab is clicked (it may show another).
  shot_until 20-tc-tabs menu_shown || { problems="the window is not open: $(menu_seen 20-tc-tabs)"; verdict; return; }
  click_tab 20-tc-tabs 1
  shot_until 20-tc-imports has_load ||
    { problems="no enabled \"Load .xml\" button (see 20-tc-imports.png)"; verdict; return; }
  load=$(tc_load 20-tc-imports)
  # shellcheck disable=SC2046
  click $(box_center $load); park_mouse
  # The tick switches the game to CLEAR; the preview finds the table and writes the file into it (its URBAN rows too).
  wait_for 120 '$(num sky_from_table) == 1 && $(num table_urban_values) > 0' ||
    { problems="after Load .xml: sky from the table $(num sky_from_table), URBAN values written $(num table_urban_values) (last status: $(overlay_said))"; verdict; return; }
  # The sky stays in the file's colour once the load's hold is over: the
  # game's current timecycle block (other values) never replaces the file's.
  count_up overlay_signals 30
  read -r r g b <<<"$(sky_rgb)"; kf=$(snum sky_keyframe)
  read -r fr fg fb <<<"$(file_sky "$timecycle_file" "$kf")"
  want "(r - fr) * (r - fr) <= 1 && (g - fg) * (g - fg) <= 1 && (b - fb) * (b - fb) <= 1" \
    "after the load the game's sky is ($r, $g, $b), not the file's ($fr, $fg, $fb) at keyframe $kf"
  shot_until 21-tc-loaded sky_shown "$r" "$g" "$b" || problems+=" the sky patch is not ($r, $g, $b) after the load (see 21-tc-loaded.png);"
  # The search leaves the sky zenith colour row (R, G, B fields) and its intensity; R is the first field.
  search=$(tc_search 21-tc-loaded $(( $(cut -d' ' -f2 <<<"$load") + 100 )))
  [ -n "$search" ] || { problems+=" no search field (see 21-tc-loaded.png)"; verdict; return; }
  read -r line _ <<<"$search"; line=$((line + 30))   # below the search field
  click $(( $(cut -d' ' -f3 <<<"$search") + 60 )) $(( $(cut -d' ' -f1 <<<"$search") + 4 ))
  x type --delay 60 sky_zenith_col_
  settle; park_mouse
  shot_until 22-tc-search sky_rows_found "$line" ||
    { problems+=" the search did not find the sky zenith colour and intensity rows: $(tc_fields 22-tc-search "$line" | wc -l) fields (see 22-tc-search.png)"; verdict; return; }
  field=$(tc_fields 22-tc-search "$line" | head -n1)
  read -r cy _ <<<"$field"; cx=$(( ($(cut -d' ' -f3 <<<"$field") + $(cut -d' ' -f4 <<<"$field")) / 2 ))
  # Ctrl+click types into the R field (all its text selected): 0.5, Enter
  # (typed, not held: a held key would repeat). 0.5 is 128 of 255 in the game.
  focus; x keydown ctrl; count_up frames 3
  click "$cx" $((cy + 4))
  x keyup ctrl; count_up frames 3
  x type --delay 100 0.5; count_up frames 3; x key Return; park_mouse
  wait_for 60 "\$(num sky_r) == 128 && \$(num sky_g) == $g && \$(num sky_b) == $b" ||
    { problems+=" after typing 0.5 into R the game's sky is ($(sky_rgb)), not (128, $g, $b);"; verdict; return; }
  shot_until 23-tc-edited sky_shown 128 "$g" "$b" || problems+=" the sky patch is not (128, $g, $b) after the edit (see 23-tc-edited.png);"
  # Held down, the button shows the game's own colour; released, the edit again.
  hold=$(tc_hold 23-tc-edited "$(cut -d' ' -f2 <<<"$load")")
  if [ -n "$hold" ]; then
    # shellcheck disable=SC2046
    x mousemove $(box_center $hold); settle; x mousedown 1
    wait_for 30 "\$(num sky_r) == $r" || problems+=" holding the button left the game's sky at ($(sky_rgb));"
    shot_until 24-tc-before sky_shown "$r" "$g" "$b" || problems+=" the sky patch is not ($r, $g, $b) while held (see 24-tc-before.png);"
    x mouseup 1; settle; park_mouse
    wait_for 30 '$(num sky_r) == 128' || problems+=" after the release the game's sky is ($(sky_rgb));"
    shot_until 25-tc-after sky_shown 128 "$g" "$b" || problems+=" the sky patch is not (128, $g, $b) after the release (see 25-tc-after.png);"
  else
    problems+=" no enabled \"Hold for before / after\" button (see 23-tc-edited.png);"
  fi
  # "Export .xml": the loaded file with only the edited number changed.
  saving=$(tc_export 25-tc-after "$(cut -d' ' -f4 <<<"$load")" "$(( ($(cut -d' ' -f1 <<<"$load") + $(cut -d' ' -f2 <<<"$load")) / 2 ))")
  if [ -n "$saving" ]; then
    # shellcheck disable=SC2046
    click $(box_center $saving); park_mouse
    wait_for 30 '$(holds [ -s "$exported" ])' || problems+=" Export .xml wrote no $exported;"
  else
    problems+=" no enabled \"Export .xml\" button (see 25-tc-after.png);"
  fi
  if [ -s "$exported" ]; then
    cp "$exported" "$art/exported-w_clear.xml"
    numbers_changed "$timecycle_file" "$exported" >"$art/exported-changes.txt"
    read -r line field _ <"$art/exported-changes.txt"
    want_that [ "$(wc -l <"$art/exported-changes.txt")" = 1 ] "the export changed $(wc -l <"$art/exported-changes.txt") numbers, not one: $(head -n3 "$art/exported-changes.txt" | tr '\n' ';')"
    want_that grep -q "^ *<sky_zenith_col_r>" <(sed -n "${line:-0}p" "$exported") "the changed line is not GLOBAL sky_zenith_col_r: $(head -n1 "$art/exported-changes.txt")"
    want "${line:-0} < 429 && ${field:-0} == $((kf + 3))" "the changed number is not keyframe $kf of GLOBAL: $(head -n1 "$art/exported-changes.txt")"
    want_that awk '{ exit !($4 + 0 == 0.5) }' "$art/exported-changes.txt" "the exported value is not 0.5: $(head -n1 "$art/exported-changes.txt")"
  fi
  verdict "w_clear.xml loaded from Imports into the game's table (sky ($r, $g, $b), the file's colour, at keyframe $kf); R typed as 0.5 made the game's sky (128, $g, $b); held, the button showed ($r, $g, $b); the export differs only in that number"
}
# ---- Timecycle modifiers: a file from Imports, edited in its tab, live in the game's heap ----
# The modifier file of the check below: laid out like the game's first file
# (637 modifiers, 19,187 rows), its first modifier holding the values of the
# stand-in game's block (stand_in_game.cpp), the others filler values.
modifier_file() {
  awk 'BEGIN {
    printf "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<timecycle_modifier_data version=\"1.000000\">\r\n"
    printf "  <modifier name=\"e2e_tunnel\" numMods=\"6\" userFlags=\"0\">\r\n"
    split("17.375 0.625 2.750 1.000 0.125 3.500 40.000 0.250 5.500 0.875 0.375 12.125", v, " ")
    for (r = 0; r < 6; r++) printf "    <row_%d>%s %s</row_%d>\r\n", r, v[2 * r + 1], v[2 * r + 2], r
    printf "  </modifier>\r\n"
    rows = 19187 - 6
    for (m = 1; m < 637; m++) {
      n = int(rows / 636) + (m - 1 < rows % 636 ? 1 : 0)
      printf "  <modifier name=\"filler_%d\" numMods=\"%d\" userFlags=\"0\">\r\n", m, n
      for (r = 0; r < n; r++) printf "    <var_%d>%d.%02d 1.0%d</var_%d>\r\n", r, m, r % 100, r % 10, r
      printf "  </modifier>\r\n"
    }
    printf "</timecycle_modifier_data>\r\n"
  }'
}
# drag X Y DX: the left button held down at X, Y and the mouse moved DX
# pixels to the right in six steps, each taken in by the overlay's frames.
drag() {
  x mousemove "$1" "$2"; sleep 0.15; x mousedown 1; settle
  for _ in 1 2 3 4 5 6; do x mousemove_relative -- $(($3 / 6)) 0; count_up overlay_signals 2; done
  x mouseup 1; settle
}
modifier_block() { echo "rows as planted $(num modifier_rows_original), changed $(num modifier_rows_changed), first value $(num modifier_first_value_milli)/1000, the game's own bytes intact $(num modifier_own_bytes_intact)"; }
bands_seen() { echo "$(wc -l <"$1") found: $(tr '\n' ';' <"$1")"; }
check_modifier_live() {
  local folder="$docs/VRN/Imports/Timecycle Mods" load apply clear value ly1 ay1 ax0 vy0 vy1 vx0 written
  want '$(num modifier_rows_original) == 6 && $(num modifier_own_bytes_intact) == 1' "the game's block is not as planted: $(modifier_block)"
  mkdir -p "$folder" && modifier_file >"$folder/timecycle_mods_1.xml" ||
    { problems+=" could not write $folder/timecycle_mods_1.xml;"; verdict; return; }
  park_mouse
  shot_until 09-mods-tab-before menu_shown || { problems+=" $(menu_seen 09-mods-tab-before);"; verdict; return; }
  click_tab 09-mods-tab-before 2
  shot_until 09-mods-tab tabs_are TSTTTT ||
    { problems+=" a click on the second tab gave $(tab_classes 09-mods-tab) (see 09-mods-tab.png);"; verdict; return; }
  # Load .xml: the first blue-grey button 96 wide (its text splits it in two bands).
  found 09-mods-tab "$art/mods-load.txt" 1 save 90 100 0 5000 0 ||
    { problems+=" no Load .xml button in the Timecycle Mods tab (see 09-mods-tab.png);"; verdict; return; }
  load=$(head -n1 "$art/mods-load.txt"); read -r _ ly1 _ _ <<<"$load"
  # shellcheck disable=SC2046
  click $(box_center $load); park_mouse
  # The file's first modifier is selected: Apply modifier (116 wide), Clear
  # live beside it, and the first row's Value field below them.
  shot_until 09-mods-loaded found "$art/mods-apply.txt" 1 save 100 125 0 5000 $((ly1 + 40)) ||
    { problems+=" the file did not load: no Apply modifier button below Load .xml (see 09-mods-loaded.png);"; verdict; return; }
  apply=$(head -n1 "$art/mods-apply.txt"); read -r _ ay1 ax0 _ <<<"$apply"
  found 09-mods-loaded "$art/mods-clear.txt" 1 save 70 100 $((ax0 + 100)) 5000 $((ay1 - 12)) ||
    { problems+=" no Clear live button beside Apply modifier at $apply, bands $(bands_seen "$art/mods-clear.txt") (see 09-mods-loaded.png);"; verdict; return; }
  found 09-mods-loaded "$art/mods-value.txt" 1 frame 15 100 "$ax0" 5000 $((ay1 + 1)) ||
    { problems+=" no Value field below Apply modifier at $apply (see 09-mods-loaded.png);"; verdict; return; }
  clear=$(head -n1 "$art/mods-clear.txt"); value=$(head -n1 "$art/mods-value.txt")
  read -r vy0 vy1 vx0 _ <<<"$value"
  # The first row's value dragged 60 pixels to the right (0.01 a pixel): 17.375 becomes about 17.975.
  drag $((vx0 + 6)) $(((vy0 + vy1) / 2)) 60
  park_mouse
  count_up frames 30   # the frames in which an edit must not reach the game before Apply modifier
  want '$(num modifier_rows_changed) == 0' "the game's block changed before Apply modifier: $(modifier_block)"
  shot 09-mods-edited
  # shellcheck disable=SC2046
  click $(box_center $apply); park_mouse
  wait_for 60 '$(num modifier_rows_changed) == 1 && $(num modifier_rows_original) == 5' ||
    { problems+=" Apply modifier did not write the edited row into the game's block within 60 s: $(modifier_block) (see 09-mods-edited.png, 09-mods-applied.png);"; shot 09-mods-applied; verdict; return; }
  written=$(num modifier_first_value_milli)
  want "$written > 17375" "the first value was not raised: $(modifier_block)"
  want '$(num modifier_own_bytes_intact) == 1' "Apply modifier changed the game's own bytes of the block: $(modifier_block)"
  shot 09-mods-applied
  # shellcheck disable=SC2046
  click $(box_center $clear); park_mouse
  wait_for 60 '$(num modifier_rows_original) == 6 && $(num modifier_rows_changed) == 0' ||
    problems+=" Clear live did not put the game's bytes back within 60 s: $(modifier_block);"
  want '$(num modifier_first_value_milli) == 17375 && $(num modifier_own_bytes_intact) == 1' "the block after Clear live: $(modifier_block)"
  shot 09-mods-cleared
  verdict "timecycle_mods_1.xml loaded from Imports by a click; the dragged value was found in the game's heap and written there by Apply modifier (17375 became $written thousandths), and Clear live put the game's bytes back"
}
check_store_patches() {   # two live override slots on: the tick removes their engine stores in the game's code
  send enable_slot PostFX Scanline Intensity
  send enable_slot Lens Distortion Coeff
  want '$(num slots_enabled) == 2' "the host found $(num slots_enabled) of the two slots in the plug-in"
  wait_for 60 '$(num store_sites_patched) == 2' || problems+=" $(num store_sites_patched) of the two store sites patched;"
  verdict "the scanline and lens-distortion stores of the game's code are no-operations while their slots are on"
}
check_before_after_hotkey() {   # F1, the timecycle before/after hotkey of the VRN.ini written before the start
  press F1
  wait_for 60 '$(num store_sites_patched) == 0 && $(num store_sites_changed) == 0' ||
    problems+=" before: $(num store_sites_changed) store sites still changed;"
  press F1
  wait_for 60 '$(num store_sites_patched) == 2' || problems+=" after: $(num store_sites_patched) store sites patched;"
  verdict "F1 showed the game's own code (stores written back byte for byte) and the edits again"
}
# The game's own code section: its reads of the timecycle block are
# redirected to the editor's cells, so a live slot's value reaches the
# game's code while the game keeps presenting; after the unload the section
# is byte for byte the executable's file again.
check_code_sites() {   # Far Clip on with a value of its own: the game's redirected read gives it
  local base cave
  base=$(fresh read_far_clip_milli); cave=$(num code_site_bytes_changed)
  want "$base == 394250" "before the edit the game read a far clip of $base/1000, not its block's 394.25"
  want "$cave > 0 && $cave < 999999" "before the edit $cave bytes of the code section changed (the start-up's write-list cave jump expected)"
  send "enable_slot Far Clip=1234.5"
  wait_for 60 '$(num read_far_clip_milli) == 1234500' ||
    problems+=" the game's code read a far clip of $(num read_far_clip_milli)/1000, not the slot's 1234.5;"
  want "\$(num code_site_bytes_changed) > $cave && \$(num code_site_bytes_changed) < 999999" "code section changed by $(num code_site_bytes_changed) bytes, $cave before the edit"
  count_up sites_frames 30 && count_up frames 30
  verdict "start-up patched $cave bytes of the game's code (the write-list cave); its read of the far clip gives the slot's value through the redirect ($(num code_site_bytes_changed) bytes patched); it runs on, $(num sites_frames) frames of its code"
}
check_code_sites_unloaded() {
  want '$(num code_site_bytes_changed) == 0' "$(num code_site_bytes_changed) bytes of the game's code section differ from its file"
  want '$(num read_far_clip_milli) == 394250' "after the unload the game read a far clip of $(num read_far_clip_milli)/1000"
  count_up sites_frames 30
  verdict "the game's code section is byte for byte its file again and reads its own far clip"
}
# ---- Visualsettings: the parameters bound at start-up, one written live, F3 before/after ----
# The stand-in game carries the coronas and filmic blocks with the code
# signatures that lead to them, and the traffic-light block; it reports one
# coronas field's value, how many fields of the first two differ from what it
# put there, and the traffic-light colours at 0.0 (Blackout Mode is on since
# settings_controls).
check_visualsettings_live() {
  want '$(num host_vs_rows) == 1306' "the host found $(num host_vs_rows) visualsettings rows in the plug-in"
  want '$(num host_vs_rows_bound) >= 65' "$(num host_vs_rows_bound) rows bound (the 39 coronas, 8 bright filmic and 18 traffic-light rows at least)"
  want '$(num vs_fields_changed) == 0' "$(num vs_fields_changed) fields written before any edit"
  wait_for 60 '$(num vs_traffic_colors_dark) == 24' || problems+=" blackout: $(num vs_traffic_colors_dark) of 24 traffic-light colour floats at 0.0;"
  want '$(num vs_traffic_others_changed) == 0' "$(num vs_traffic_others_changed) floats of the traffic-light block beside its colours written"
  local bound; bound=$(num host_vs_rows_bound)
  send set_param misc.coronas.intensityScaleGlobal=2.5
  want '$(num params_set) == 1' "the host did not find the coronas intensity row"
  wait_for 60 '$(num vs_coronas_intensity_milli) == 2500 && $(num vs_fields_changed) == 1' ||
    problems+=" the edit: coronas intensity $(num vs_coronas_intensity_milli)/1000, fields changed $(num vs_fields_changed);"
  press F3
  wait_for 60 '$(num vs_coronas_intensity_milli) == 1250 && $(num vs_fields_changed) == 0' ||
    problems+=" before: coronas intensity $(num vs_coronas_intensity_milli)/1000, fields changed $(num vs_fields_changed);"
  press F3
  wait_for 60 '$(num vs_coronas_intensity_milli) == 2500' ||
    problems+=" after: coronas intensity $(num vs_coronas_intensity_milli)/1000;"
  verdict "$bound of 1306 rows live; the traffic lights dark in the blackout; nothing written before the edit; the edited coronas intensity written live, F3 showed the game's 1.25 and the edit again"
}
# ---- visualsettings.dat: imported through the tab, a value live, exported ----------------
# The file goes into the workspace's Imports; the Visualsettings tab (the
# third) is opened and "Load visualsettings.dat" clicked; the coronas size
# it carries reaches the game. An edit of that key (the host's set_param,
# as a drag would) and a click on "Export visualsettings.dat" give a file
# that differs from the imported one only in that line. The buttons are
# found by the dark red "Reset all" button below them (110 x 28): "Load"
# stands above it, "Export" to the right of "Load".
dat_buttons() {   # SHOT: "x y" of the Reset all button's top left corner (rows of a 100 to 120 px run of its red)
  pixels "$1" "$(screen_geom)" | awk '
    function endrun(   len) {
      len = lastx - runx + 1
      if (inrun && len >= 100 && len <= 120) { if (!found) { fx = runx; fy = row; found = 1 } rows++ }
      inrun = 0
    }
    $2 != row { endrun(); row = $2 }
    {
      if ($3 >= 50 && $3 < 130 && $3 - $4 >= 25 && $3 - $5 >= 25) {
        if (!inrun || $1 != lastx + 1) { endrun(); inrun = 1; runx = $1 }
        lastx = $1
      } else endrun()
    }
    END { endrun(); if (found && rows >= 4) print fx, fy }'
}
check_visualsettings_dat() {
  local imported="$docs/VRN/Imports/visualsettings.dat" exported="$docs/VRN/Exports/visualsettings.dat" rx ry
  rm -f "$exported"
  printf '# Visual Configuration Table\r\n# Config values for coronas\r\nmisc.coronas.sizeScaleGlobal\t3.0\t# size\r\nmisc.coronas.intensityScaleGlobal 2.5\r\n\r\n// the rest\r\nno.such.key 7\r\nmisc.coronas.ZBiasMultiplier 1.25' >"$imported"
  menu_shown_now || open_menu 20-dat-menu || { problems="the window did not open: $(menu_seen 20-dat-menu)"; verdict; return; }
  shot_until 20-dat-menu menu_shown
  click_tab 20-dat-menu 3
  shot_until 21-dat-tab tabs_are TTSTTT || { problems="the Visualsettings tab did not open: $(tab_classes 21-dat-tab)"; verdict; return; }
  read -r rx ry < <(dat_buttons 21-dat-tab)
  [ -n "${ry:-}" ] || { problems="no Reset all button found (see 21-dat-tab.png)"; verdict; return; }
  click $((rx + 60)) $((ry - 24)); park_mouse
  wait_for 60 '$(num vs_coronas_size_milli) == 3000' || problems+=" after Load: coronas size $(num vs_coronas_size_milli)/1000, not 3000;"
  send set_param misc.coronas.sizeScaleGlobal=4.5
  wait_for 60 '$(num vs_coronas_size_milli) == 4500' || problems+=" the edit: coronas size $(num vs_coronas_size_milli)/1000;"
  shot_until 22-dat-edited menu_shown
  click $((rx + 186 + 90)) $((ry - 24)); park_mouse
  wait_for 60 "\$(holds [ -f '$exported' ])" || { problems+=" no exported file after Export;"; verdict; return; }
  cp "$exported" "$art/visualsettings-exported.dat"
  sed 's/^\(misc\.coronas\.sizeScaleGlobal\t\)3\.0/\14.5/' "$imported" >"$work/visualsettings-expected.dat"
  want_that cmp -s "$work/visualsettings-expected.dat" "$exported" "the exported file differs from the imported one elsewhere than the edited value (see visualsettings-exported.dat)"
  verdict "imported by a click on Load (the coronas size 3.0 live in the game), edited to 4.5, exported by a click: only that value changed, CR LF endings and the rest kept byte for byte"
}
check_visualsettings_unloaded() {   # the unload gives back the game's code (code_sites_unloaded), not its data
  want '$(num vs_coronas_intensity_milli) == 2500' "the coronas intensity changed at the unload ($(num vs_coronas_intensity_milli)/1000)"
  want '$(num vs_traffic_others_changed) == 0' "$(num vs_traffic_others_changed) floats of the traffic-light block beside its colours written"
  verdict "the parameters' data as the editor left it"
}
check_escape_closes() {
  local esc0; esc0=$(num game_escape_downs)
  press Escape
  settle
  shot_until 04-escape menu_gone || problems+=" pixels still drawn (see 04-escape.png);"
  want "\$(num game_escape_downs) == $esc0" "the game got Escape"
  verdict "nothing drawn over the game after Escape; the game's window procedure did not get it"
}
# A resize suspends the menu until the cooldown is over. The cooldown is 90
# drawn frames; with the game capped at 20 frames per second it lasts 4.5 s,
# long enough to press the hotkey inside it. Each screenshot in it follows 6
# game frames after the resize or the press; the press after it waits for
# 140 frames drawn by the overlay since the resize (cooldown, 18 stable
# frames, and a margin).
resize_check() {   # resize_check NAME COMMAND WIDTH HEIGHT
  local name=$1 cmd=$2 w=$3 h=$4 r0 f0 fr sr inside
  open_menu "$name-a-open" || { problems="the window did not open before the resize: $(menu_seen "$name-a-open")"; verdict; return; }
  send fps 20
  r0=$(num resizes); f0=$(num resize_failures)
  send "$cmd $w $h"
  if wait_for 60 "\$(num resizes) > $r0 && \$(num width) == $w"; then
    snapshot; fr=$(snum frames); sr=$(snum overlay_signals)
    count_up frames 6
    shot "$name-b-resized"
    press F9          # inside the cooldown: keeps the window closed
    inside=$(( $(num frames) - fr ))
    count_up frames 6
    shot "$name-c-cooldown"
    wait_for 60 "\$(num overlay_signals) >= $((sr + 140))" ||
      problems+=" the overlay drew $(( $(num overlay_signals) - sr )) frames after the resize in 60 s;"
    open_menu "$name-d-reopened" || problems+=" not reopened after the cooldown: $(menu_seen "$name-d-reopened");"
    want "$inside < 80" "the press meant for the cooldown came $inside frames after the resize (too late to test it)"
    want "\$(num resize_failures) == $f0" "the resize failed"
    menu_gone "$name-b-resized" || problems+=" open after the resize;"
    menu_gone "$name-c-cooldown" || problems+=" opened in the cooldown;"
  else
    problems="the game did not resize (failures $(num resize_failures), see game.log)"
  fi
  send fps 0
  press Escape
  verdict "$cmd to ${w}x${h} succeeded, closed the window, a press ${inside:-?} frames later kept it closed, it reopened after the cooldown"
}
check_resize_suspends() { resize_check resize_suspends resize 1280 800; }
check_resize1_suspends() { resize_check resize1_suspends resize1 1600 1000; }
# The game releases its swap chain and makes a new one on the same window
# (once with a new device and queue as well) while the editor is open: the
# editor draws on the new one, answers a click, and lets go of the old objects.
# drawn_and_clicked SHOT TAB TABS: after a rebuild the menu is drawn and the
# click on tab TAB gives the tab classes TABS, and Present never failed.
drawn_and_clicked() {
  park_mouse
  shot_until "$1" menu_shown || problems+=" not drawn after the rebuild: $(menu_seen "$1");"
  click_tab "$1" "$2"
  shot_until "$1-click" tabs_are "$3" || problems+=" a click on tab $2 gave $(tab_classes "$1-click");"
  want '$(num recreate_failures) == 0' "the game could not rebuild"
  want "\$(num present_failures) == $pf0" "Present failed"
}
check_swap_chain_rebuilt() {
  local pf0
  open_menu 10-before-rebuild || { problems="the window did not open: $(menu_seen 10-before-rebuild)"; verdict; return; }
  pf0=$(num present_failures)
  send recreate
  wait_for 60 '$(num swapchain_recreations) == 1' || problems+=" no new swap chain;"
  if wait_for 60 '$(num overlay_signals) >= 10'; then   # counted from the new swap chain on
    drawn_and_clicked 11-new-swap-chain 1 STTTTT
  else
    problems+=" the overlay drew $(num overlay_signals) frames on the new swap chain in 60 s (its last status: $(overlay_said));"
  fi
  want '$(num swapchain_refs_left) == 0' "the old swap chain still had $(num swapchain_refs_left) references"
  verdict "drawn on the new swap chain, the first tab selected by a click, the old swap chain released by all"
}
check_device_rebuilt() {
  local pf0; pf0=$(num present_failures)
  send recreate_device
  wait_for 60 '$(num device_recreations) == 1' || problems+=" no new device;"
  wait_for 60 '$(num old_device_refs) == 0' || problems+=" the old device still has $(num old_device_refs) references besides the game's;"
  # The overlay's set-up on the new device (shaders compiled again), then its frames there.
  if wait_for 120 '$(num overlay_signals) >= 10'; then
    drawn_and_clicked 12-new-device 6 TTTTTS
  else
    problems+=" the overlay drew $(num overlay_signals) frames on the new device in 120 s (its last status: $(overlay_said));"
  fi
  send drop_old_device
  want '$(num old_device_refs_at_drop) == 0' "the old device lived on after the game's last reference ($(num old_device_refs_at_drop))"
  want_that grep -qs 'Overlay left the old Direct3D 12 device' "$game/e2e-game.log" "the overlay did not report the new device"
  verdict "the overlay let go of every object of the old device, set up on the new one, drew and answered a click"
}
check_unload() {   # with the window open and the store sites patched
  local f0 t0 pf0 f1 t1
  want '$(num store_sites_patched) == 2' "the store sites were not patched before the unload"
  send unload
  f0=$(fresh frames); t0=$(num time_ms); pf0=$(num present_failures)
  wait_for 60 "\$(num frames) >= $((f0 + 30))"
  shot_until 05-unloaded menu_gone || problems+=" the overlay is still drawn (see 05-unloaded.png);"
  snapshot; f1=$(snum frames); t1=$(snum time_ms)
  want '$(num plugins_unloaded) == 1' "FreeLibrary failed"
  want '$(num host_unregister_during_unload) >= 1' "the detach did not unregister the script"
  want '$(num host_scripts_left_after_unload) == 0' "a script was left registered"
  want '$(num hooked_slots) == 0 && $(num hooked_code) == 0' "hooks left in place"
  want '$(num wndproc_replaced) == 0' "window procedure not restored"
  want '$(num store_sites_changed) == 0' "$(num store_sites_changed) store sites not written back"
  want "$((f1 - f0)) >= 30" "the game stopped presenting ($((f1 - f0)) frames in $(((t1 - t0) / 1000)) s)"
  want "\$(num present_failures) == $pf0" "Present failed after the unload"
  verdict "script unregistered by the detach, hooks, store patches and window procedure gone, the game keeps presenting ($((f1 - f0)) frames in $((t1 - t0)) ms)"
}
check_natives() {
  want '$(num host_natives_off_fiber) == 0' "$(num host_natives_off_fiber) calls off the script fiber"
  want '$(num world_unknown_hashes) == 0 && $(num host_natives_unknown) == 0' "unknown hashes"
  want '$(num world_faults) == 0' "malformed: $(sed -n 's/^world_fault=//p' "$game/e2e-status.txt" | head -n3 | tr '\n' ';')"
  verdict "$(num host_natives_total) calls of $(num host_native_hashes) natives, all known to the world, well-formed, on the script fiber"
}
check_game_exits() {
  local rc
  send quit
  local end=$((SECONDS + 60))
  while game_alive && [ $SECONDS -lt $end ]; do sleep 0.1; done
  if game_alive; then problems="the game did not end in 60 s on request"; else wait "$game_pid"; rc=$?; game_pid=""; want "$rc == 0" "exit code $rc (see wine-game.log)"; fi
  verdict "exit code 0"
}

# ---- Vehicle sirens: the game's block found from the Misc tab, one value edited live ----
# The stand-in game keeps its 21 siren profiles in its heap and reports the
# bytes of the block that differ from its own (stand_in_sirens.h). In the
# Misc tab's panel, "Load live" searches the game's memory for the block;
# the panel then shows profile 12, whose first value, timeMultiplier (1.0 in
# the game, 12 bytes into the profile), is dragged to the right: those 4
# bytes change and no other. "Hold for before / after" shows the game's
# bytes while held and the edit after the release. The unload leaves the
# edit in the block: it gives the game back its code, not its data.
siren_field=$((12 * 1512 + 12)) siren_edited="" siren_edit_bytes=""
siren_block() { echo "$(snum siren_bytes_changed) bytes differ from the game's (offsets $(snum siren_changed_first) to $(snum siren_changed_last)), timeMultiplier $(snum siren_time_multiplier_milli)/1000"; }
# In the last snapshot only bytes of the dragged field differ, one at least.
siren_field_only() { (( $(snum siren_bytes_changed) > 0 && $(snum siren_changed_first) >= siren_field && $(snum siren_changed_last) <= siren_field + 3 )); }
# siren_value SHOT X Y: the profile's first value field, "y0 y1 x0 x1": the
# first band of FrameBg below Y that starts right of X (the values' column;
# the profile combo and the tabs above it start left of X); fails while the
# panel shows no profile.
siren_value() {
  local f; f=$(bands "$1" frame 60 2000 "$2" $(($2 + 60)) "$3" | awk -v x="$2" '$3 > x + 2' | head -n1)
  [ -n "$f" ] && echo "$f"
}
check_sirens_live() {
  local hy1 hx0 ly0 ly1 lx0 lx1 fx fy0 fy1 hold end
  snapshot
  want '$(snum siren_block) == 1 && $(snum siren_bytes_changed) == 0' "the game's block is not as planted: $(siren_block)"
  # The fifth tab of the window the check before left open (else opened now).
  park_mouse
  shot 30-misc-start && click_tab 30-misc-start 5
  if ! shot_until 31-misc-tab tabs_are TTTTST; then
    open_menu 30-misc-start || { problems+=" the window is not open: $(menu_seen 30-misc-start)"; verdict; return; }
    click_tab 30-misc-start 5
    shot_until 31-misc-tab tabs_are TTTTST ||
      { problems+=" the Misc tab was not selected: $(tab_classes 31-misc-tab)"; verdict; return; }
  fi
  # The tab opens with its header "Vehicle Sirens (carcols.ymt)" open;
  # "Load live" (92 x 24) is the first red button under it.
  found 31-misc-tab "$art/sirens-header.txt" 1 header 300 5000 0 5000 0 ||
    { problems+=" no header in the Misc tab (see 31-misc-tab.png)"; verdict; return; }
  read -r _ hy1 hx0 _ < <(head -n1 "$art/sirens-header.txt")
  found 31-misc-tab "$art/sirens-load.txt" 1 header 12 400 "$hx0" $((hx0 + 60)) $((hy1 + 1)) ||
    { problems+=" no Load live button under the header (see 31-misc-tab.png)"; verdict; return; }
  read -r ly0 ly1 lx0 lx1 < <(head -n1 "$art/sirens-load.txt")
  want "$((lx1 - lx0)) >= 85 && $((lx1 - lx0)) <= 100" "the button under the header is $((lx1 - lx0 + 1)) px wide, not Load live's 92"
  click $(((lx0 + lx1) / 2)) $(((ly0 + ly1) / 2))
  park_mouse
  # The search ends with the profile shown; its values' column starts 180 px in.
  end=$((SECONDS + 60))
  until shot 32-sirens-loaded && read -r fy0 fy1 fx _ < <(siren_value 32-sirens-loaded $((lx0 + 150)) $((ly1 + 1))); do
    [ $SECONDS -lt $end ] && count_up overlay_signals 10 ||
      { problems+=" no profile shown $((SECONDS - end + 60)) s after Load live (see 32-sirens-loaded.png)"; verdict; return; }
  done
  want '$(num siren_bytes_changed) == 0' "the search changed the game's block: $(snapshot; siren_block)"
  # The drag: 60 px to the right at 0.01 a pixel, from left of the value's text.
  drag $((fx + 20)) $(((fy0 + fy1) / 2)) 60
  park_mouse
  wait_for 60 '$(num siren_bytes_changed) > 0' ||
    { problems+=" the drag changed nothing in the game's block (see 32-sirens-loaded.png)"; verdict; return; }
  fresh frames >/dev/null; snapshot
  siren_edited=$(snum siren_time_multiplier_milli) siren_edit_bytes=$(snum siren_bytes_changed)
  want_that siren_field_only "the drag changed more than profile 12's timeMultiplier (block offset $siren_field): $(siren_block)"
  want "$siren_edited > 1000" "the drag left timeMultiplier at $siren_edited/1000"
  shot 33-sirens-edited
  # Hold for before / after, right of Restore (82 wide, 10 px after Load live).
  found 33-sirens-edited "$art/sirens-hold.txt" 1 header 5 400 $((lx1 + 95)) $((lx1 + 110)) "$ly0" ||
    { problems+=" no enabled hold button after the edit (see 33-sirens-edited.png)"; verdict; return; }
  hold=$(head -n1 "$art/sirens-hold.txt")
  # shellcheck disable=SC2046
  x mousemove $(box_center $hold); settle; x mousedown 1
  wait_for 60 '$(num siren_bytes_changed) == 0' || problems+=" held: $(snapshot; siren_block);"
  shot 34-sirens-held
  x mouseup 1; settle; park_mouse
  if wait_for 60 "\$(num siren_time_multiplier_milli) == $siren_edited && \$(num siren_bytes_changed) == $siren_edit_bytes"; then
    snapshot; want_that siren_field_only "released: $(siren_block)"
  else
    problems+=" released: $(snapshot; siren_block);"
  fi
  shot 35-sirens-released
  verdict "Load live found the game's siren block; a drag took profile 12's timeMultiplier from 1.0 to $siren_edited/1000 ($siren_edit_bytes bytes of that field, nothing else); held, the button showed the game's bytes, released, the edit"
}
check_sirens_unloaded() {   # after the unload
  [ -n "$siren_edited" ] || { why="no siren edit was made (see sirens_live)"; return 3; }
  fresh frames >/dev/null; snapshot
  want "$(snum siren_time_multiplier_milli) == $siren_edited && $(snum siren_bytes_changed) == $siren_edit_bytes && $(holds siren_field_only)" \
    "the block is not as the edit left it ($siren_edit_bytes bytes of profile 12's timeMultiplier, $siren_edited/1000): $(siren_block)"
  verdict "the game's siren block keeps the edit (timeMultiplier $siren_edited/1000)"
}

# ---- Watertune live --------------------------------------------------------------------
# The stand-in game keeps the water tuning block in its image and draws a
# square of its frame from the block's RippleScale: the background's colour
# at the game's 0.04, its red 250 higher per unit above it (36 at 0.08).
# watertune.xml (RippleScale 0.08) is put in Imports\Misc and loaded from
# the Weather tab, which writes it into the game's block; a drag of
# RippleScale's value, the hold button and the all-live hotkey F2 (of the
# VRN.ini written before the start) change the picture; the edit stays in
# the block after the unload.
water_red() { local r=$((26 + ($1 - 40) / 4)); echo $((r > 255 ? 255 : r < 0 ? 0 : r)); }  # RippleScale in thousandths
square_red() { pixels "$1" "1x1+$(($(num width) - 105))+95" | awk '{ print $3 }'; }
square_is() { local r; r=$(square_red "$1"); [ -n "$r" ] && [ "$r" -ge $(($2 - 3)) ] && [ "$r" -le $(($2 + 3)) ]; }
# value_field SHOT X Y: the first value field (FrameBg rows, at least 15)
# below Y in column X, as "y0 y1".
value_field() {
  pixels "$1" "1x$(($(num height) - $3))+$2+$3" | awk -v top="$3" "$near_fn"'
    { y = $2 + top
      if (near($3, $4, $5, 61, 43, 43, 1)) { if (!n++) y0 = y }
      else { if (n >= 15) { print y0, y - 1; exit } n = 0 } }'
}
check_watertune_live() {
  local i bx0 bx1 by1 ly0 ly1 fy0 fy1 ry0 rx1 fx edited
  mkdir -p "$docs/VRN/Imports/Misc" && cp "$here/tests/e2e/watertune.xml" "$docs/VRN/Imports/Misc/watertune.xml"
  park_mouse
  shot_until 20-weather-start menu_shown || open_menu 20-weather-start ||
    { problems="the window is not open: $(menu_seen 20-weather-start)"; verdict; return; }
  click_tab 20-weather-start 4
  shot_until 21-weather-tab tabs_are TTTSTT ||
    { problems="the Weather tab was not selected: $(tab_classes 21-weather-tab)"; verdict; return; }
  # The tab opens with its four headers open: weather.xml, the render files
  # and the lightning settings are closed by clicks so that the watertune
  # panel, the last, is in view.
  for i in 1 2 3; do
    park_mouse
    shot_until "22-weather-headers-$i" found "$art/weather-headers.txt" "$i" header 300 5000 0 5000 0 ||
      { problems="expected at least $i headers, found $(wc -l <"$art/weather-headers.txt")"; verdict; return; }
    read -r ly0 ly1 bx0 _ < <(sed -n "${i}p" "$art/weather-headers.txt")
    click $((bx0 + 120)) $(((ly0 + ly1) / 2))
  done
  park_mouse
  shot_until 23-watertune-panel found "$art/weather-headers.txt" 4 header 300 5000 0 5000 0 ||
    { problems="expected four headers, found $(wc -l <"$art/weather-headers.txt")"; verdict; return; }
  read -r _ by1 bx0 bx1 < <(sed -n 4p "$art/weather-headers.txt")
  found 23-watertune-panel "$art/watertune-buttons.txt" 1 save 12 400 "$bx0" $((bx0 + 60)) "$by1" ||
    { problems="no Load .xml button under the watertune header"; verdict; return; }
  read -r ly0 ly1 _ _ < <(head -n1 "$art/watertune-buttons.txt")
  # Load .xml: read, written into the game's block and read back.
  click $((bx0 + 50)) $(((ly0 + ly1) / 2))
  park_mouse
  wait_for 60 '$(num watertune_ripple_milli) == 80' ||
    { problems="after Load .xml the game's RippleScale is $(num watertune_ripple_milli)/1000, not 0.08 (status: $(overlay_said))"; verdict; return; }
  want '$(num watertune_changed) == 1' "Load .xml changed $(num watertune_changed) words of the block, not 1"
  shot_until 24-watertune-loaded square_is "$(water_red 80)" || problems+=" the square's red is $(square_red 24-watertune-loaded) at 0.08;"
  # A drag of RippleScale's value to the right.
  read -r fy0 fy1 < <(value_field 24-watertune-loaded $((bx1 - 100)) "$ly1")
  [ -n "${fy1:-}" ] || { problems+=" no value field under Load .xml;"; verdict; return; }
  fx=$((bx1 - 150))
  x mousemove "$fx" $(((fy0 + fy1) / 2)); settle
  x mousedown 1; settle
  for i in 1 2 3; do x mousemove $((fx + 20 * i)) $(((fy0 + fy1) / 2)); count_up overlay_signals 3; done
  x mouseup 1; settle
  park_mouse
  wait_for 60 '$(num watertune_ripple_milli) > 100' ||
    { problems+=" the drag left RippleScale at $(num watertune_ripple_milli)/1000;"; verdict; return; }
  edited=$(fresh watertune_ripple_milli)
  shot_until 25-watertune-edited square_is "$(water_red "$edited")" ||
    problems+=" the square's red is $(square_red 25-watertune-edited) at $edited/1000, not $(water_red "$edited");"
  # Hold for before / after: the game's own bytes while held, the edits after.
  found 25-watertune-edited "$art/watertune-buttons.txt" 2 save 12 400 "$bx0" $((bx0 + 60)) "$by1" ||
    { problems+=" no Reset file button after the edit;"; verdict; return; }
  read -r ry0 _ _ rx1 < <(sed -n 2p "$art/watertune-buttons.txt")
  x mousemove $((rx1 + 60)) $((ry0 + 10)); settle
  x mousedown 1
  wait_for 60 '$(num watertune_changed) == 0' || problems+=" held: $(num watertune_changed) words differ from the game's;"
  shot_until 26-watertune-held square_is 26 || problems+=" held: the square's red is $(square_red 26-watertune-held);"
  x mouseup 1; settle
  park_mouse
  wait_for 60 "\$(num watertune_ripple_milli) == $edited" || problems+=" released: RippleScale $(num watertune_ripple_milli)/1000;"
  shot_until 27-watertune-released square_is "$(water_red "$edited")" || problems+=" released: the square's red is $(square_red 27-watertune-released);"
  # The all-live hotkey: before, then after.
  press F2
  wait_for 60 '$(num watertune_changed) == 0' || problems+=" F2: $(num watertune_changed) words differ from the game's;"
  shot_until 28-watertune-f2-before square_is 26 || problems+=" F2 before: the square's red is $(square_red 28-watertune-f2-before);"
  press F2
  wait_for 60 "\$(num watertune_ripple_milli) == $edited" || problems+=" F2 after: RippleScale $(num watertune_ripple_milli)/1000;"
  shot_until 29-watertune-f2-after square_is "$(water_red "$edited")" || problems+=" F2 after: the square's red is $(square_red 29-watertune-f2-after);"
  verdict "watertune.xml loaded in the Weather tab into the game's block (red $(water_red 80)); a drag took RippleScale to $edited/1000 (red $(water_red "$edited")); the hold button and F2 showed the game's block (background) and the edit again"
}
check_watertune_unloaded() {   # after the unload: the game keeps the edit and keeps presenting
  local ripple
  count_up frames 30
  ripple=$(fresh watertune_ripple_milli)
  want "$ripple > 100" "RippleScale is $ripple/1000 after the unload, not the drag's edit"
  want '$(num watertune_changed) >= 1' "the water tuning block holds the game's bytes again"
  shot_until 30-watertune-unloaded square_is "$(water_red "$ripple")" ||
    problems+=" the square's red is $(square_red 30-watertune-unloaded) at $ripple/1000, not $(water_red "$ripple") (see 30-watertune-unloaded.png);"
  verdict "the water tuning block keeps the edit (RippleScale $ripple/1000, the square's red $(water_red "$ripple")) while the game presents on"
}

# ---- Setup: tools, stand-ins, display, prefix, game folder ----------------------------------
for tool in wine wineserver Xvfb xdotool import convert od awk; do
  command -v "$tool" >/dev/null || { fail setup "$tool is missing (scripts/setup.sh test installs it)"; finish; }
done
for file in e2e/VarnelStandInGame.exe e2e/ScriptHookV.dll Varnel.asi; do
  [ -f "$build/$file" ] || { fail setup "$build/$file is not built (cmake --build --preset windows)"; finish; }
done
engine=$(cat "$build/hook-engine.txt" 2>/dev/null || echo unknown)
note "hook engine: $engine; checks: $selection"
rm -rf "$game" "$HOME/VRN" "$work/snapshot.txt"
mkdir -p "$game" "$HOME"
cp "$build/e2e/VarnelStandInGame.exe" "$build/e2e/ScriptHookV.dll" "$build/Varnel.asi" "$game/"
# The real timecycle file the game's keyframe table holds.
timecycle_file=$here/../shared/testdata/real/timecycle/iso-modding__gta5_FiveM_basic_visualmod/w_clear.xml
[ -f "$timecycle_file" ] && cp "$timecycle_file" "$game/e2e-timecycle.xml"
cp "$here/src/timecycle/data/variables.tsv" "$game/e2e-variables.tsv"   # the table's row order

display=""
for n in $(seq 91 119); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1920x1200x24 -nolisten tcp >"$art/xvfb.log" 2>&1 </dev/null &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if kill -0 "$xvfb_pid" 2>/dev/null; then display=":$n"; break; fi
  xvfb_pid=""
done
[ -n "$display" ] || { fail setup "no Xvfb display could be started"; finish; }
export DISPLAY=$display

if [ ! -f "$WINEPREFIX/.varnel-ready" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 180 wine wineboot --init </dev/null >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  touch "$WINEPREFIX/.varnel-ready"
fi
# The wine server and services, with every descriptor redirected.
(timeout "$((game_seconds + 60))" wineserver -p >/dev/null 2>&1 </dev/null &)
timeout 60 wine wineboot </dev/null >/dev/null 2>&1
docs=$(ls -d "$WINEPREFIX"/drive_c/users/*/Documents 2>/dev/null | grep -v /Public/ | head -n1)
docs=$(readlink -f "$docs" 2>/dev/null || echo "$docs")
# The user's VRN.ini from an earlier session: F1 is the timecycle before/after
# hotkey, F3 the visualsettings one.
mkdir -p "$docs/VRN"
printf '[UI]\r\nTimecycleBeforeAfterHotkey=F1\r\nVisualSettingsBeforeAfterHotkey=F3\r\n' >"$docs/VRN/VRN.ini"
# F2: the all-live before/after hotkey (the watertune check).
printf 'AllLiveBeforeAfterHotkey=F2\r\n' >>"$docs/VRN/VRN.ini"

# ---- The run: check, what it needs, the frame rate measured after it, in order --------------------
overlay_ready=0 rates=""
checks=(
  "game_presents -" "plugin_loads -" "script_loop -" "dormant - dormant" "first_press -" "workspace_created -"
  "menu_drawn overlay editor-open" "timecycles_tab overlay" "tab_click overlay" "settings_controls overlay" "modifier_live overlay"
  "store_patches -"
  "before_after_hotkey -" "code_sites -" "visualsettings_live -" "visualsettings_dat overlay" "escape_closes overlay editor-closed" "resize_suspends overlay" "resize1_suspends overlay"
  "swap_chain_rebuilt overlay" "device_rebuilt overlay"
  "watertune_live overlay"
  "sirens_live overlay"
  "unload -" "code_sites_unloaded -" "visualsettings_unloaded -" "watertune_unloaded -"
  "sirens_unloaded -"
  "natives -" "game_exits -"
)
# The checks of the hooks: the first press, the menu drawn, the resizes, a
# new swap chain and device, the unload; with those that set up what they
# need (the store patches the unload takes back, Escape closing the menu the
# resize check opens) and the game's clean exit.
hooking_checks=" game_presents plugin_loads dormant first_press menu_drawn store_patches escape_closes resize_suspends
  resize1_suspends swap_chain_rebuilt device_rebuilt unload game_exits "
for row in "${checks[@]}"; do
  read -r name needs rate <<<"$row"
  [ "$selection" = hooking ] && [[ $hooking_checks != *[[:space:]]$name[[:space:]]* ]] && continue
  problems="" why="" stalled=" "
  if [ "$name" != game_presents ] && ! game_alive; then skip "$name" "the game is not running"; continue; fi
  if [ "$needs" = overlay ] && [ "$overlay_ready" = 0 ]; then skip "$name" "the overlay did not come up (see first_press)"; continue; fi
  "check_$name"
  case $? in 0) pass "$name" "$why" ;; 3) skip "$name" "$why" ;; *) fail "$name" "$why" ;; esac
  [ -n "$rate" ] && rates+="$rate $(fps_over 5), "
done
note "frame rates (frames per second): ${rates%, }"
finish
