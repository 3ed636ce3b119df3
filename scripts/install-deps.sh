#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need.
# Safe to run again: it installs only what is missing.
set -euo pipefail
pkgs=(build-essential pkg-config cmake ninja-build qt6-base-dev librtaudio-dev
      libsamplerate0-dev libgtest-dev libgmock-dev libbenchmark-dev jackd2 sox time
      # the real-window tests: X server, synthesized input, screenshots, window facts, the
      # driver, and the window managers they run under
      xvfb xdotool x11-apps x11-utils python3 openbox twm
      # the fonts the mixer display is laid out for
      fonts-dejavu-core)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update
  # jackd2 asks about real-time priority unless told not to.
  echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections || true
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
