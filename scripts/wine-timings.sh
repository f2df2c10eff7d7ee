#!/usr/bin/env bash
# Wall times of the Windows build under Wine: each run below five times on a
# warm wineserver, the median printed as a Markdown table next to the waits
# the program's contract forces for that run. A measurement, not a test.
#
#   scripts/wine-timings.sh [BUILD_DIR]      (BUILD_DIR: build/windows)
#
# Every install starts from a fresh prefix with the product laid out as
# shipped and its printer's data type prepared (tests/e2e/product_prefix.sh);
# a prefix's first program run, which starts its wineserver and fills Wine's
# caches, is not counted.
set -uo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
e2e=$top/tests/e2e
# shellcheck source-path=SCRIPTDIR/../tests/e2e source=wine_env.sh
source "$e2e/wine_env.sh"
# shellcheck source-path=SCRIPTDIR/../tests/e2e source=product_prefix.sh
source "$e2e/product_prefix.sh"

build_dir=$(cd "${1:-$top/build/windows}" 2>/dev/null && pwd) ||
  { echo "wine-timings: ${1:-build/windows} not found" >&2; exit 2; }
dist_dir=$build_dir/dist/Corvane
inspector=$build_dir/tests/corvane-inspect.exe
for needed in "$dist_dir/Setup/corvane-setup.exe" "$inspector"; do
  [ -f "$needed" ] || { echo "wine-timings: $needed not found (build the windows preset first)" >&2; exit 2; }
done
SETUP_EXE="$PRODUCT_DIR\\Setup\\corvane-setup.exe"
RUNS=5

die() {
  echo "wine-timings: $*" >&2
  exit 1
}

# elapsed_ms EXPECTED_EXIT WORD...: runs the installer once and prints its
# wall time in milliseconds; fails on another exit code.
elapsed_ms() {
  local expected=$1 start end code
  shift
  start=$(date +%s%N)
  wine_env_run "$SETUP_EXE" "$@" >/dev/null 2>&1
  code=$?
  end=$(date +%s%N)
  [ "$code" -eq "$expected" ] || { echo "corvane-setup $* exited with $code, expected $expected" >&2; return 1; }
  echo $(((end - start) / 1000000))
}

# A fresh, warmed prefix with the product laid out and its printer prepared.
fresh_prefix() {
  product_prefix_start "$dist_dir" >/dev/null && prepare_printer_datatype Corvane >/dev/null &&
    wine_env_run "$SETUP_EXE" >/dev/null 2>&1
  [ $? -eq 6 ] || die "could not prepare a prefix"
}

median() {
  printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"
}

trap 'wine_env_stop; wine_env_drop_template' EXIT
wine_env_make_template || die "could not boot Wine"

# measure KEY EXPECTED_EXIT WORD...: one more time for KEY.
declare -A times
measure() {
  local key=$1 ms
  shift
  ms=$(elapsed_ms "$@") || die "corvane-setup ${*:2} failed"
  times[$key]="${times[$key]:-} $ms"
}

fresh_prefix
for _ in $(seq $RUNS); do
  measure none 6
done

# Clean installs, each on a fresh prefix; the last one stays for the
# maintenance words, which change nothing on an installed machine.
for _ in $(seq $RUNS); do
  fresh_prefix
  measure install 1 install
done
for _ in $(seq $RUNS); do
  measure onChkDrv 103 onChkDrv
  measure def.set 4 def.set
  measure onInit 3 onInit
done

# Wine 8: the uninstall cannot delete the driver with its files, counts an
# error and waits for its log dialog to be closed; the inspector closes it
# as soon as it appears, so its time includes showing and closing that
# dialog.
for _ in $(seq $RUNS); do
  fresh_prefix
  elapsed_ms 1 install >/dev/null || die "install before the uninstall failed"
  wine_env_run "$inspector" wait-tray >/dev/null || die "the tray companion did not start"
  (wine_env_run "$inspector" dialog 'C:\timings-log.txt' >/dev/null) &
  closer=$!
  measure uninstall 100 uninstall
  wait "$closer" || die "the uninstall showed no dialog"
done

# shellcheck disable=SC2086  # the lists are space-separated numbers
{
  echo "| Run (exit code) | median wall time | the contract forces |"
  echo "|---|---|---|"
  echo "| no command word (6): starting the process | $(median ${times[none]}) ms | 0 |"
  echo "| clean install (1) | $(median ${times[install]}) ms | 1000 ms (the tray stop's 1 s pause without a Run value) |"
  echo "| \`onChkDrv\` (103) | $(median ${times[onChkDrv]}) ms | 0 |"
  echo "| \`def.set\` (4) | $(median ${times[def.set]}) ms | 0 |"
  echo "| \`onInit\` (3), nothing pending | $(median ${times[onInit]}) ms | 0 |"
  echo "| uninstall (100: Wine 8 keeps the driver; the log dialog closed at once) | $(median ${times[uninstall]}) ms | the companion's own exit; 100 ms per retry while its image is still locked |"
}
