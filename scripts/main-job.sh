#!/usr/bin/env bash
# Builds the native program and installs the product on a fresh simulated
# machine with Shift held, so the log dialog is drawn on standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native >/dev/null
set +e
CORVANE_SIM_SHIFT=1 build/native/corvane-setup install
code=$?
set -e
echo "corvane-setup install exited with $code" >&2
