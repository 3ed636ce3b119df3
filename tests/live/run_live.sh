#!/usr/bin/env bash
# Starts a private JACK server (dummy driver, no real-time), runs the live test against it and
# stops the server by its pid.  Usage: run_live.sh RATE TEST-BINARY [gtest args]
set -u
rate=$1; shift
bin=$1; shift
name="vemra-live-$$-$rate"
export JACK_DEFAULT_SERVER="$name"
export JACK_NO_START_SERVER=1
export VEMRA_AUDIO=jack
export VEMRA_LIVE_RATE="$rate"
log=$(mktemp)
jackd --no-realtime -n "$name" -d dummy -r "$rate" -p 512 >"$log" 2>&1 &
jpid=$!
cleanup() { kill "$jpid" 2>/dev/null; wait "$jpid" 2>/dev/null; rm -f "$log"; }
trap cleanup EXIT
if ! timeout 20 jack_wait -w -t 15 >/dev/null 2>&1; then
  echo "jackd did not start:"; cat "$log"; exit 1
fi
"$bin" "$@"
