#!/usr/bin/env bash
# The program's start-up against a bare window with as many controls (bench/bare_window.cpp),
# in the same X server and beside the same JACK server, alternating, several runs each.
#
# Usage: bench/startup_vs_bare.sh [BUILD_DIR] [RUNS] [PROGRAM]
#   BUILD_DIR  a release build (default build/release): app/vemracd and bench/bare_window
#   RUNS       runs of each (default 5)
#   PROGRAM    another program binary to measure instead of BUILD_DIR's (an earlier build)
#
# Needs Xvfb, xdotool and jackd. Each run starts the binary and polls (every 5 ms) until its
# window is mapped: that is "shown". Reported per run: wall time to shown, CPU time (user +
# system) and peak resident memory at that moment, and one second later (the program opens its
# input stream once its window shows: that is the idle figure, after start-up). Each window is
# then killed. The program runs on a temporary drive holding the program folder, so start-up
# shows no box.
set -u
build=${1:-build/release}
runs=${2:-5}
prog=${3:-$build/app/vemracd}
bare=$build/bench/bare_window
for b in "$prog" "$bare"; do
  [ -x "$b" ] || { echo "missing $b (cmake --build $build)"; exit 2; }
done
for t in Xvfb xdotool jackd jack_wait; do
  command -v "$t" >/dev/null || { echo "missing $t"; exit 2; }
done

tmp=$(mktemp -d)
xpid=""; jpid=""
cleanup() {
  [ -n "$jpid" ] && kill "$jpid" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# The X server, on the display number it picks.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$tmp/display" 2>"$tmp/xvfb.log" &
xpid=$!
for _ in $(seq 200); do [ -s "$tmp/display" ] && break; sleep 0.05; done
[ -s "$tmp/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$tmp/display")"
export QT_QPA_PLATFORM=xcb

# A private JACK server (dummy driver); the program finds it on its own (no VEMRA_AUDIO).
export JACK_DEFAULT_SERVER="vemra-bench"
export JACK_NO_START_SERVER=1
# BENCH_AUDIO=offline (or jack, pulse, alsa) measures with that backend instead.
if [ -n "${BENCH_AUDIO:-}" ]; then export VEMRA_AUDIO=$BENCH_AUDIO; else unset VEMRA_AUDIO; fi
jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 44100 -p 512 >"$tmp/jackd.log" 2>&1 &
jpid=$!
timeout 20 jack_wait -w -t 15 >/dev/null 2>&1 || { echo "jackd did not start"; cat "$tmp/jackd.log"; exit 1; }

# The program folder, so that start-up asks nothing.
export VEMRA_DRIVE="$tmp/drive"
mkdir -p "$VEMRA_DRIVE/Vemracd/Mysong"
head -c 44 /dev/zero >"$VEMRA_DRIVE/Vemracd/def"
head -c 44 /dev/zero >"$VEMRA_DRIVE/Vemracd/def1"
head -c 16 /dev/zero >"$VEMRA_DRIVE/Vemracd/Mv01.exe"
head -c 300 /dev/zero >"$VEMRA_DRIVE/Vemracd/Parms"

tick=$(getconf CLK_TCK)
cpu_ms() { awk -v t="$tick" '{ print int(($14 + $15) * 1000 / t) }' "/proc/$1/stat"; }
hwm_mb() { awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
rss_mb() {
  awk '/VmRSS|RssAnon|RssShmem/ { v[$1] = $2 } END { printf "%.1f MB (%.1f private, %.1f the sound server'"'"'s shared memory)", v["VmRSS:"] / 1024, v["RssAnon:"] / 1024, v["RssShmem:"] / 1024 }' "/proc/$1/status"
}

# measure NAME TITLE-PATTERN CMD...: prints one line and appends "ms cpu hwm" to $tmp/NAME
measure() {
  local name=$1 title=$2; shift 2
  local t0 t1 pid
  t0=$(date +%s%N)
  "$@" >"$tmp/$name.out" 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do
    if ! kill -0 "$pid" 2>/dev/null; then echo "$name ended before its window showed:"; cat "$tmp/$name.out" "$tmp/xvfb.log"; return 1; fi
    if [ $(( ($(date +%s%N) - t0) / 1000000 )) -gt 20000 ]; then echo "$name: no window in 20 s"; kill -9 "$pid"; return 1; fi
    sleep 0.005
  done
  t1=$(date +%s%N)
  local ms=$(( (t1 - t0) / 1000000 )) cpu hwm
  cpu=$(cpu_ms "$pid"); hwm=$(hwm_mb "$pid")
  sleep 1
  printf "%-8s shown after %5d ms, cpu %5d ms, peak RSS %6s MB | 1 s later: cpu %5d ms, peak RSS %6s MB, RSS %s\n" \
    "$name" "$ms" "$cpu" "$hwm" "$(cpu_ms "$pid")" "$(hwm_mb "$pid")" "$(rss_mb "$pid")"
  echo "$ms $cpu $hwm $(hwm_mb "$pid")" >>"$tmp/$name"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}

measure bare vemra-bare-window "$bare" >/dev/null  # warms the caches for both
rm -f "$tmp/bare"
for i in $(seq "$runs"); do
  measure bare vemra-bare-window "$bare" || exit 1
  measure program "VemraCd Version" "$prog" || exit 1
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo
for name in bare program; do
  for col in 1 2 3 4; do eval "${name}_$col=\$(cut -d' ' -f$col \"$tmp/$name\" | median)"; done
done
echo "median of $runs runs:"
printf "  bare     shown %s ms, cpu %s ms, peak RSS %s MB (%s MB after 1 s)\n" "$bare_1" "$bare_2" "$bare_3" "$bare_4"
printf "  program  shown %s ms, cpu %s ms, peak RSS %s MB (%s MB after 1 s)\n" "$program_1" "$program_2" "$program_3" "$program_4"
awk -v p="$program_1" -v b="$bare_1" -v pc="$program_2" -v bc="$bare_2" \
  'BEGIN { printf "  ratio    time %.2fx, cpu %.2fx\n", p / b, (bc > 0 ? pc / bc : 0) }'
