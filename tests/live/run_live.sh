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
jackd --no-realtime -n "$name" -d dummy -r "$rate" -p 512 >"$log" 2>&1 &
echo $! >"$pidfile"
cleanup() {
  jpid=$(cat "$pidfile" 2>/dev/null)
  if [ -n "$jpid" ]; then
    kill "$jpid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$jpid" 2>/dev/null || break; sleep 0.1; done
    # A server still shutting down after that would meet the next run under its name.
    kill -9 "$jpid" 2>/dev/null
  fi
  rm -f "$log" "$pidfile"
}
trap cleanup EXIT
if ! timeout 20 jack_wait -w -t 15 >/dev/null 2>&1; then
  echo "jackd did not start:"; cat "$log"; exit 1
fi
# jack_wait also answers for a server of the same name left running by an earlier run.
if ! kill -0 "$(cat "$pidfile")" 2>/dev/null; then
  echo "jackd did not start:"; cat "$log"; exit 1
fi
"$bin" "$@"
