#!/usr/bin/env bash
# Runs the Windows build of corvane-setup under Wine, in a fresh prefix.
#
#   tests/e2e/run_wine_tests.sh BUILD_DIR [CASE...]
#
# BUILD_DIR holds corvane-setup.exe (normally build/windows). With CASE names
# only those cases run. The last line is "wine: N passed, M failed"; the exit
# status is non-zero when anything failed.
#
# Adding a case: write a function named case_<something> that returns 0 on
# success (print why when it fails) and add it to CASES. Cases share one
# prefix and run in the order listed, each in its own subshell.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine_env.sh
source "$here/wine_env.sh"

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [CASE...]" >&2
  exit 2
fi
build_dir=$1
shift
built_exe="$build_dir/corvane-setup.exe"
if [ ! -f "$built_exe" ]; then
  echo "run_wine_tests: $built_exe not found" >&2
  exit 2
fi

# Where an installed copy of the setup tool lives on a real machine.
SETUP_DIR='C:\Program Files\Corvane\Setup'
SETUP_EXE="$SETUP_DIR\\corvane-setup.exe"

# Exit code for a missing or unknown command word.
EXIT_USAGE=6

# ---- helpers for cases --------------------------------------------------------

# Runs the installed setup tool with the given words; returns its exit code.
run_setup() {
  wine_env_run "$SETUP_EXE" "$@"
}

# expect_exit CODE [WORD...]: runs the setup tool and checks its exit code.
expect_exit() {
  local expected=$1 actual
  shift
  run_setup "$@"
  actual=$?
  if [ "$actual" -ne "$expected" ]; then
    echo "  corvane-setup${*:+ $*} exited with $actual, expected $expected"
    return 1
  fi
}

# ---- cases ----------------------------------------------------------------------

case_no_command_word() {
  expect_exit "$EXIT_USAGE"
}

case_unknown_command_word() {
  expect_exit "$EXIT_USAGE" bogus
}

CASES=(
  case_no_command_word
  case_unknown_command_word
)

# ---- runner ---------------------------------------------------------------------

selected=("$@")
[ ${#selected[@]} -gt 0 ] || selected=("${CASES[@]}")

passed=0
failed=0
trap wine_env_stop EXIT

started=$SECONDS
if ! wine_env_start; then
  echo "FAIL could not create the Wine prefix"
  echo "wine: 0 passed, ${#selected[@]} failed"
  exit 1
fi
echo "prefix ready in $((SECONDS - started)) s: $WINEPREFIX"

install_dir=$(wine_env_unix_path "$SETUP_DIR")
if ! mkdir -p "$install_dir" || ! cp "$built_exe" "$install_dir/corvane-setup.exe"; then
  echo "FAIL could not copy corvane-setup.exe into the prefix"
  echo "wine: 0 passed, ${#selected[@]} failed"
  exit 1
fi

for name in "${selected[@]}"; do
  if ! declare -F "$name" >/dev/null; then
    echo "FAIL $name (no such case)"
    failed=$((failed + 1))
    continue
  fi
  case_started=$SECONDS
  if ("$name"); then
    echo "PASS $name ($((SECONDS - case_started)) s)"
    passed=$((passed + 1))
  else
    echo "FAIL $name ($((SECONDS - case_started)) s)"
    failed=$((failed + 1))
  fi
done

wine_env_stop
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
