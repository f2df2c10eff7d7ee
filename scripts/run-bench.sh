#!/usr/bin/env bash
# Builds and runs the benchmarks: log growth, simulated waits next to what
# the contract forces, and the Windows executable's size.
set -euo pipefail
cd "$(dirname "$0")/.."
dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q 'install ok installed' ||
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libbenchmark-dev >/dev/null; }
cmake --preset bench >/dev/null
cmake --build --preset bench
build/bench/bench/corvane_bench build/windows/corvane-setup.exe
