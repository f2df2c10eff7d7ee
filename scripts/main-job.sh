#!/usr/bin/env bash
# Builds the native programs, makes a fresh simulated machine in the machine
# directory build/machine and installs the product on it with Shift held, so
# the log dialog is drawn on standard error. The machine stays there: the
# story goes on with build/native/corvane-sim and further runs of
# CORVANE_SIM_MACHINE=build/machine build/native/corvane-setup.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# shellcheck source=compiler_cache.sh
source scripts/compiler_cache.sh
cmake --preset native >/dev/null
cmake --build --preset native >/dev/null
machine=build/machine
rm -rf "$machine"
build/native/corvane-sim new "$machine" >/dev/null
set +e
CORVANE_SIM_MACHINE=$machine CORVANE_SIM_SHIFT=1 build/native/corvane-setup install
code=$?
set -e
echo "corvane-setup install exited with $code" >&2
build/native/corvane-sim show "$machine"
echo "The machine stays in $machine; build/native/corvane-sim help tells how to go on." >&2
