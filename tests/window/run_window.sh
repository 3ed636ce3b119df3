#!/usr/bin/env bash
# Drives the real program in a real X server as a person would: a private Xvfb with no window
# manager or with the one named, a private JACK server (dummy driver), a fresh drive with the
# program folder kit, and mouse clicks and keys synthesized by xdotool at the controls' designed
# places.
#
# Usage: run_window.sh SCENARIO PROGRAM INSTALL-KIT CONTROL-RECTS [openbox|twm]
#   record_play_quit  with a T02.wav of a tone in the song folder: R01, hold about 4 s, STOP,
#                     PLAY, a click on row 01's pan fader, STOP, MIXDOWN until the mixdown has
#                     finished, MP (the master sounds on the program's output), MP, QUIT, OK, OK:
#                     T01.wav holds the time held, the knob moved, Mix.wav is a stereo master,
#                     vsets is written with the pan the click set and the program ends with
#                     status 0.
#   sound_stopped     with a T01.wav and a vsets in the song folder: Yes to loading the settings,
#                     PLAY, the JACK server is killed, the "SOUND STOPPED" box shows; Return; the
#                     server started again, PLAY sounds on it, STOP; QUIT, OK, OK ends with
#                     status 0.
#   views             with T01-T03 in the song folder: the three waveforms show in blue in their
#                     rows at start-up, HW hides and SW shows them, keypad plus plays and
#                     stops, a drag across track 01's waveform silences part of T01.wav; with
#                     VEMRA_SHOT set, the window as shown is saved there (xwd) first.
#   companions        with T01 and T02 in the song folder: F02 opens the track menu on each of 10
#                     clicks; its fifth item opens Trackmod, S the editor-path box, P Form2 and
#                     HELP the help window; each frame, title bar included, lies on the screen,
#                     the windows' frames at their designed corners.
# Exit status 0 passed, 1 failed, 77 skipped (no X server could be started here).
set -u
scenario=$1 app=$2 kit=$3 rects_tool=$4 wm=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/vemra-window-XXXXXX)
drive=$work/drive
song=$drive/Vemracd/Mysong
rate=44100
python=$(command -v /usr/bin/python3 || command -v python3)
probe() { "$python" "$here/probe.py" "$@"; }
xvfb_pid="" jack_pid="" app_pid="" wm_pid=""

