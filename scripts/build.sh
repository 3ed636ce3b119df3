#!/usr/bin/env bash
# Configures and builds the program.  Usage: scripts/build.sh [release|test]
#   release  optimised build in build/release (the program and the benchmarks)
#   test     debug build with AddressSanitizer and UBSan in build/test (what the tests run)
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}
case "$kind" in
  release) dir=build/release; opts=(-DCMAKE_BUILD_TYPE=Release -DVEMRA_SANITIZE=OFF) ;;
  test)    dir=build/test;    opts=(-DCMAKE_BUILD_TYPE=Debug -DVEMRA_SANITIZE=ON) ;;
  *) echo "usage: $0 [release|test]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
