#!/usr/bin/env bash
# Starts a private JACK server (dummy driver, no real-time), runs the live test against it and
# stops the server by its pid.  Usage: run_live.sh RATE TEST-BINARY [gtest args]
# The server's pid is kept in the file named by VEMRA_LIVE_JACKD_PIDFILE: a test that stops the
# server and starts it again writes the new pid there, and the clean-up stops that one.
set -u
rate=$1; shift
bin=$1; shift
# A fixed name for each build: an entry that a killed server left in the JACK registry is taken
# over, not piled up, and the live tests of two checkouts run at once each on a server of their own.
name="vemra-live-$rate-$(printf %s "$bin" | cksum | cut -d' ' -f1)"
export JACK_DEFAULT_SERVER="$name"
export JACK_NO_START_SERVER=1
export VEMRA_AUDIO=jack
export VEMRA_LIVE_RATE="$rate"
log=$(mktemp)
pidfile=$(mktemp)
export VEMRA_LIVE_JACKD_PIDFILE="$pidfile"
# Running, not a zombie: an ended server's process waits for its reaper, here pid 1.
running() { case $(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null) in "" | Z) return 1 ;; esac; }
stop_server() {
  jpid=$(cat "$pidfile" 2>/dev/null)
  [ -n "$jpid" ] || return 0
  kill "$jpid" 2>/dev/null
  for _ in $(seq 200); do running "$jpid" || break; sleep 0.1; done
  kill -9 "$jpid" 2>/dev/null
}
cleanup() { stop_server; rm -f "$log" "$pidfile"; }
trap cleanup EXIT
# A server of this name from an earlier run can still be shutting down, and one that was killed
# leaves its entry in the JACK registry until its process is reaped: a few tries. jack_wait also
# answers for such a server, hence the check that ours runs.
for try in 1 2 3 4 5; do
  jackd --no-realtime -n "$name" -d dummy -r "$rate" -p 512 >"$log" 2>&1 &
  echo $! >"$pidfile"
  if timeout 10 jack_wait -w -t 5 >/dev/null 2>&1 && running "$(cat "$pidfile")"; then break; fi
  if [ "$try" = 5 ]; then echo "jackd did not start:"; cat "$log"; exit 1; fi
  stop_server  # one that started all the same, before the next try takes over its pid file
  sleep 2
done
# The test ends before CTest's limit (120 s) would kill this script with it, so that the clean-up
# always stops the server, also one that the test started again (no child of this script).
left=$((110 - SECONDS))
[ "$left" -gt 10 ] || { echo "jackd took too long to start"; exit 1; }
timeout -s KILL "$left" "$bin" "$@"
rc=$?
[ "$rc" = 137 ] && echo "the live test did not end within $left s: killed"
exit "$rc"