cleanup() {
  local p
  for p in "$app_pid" "$jack_pid" "$wm_pid" "$xvfb_pid"; do
    [ -n "$p" ] && kill "$p" 2>/dev/null && wait "$p" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

log() { echo "[$(date +%T.%N | cut -c1-12)] $*"; }
fail() {
  echo "FAIL: $*"
  if [ -n "${DISPLAY:-}" ] && xwd -silent -root >"$PWD/$scenario-failed.xwd" 2>/dev/null; then
    echo "the screen at the failure: $PWD/$scenario-failed.xwd"
  fi
  if [ -s "$work/app.log" ]; then echo "---- program output"; cat "$work/app.log"; fi
  if [ -s "$work/jack.log" ]; then echo "---- jackd output"; tail -20 "$work/jack.log"; fi
  if [ -s "$work/wm.log" ]; then echo "---- window manager output"; tail -20 "$work/wm.log"; fi
  exit 1
}
now() { date +%s.%N; }

# within SECONDS COMMAND...: whether COMMAND succeeds within SECONDS (run every 0.1 s).
within() {
  local end=$(($(date +%s%N) + $1 * 1000000000))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# wait_for SECONDS WHAT COMMAND...: runs COMMAND every 0.1 s until it succeeds; fails the test
# after SECONDS, or at once when the program ends meanwhile.
wait_for() {
  local limit=$1 what=$2
  shift 2
  local end=$(($(date +%s%N) + limit * 1000000000))
  until "$@" >/dev/null 2>&1; do
    if [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null; then
      fail "the program ended while waiting for $what"
    fi
    [ "$(date +%s%N)" -lt "$end" ] || fail "waited $limit s for $what"
    sleep 0.1
  done
}

# ---- the X server, the sound server, the drive ---------------------------------------------
for tool in xdotool xwd; do
  command -v $tool >/dev/null || fail "$tool is not installed (scripts/install-deps.sh)"
done
if ! command -v Xvfb >/dev/null; then
  echo "SKIP: Xvfb is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do  # the display number, once the server listens
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if ! [ -s "$work/display" ]; then
  echo "SKIP: Xvfb could not start:"
  cat "$work/xvfb.log"
  exit 77
fi
DISPLAY=:$(head -1 "$work/display")
export DISPLAY
log "X server on $DISPLAY"
if [ -n "$wm" ]; then
  command -v "$wm" >/dev/null || fail "$wm is not installed (scripts/install-deps.sh)"
  # Up once it has made its first window. twm has been seen, about once in ten runs, not to come
  # up on a new X server at all: one more try.
  for try in 1 2; do
    "$wm" >"$work/wm.log" 2>&1 &
    wm_pid=$!
    within 10 eval 'xwininfo -root -children | grep -q "^ *0x"' && break
    [ "$try" = 2 ] && fail "$wm did not start"
    log "$wm did not start: once more"
    kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  done
  log "$wm manages the windows"
fi

# A name per display: an entry that a killed server left in the JACK registry is taken over, not
# piled up, and runs on other displays at the same time keep their own servers.
export JACK_DEFAULT_SERVER="vemra-window-${DISPLAY#:}"
export JACK_NO_START_SERVER=1
start_jack() {
  jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r "$rate" -p 512 >>"$work/jack.log" 2>&1 &
  jack_pid=$!
  timeout 20 jack_wait -w -t 15 >/dev/null 2>&1 || fail "jackd did not start"
  # jack_wait also answers for a server of the same name left running by an earlier run.
  kill -0 "$jack_pid" 2>/dev/null || fail "jackd did not start"
}
start_jack

mkdir -p "$drive"
"$kit" "$drive" >"$work/kit.log" 2>&1 || { cat "$work/kit.log"; fail "the kit did not install"; }
"$rects_tool" >"$work/rects" || fail "control_rects failed"

# ---- the program and the window ------------------------------------------------------------
start_program() {
  (
    cd "$drive" || exit 1
    export QT_QPA_PLATFORM=xcb VEMRA_AUDIO=jack VEMRA_DRIVE="$drive"
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    # The X, font and sound libraries keep allocations until the process ends.
    export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
    exec "$app"
  ) >"$work/${1:-app}.log" 2>&1 &
  [ $# -gt 0 ] || app_pid=$!
  log "program started (pid $!)"
}

# The id of the shown window whose title matches the regular expression, if there is one.
shown_window() {
  local w
  w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
  [ -n "$w" ] && echo "$w"
}

# Whether the window with this id has left the screen.
is_gone() { ! xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1"; }

# Presses KEY in the window and waits for it to go. Keys go to the window holding the focus:
# with no window manager, the box is given the focus first.
answer_window() {
  local w=$1 key=${2:-Return}
  log "box '$(xdotool getwindowname "$w")': $key"
  timeout 10 xdotool windowfocus --sync "$w" key "$key"
  wait_for 10 "the box to close" is_gone "$w"
}

# Answers the box titled TITLE (a regular expression) with KEY once it shows.
answer_box() {
  wait_for 20 "a box titled '$1'" shown_window "$1"
  answer_window "$(shown_window "$1")" "${2:-Return}"
}

main_title='VemraCd Version'
# Start-up: every box shown before the window appears is answered with Return (OK, or Yes to
# loading the settings).
show_window() {
  local end=$((SECONDS + 60)) w
  until [ -n "$(shown_window "$main_title")" ]; do
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended during start-up"
    [ $SECONDS -lt $end ] || fail "the main window did not show within 60 s"
    w=$(shown_window .)
    if [ -n "$w" ] && [[ "$(xdotool getwindowname "$w")" != *"$main_title"* ]]; then
      answer_window "$w"
    else
      sleep 0.1
    fi
  done
  win=$(shown_window "$main_title")
  log "main window at $(origin)"
}

# Where the client area of the window (the main one unless given) lies on the screen now: "X Y".
origin() {
  xwininfo -id "${1:-$win}" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
                                  END { print x, y }'
}

# The outer rectangle "LEFT TOP WIDTH HEIGHT" of the window's frame, borders included: the
# manager's frame holding it, or the window itself with no manager.
frame_of() {
  local w=$1 up root
  root=$(xwininfo -root | awk '/Window id:/ { print $4 }')
  while up=$(xwininfo -children -id "$w" | awk '/Parent window id:/ { print $4 }') &&
        [ -n "$up" ] && [ "$up" != "$root" ]; do
    w=$up
  done
  xwininfo -id "$w" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
                           /  Width:/ { w = $2 } /  Height:/ { h = $2 } /Border width:/ { b = $3 }
                           END { print x, y, w + 2 * b, h + 2 * b }'
}

# placed WINDOW [LEFT TOP]: whether the window's frame lies wholly on the screen (under a manager,
# framed: a title bar above the client area), with its corner at LEFT TOP when given.
placed() {
  local x y w h cy
  read -r x y w h <<<"$(frame_of "$1")"
  cy=$(origin "$1" | cut -d' ' -f2)
  [ -z "$wm" ] || [ $((cy - y)) -ge 10 ] || return 1
  [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1024 ] && [ $((y + h)) -le 768 ] &&
    { [ $# -eq 1 ] || [ "$x $y" = "$2 $3" ]; }
}

# Waits for the window titled TITLE (a regular expression) and for its frame to be placed so.
expect_placed() {
  local title=$1 w
  shift
  wait_for 20 "a window titled '$title'" shown_window "$title"
  w=$(shown_window "$title")
  within 10 placed "$w" "$@" ||
    fail "'$title' is framed at $(frame_of "$w")${1:+, not at $*} on the 1024x768 screen"
  log "'$title' framed at $(frame_of "$w")"
}

# Whether a pop-up menu of the program shows (tooltips are the other pop-ups: one line high).
menu_up() {
  local w
  for w in $(xdotool search --onlyvisible --class vemracd 2>/dev/null); do
    xwininfo -id "$w" | awk '/Override Redirect State: yes/ { o = 1 } /  Height:/ { h = $2 }
                             END { exit !(o && h >= 60) }' && return 0
  done
  return 1
}

# The pixel rectangle "LEFT TOP WIDTH HEIGHT" of the control NAME in the window's client area.
rect_of() {
  local r
  r=$(awk -v n="$1" '$1 == n { print $2, $3, $4, $5 }' "$work/rects")
  [ -n "$r" ] || fail "no control $1 in the design"
  echo "$r"
}

# Clicks the middle of the control NAME of the main window, or DX pixels from its left edge.
click() {
  local l t w h x y
  read -r l t w h <<<"$(rect_of "$1")"
  read -r x y <<<"$(origin)"
  local dx=${2:-$((w / 2))}
  # XTest input is handled in order: the pointer is there before the button goes down.
  xdotool mousemove $((x + l + dx)) $((y + t + h / 2)) click 1
  log "clicked $1${2:+ at $dx}"
}

# Drags across the control NAME from FROM to TO pixels from its left edge, a pixel at a time.
drag() {
  local l t w h x y px
  read -r l t w h <<<"$(rect_of "$1")"
  read -r x y <<<"$(origin)"
  xdotool mousemove $((x + l + $2)) $((y + t + h / 2)) mousedown 1
  for ((px = $2 + 1; px <= $3; px++)); do
    xdotool mousemove $((x + l + px)) $((y + t + h / 2))
  done
  xdotool mouseup 1
  log "dragged across $1 from $2 to $3"
}

# Clicks the control NAME until COMMAND... succeeds. The program drops clicks while it is busy
# (the hourglass shows, as after STOP while a take is saved): a person clicks again.
click_until() {
  local name=$1 end=$((SECONDS + 20)) again
  shift
  while :; do
    click "$name"
    again=$(($(date +%s%N) + 2000000000))
    while [ "$(date +%s%N)" -lt $again ]; do
      "$@" >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended after a click on $name"
    [ $SECONDS -lt $end ] || fail "clicks on $name did nothing within 20 s"
  done
}

# shows NAME RRGGBB: whether the control NAME shows the colour now, as on the screen.
# The transport lights: PLAY red and STOP yellow while something plays or records, PLAY yellow
# and STOP red when stopped.
shows() {
  local rect
  read -r -a rect <<<"$(rect_of "$1")"
  xwd -silent -id "$win" | probe shows "${rect[@]}" "$2"
}
running() { shows RPSTOP FFFF00; }
# black_at LEFT TOP WIDTH HEIGHT: whether that rectangle of the window shows black (a knob).
black_at() { xwd -silent -id "$win" | probe shows "$@" 000000; }
stopped() { shows RPSTOP FF0000; }

# The mixdown has finished ("MIXING FINISHED" on the message line): the same handler turns MP
# red and puts the main title back, and the master is a whole stereo WAV.
mix_finished() {
  shows Mutemix FF0000 && [[ "$(xdotool getwindowname "$win")" == *"$main_title"* ]] &&
    probe master "$song/Mix.wav"
}

# Whether the program's output carries sound: a second of its output ports, recorded.
sounds() {
  local ports
  mapfile -t ports < <(jack_lsp 2>/dev/null | grep -v '^system:' | grep -i 'out')
  [ ${#ports[@]} -gt 0 ] || return 1
  rm -f "$work/heard.wav"
  timeout 10 jack_rec -f "$work/heard.wav" -d 1 "${ports[@]}" >/dev/null 2>&1
  probe loud "$work/heard.wav"
}

# Waits for the program to end (QUIT's questions answered) and checks its exit status.
expect_exit_0() {
  local end=$((SECONDS + 30)) rc
  while kill -0 "$app_pid" 2>/dev/null; do
    [ $SECONDS -lt $end ] || fail "the program did not end within 30 s of the last answer"
    sleep 0.1
  done
  wait "$app_pid"
  rc=$?
  app_pid=""
  [ "$rc" -eq 0 ] || fail "the program ended with status $rc"
  log "the program ended with status 0"
}

quit_ok_ok() {
  click_until QUIT shown_window '^QUIT\.$'
  answer_box '^QUIT\.$'  # leave or stay: OK
  answer_box '^QUIT $'   # save names, pans and volumes in vsets: OK
  expect_exit_0
}

# ---- the scenarios -----------------------------------------------------------------------------
case "$scenario" in
  record_play_quit)
    mkdir -p "$song"
    probe tone "$song/T02.wav" 6  # what the master will carry
    start_program
    show_window
    click R01
    t_rec=$(now)
    wait_for 5 "the recording to start (STOP yellow)" running
    sleep 4  # a person recording for about 4 s
    click RPSTOP
    t_stop=$(now)
    held=$("$python" -c "print(f'{$t_stop - $t_rec:.3f}')")
    log "held R01 to STOP for $held s"
    wait_for 20 "a valid T01.wav" probe wav "$song/T01.wav"
    click_until PLAY running
    # Row 01's pan fader near its right end (97 pixels, 1455 twips, into the strip) while it
    # plays: the knob moves there (pixel 215 of the window, 6 below the strip's top).
    read -r _ pt _ _ <<<"$(rect_of P01L)"
    click P01L 97
    wait_for 5 "the pan knob at the right end" black_at 215 $((pt + 2)) 5 6
    sleep 1  # listen a moment
    click_until RPSTOP stopped
    click MIX
    wait_for 60 "the mixdown to finish" mix_finished
    click Mutemix
    wait_for 20 "the master to sound" sounds
    click Mutemix
    quit_ok_ok
    probe wav "$song/T01.wav" "$held" || fail "T01.wav does not hold the take"
    size=$(stat -c %s "$song/vsets" 2>/dev/null)
    [ "${size:-0}" -eq 532 ] || fail "vsets was not written whole (${size:-no file})"
    # Track 01's pan knob, pan and mixdown pan as the click set them: 215, 5000, 32712.
    pan=$(od -An -tx1 -N6 "$song/vsets" | tr -d ' ')
    [ "$pan" = d7008813c87f ] || fail "vsets holds track 01's pan as $pan, not d7008813c87f"
    ;;
  sound_stopped)
    mkdir -p "$song"
    # What an earlier run leaves: a take, and a settings file (start-up asks to load it).
    probe swell "$song/T01.wav" 20 110
    head -c 532 /dev/zero >"$song/vsets"
    start_program
    show_window
    click_until PLAY running
    sleep 1  # listen a moment
    log "killing the JACK server"
    kill "$jack_pid"
    wait "$jack_pid" 2>/dev/null
    jack_pid=""
    answer_box '^SOUND STOPPED$'
    wait_for 5 "the transport to stop (STOP red)" stopped
    log "starting the JACK server again"
    start_jack
    click_until PLAY running
    wait_for 10 "the program's output on the restarted server" sounds
    click_until RPSTOP stopped
    quit_ok_ok
    ;;
  views)
    mkdir -p "$song"
    probe swell "$song/T01.wav" 6 110
    probe swell "$song/T02.wav" 4 55
    probe swell "$song/T03.wav" 2 30
    start_program
    show_window
    for row in wd01 wd02 wd03; do
      wait_for 10 "a waveform in $row" shows "$row" 0000FF
    done
    shows wd05 0000FF && fail "row 5 shows a waveform but tracks 04 and 05 hold nothing"
    if [ -n "${VEMRA_SHOT:-}" ]; then
      xwd -silent -id "$win" >"$VEMRA_SHOT" && log "saved the window to $VEMRA_SHOT"
    fi
    # Two quick clicks at one place make a double click: a person clicks again after a pause.
    click_until hidewavs eval '! shows wd01 0000FF'
    click_until hidewavs shows wd01 0000FF
    # The keypad's plus plays, and again stops.
    xdotool key KP_Add
    wait_for 10 "keypad plus to play (STOP yellow)" running
    xdotool key KP_Add
    wait_for 10 "keypad plus to stop (STOP red)" stopped
    # A drag to the right across track 01's waveform silences that stretch of T01.wav.
    probe silenced "$song/T01.wav" >/dev/null && fail "T01.wav holds silence before the drag"
    drag wd01 40 60
    wait_for 10 "the drag to silence part of T01.wav" probe silenced "$song/T01.wav"
    # F01's track menu: its third item deletes track 01 after the box's OK; R01 then records
    # a new take.
    click Fun01
    sleep 0.5
    xdotool key Down Down Down Return
    answer_box '^Delete Track$'
    wait_for 10 "T01.wav to be deleted" eval '[ ! -e "$song/T01.wav" ]'
    click_until R01 running
    sleep 2  # a person recording for about 2 s
    click RPSTOP
    wait_for 20 "a valid T01.wav" probe wav "$song/T01.wav"
    quit_ok_ok
    ;;
  companions)
    mkdir -p "$song"
    probe swell "$song/T01.wav" 2 110
    probe swell "$song/T02.wav" 2 55
    start_program
    show_window
    expect_placed "$main_title" 3 0
    # A second copy on the program folder shows one box and ends with status 1; the first runs on.
    start_program second
    second=$!
    answer_box '^VemraCd$'
    wait "$second"; rc=$?
    [ $rc -eq 1 ] && kill -0 "$app_pid" || fail "a second copy ended with status $rc beside the first"
    # A person clicks again after a pause (two quick clicks make a double click).
    opened=0
    for i in $(seq 10); do
      sleep 0.5
      click Fun02
      within 3 menu_up && opened=$((opened + 1))
      [ "$i" -eq 10 ] && break  # the last menu opens Trackmod
      xdotool key Escape
      wait_for 5 "the track menu to close" eval '! menu_up'
    done
    log "the track menu opened on $opened of 10 clicks on F02"
    [ $opened -eq 10 ] || fail "the track menu opened on $opened of 10 clicks on F02"
    xdotool key Down Down Down Down Down Return  # 5. Shift track
    expect_placed 'Track Shift - T02\.$' 100 140
    click S
    expect_placed '^ENTER AUDIO EDITOR PATH\.$'
    answer_box '^ENTER AUDIO EDITOR PATH\.$' Escape
    click Pinbtn
    expect_placed 'Min +Sec' 0 0
    # Form2 closes on its " Click - show waves only." (it covers HELP).
    read -r x y <<<"$(origin "$(shown_window 'Min +Sec')")"
    xdotool mousemove $((x + 50)) $((y + 56)) click 1
    wait_for 10 "Form2 to close" eval '[ -z "$(shown_window "Min +Sec")" ]'
    click HLPDOC
    expect_placed 'Click a button or panel' 60 60
    ;;
  *) fail "unknown scenario $scenario" ;;
esac
echo "PASS: $scenario"
