#!/usr/bin/env bash
# Differential check: the same start state under Wine and on the simulated
# machine. For each story a fresh prepared Wine prefix is set up, captured
# (corvane-capture.exe), the command word run under Wine and the prefix
# captured again; the first capture is then rehearsed with the native
# corvane-setup. Exit codes, log lines (/log=), standard output (check's
# report) and the end states (the text of `corvane-sim show`) are compared,
# one row a story.
#
#   tests/differential.sh [STORY...]    (needs build/windows and build/native)
#
# Every difference is mended or named in WINE_DIFFERENCES; the check fails
# on an unnamed difference and on a named one that no story met.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tests/e2e/wine_env.sh"
source "$root/tests/e2e/product_prefix.sh"
win=$root/build/windows native=$root/build/native
sim=$native/corvane-sim
for needed in "$win/dist/tools/corvane-capture.exe" "$win/tests/corvane-inspect.exe" "$native/corvane-setup" "$sim"; do
  [ -x "$needed" ] || [ -f "$needed" ] || { echo "differential: $needed is missing (build both presets)"; exit 2; }
done
SETUP='C:\Program Files\Corvane\Setup\corvane-setup.exe'
SYS='C:\windows\system32'
LOG='C:\corvane-differential.log'

# ---- set-ups on the Wine prefix ----------------------------------------------------
inspect() { wine_env_run "$win/tests/corvane-inspect.exe" "$@" >/dev/null; }
setup() { WINE_ENV_TIMEOUT=60 wine_env_run "$SETUP" "$@"; }
installed() { prepare_printer_datatype Corvane && { setup install /quiet; [ $? -eq 1 ]; } && inspect wait-tray present; }
clean() { prepare_printer_datatype Corvane; }
user_printer() {
  installed && inspect add-printer "Front desk" "Corvane printer" "Corvane:" Reception "Hall 2" keyA &&
    inspect set-default "Front desk" && prepare_printer_datatype Corvane "Front desk"
}
foreign_default() {
  installed && register_driver "$win/tests/corvane-inspect.exe" "Other printer" &&
    inspect add-printer Another "Other printer" LPT1: "" "" && inspect set-default Another
}
# The monitor's file gone and the printer moved to LPT1: after the install.
damaged() { installed && rm "$(wine_env_unix_path "$SYS\\vexmon64.dll")" && set_printer_port Corvane LPT1:; }
pending_deletion() {
  cp "$win/dist/Corvane/Setup/vexdrv64.dll" "$(wine_env_unix_path "$DRIVER_DIR")/" && inspect pending-delete "$DRIVER_DIR\\vexdrv64.dll"
}
# A file held open by another process: a capture cannot record it, so both
# sides get it (the inspector under Wine, `corvane-sim lock` here).
hold() { wine_env_run "$win/tests/corvane-inspect.exe" hold "$1" & HOLDER=$!; inspect wait-held; }
release() { inspect release; wait "$HOLDER"; }

# ---- the stories -------------------------------------------------------------------
# name | Wine set-up | word | file held during the run | faults armed on the
# rehearsal's machine for what Wine 8 refuses (corvane-sim fault arguments, ";" between)
# Wine 8: DeletePrinterDriverExW with DPD_DELETE_ALL_FILES fails with 87.
NO_DRIVER_DELETION="DeletePrinterDriverExW --error 87 --count always"
# Wine 8: a printer deleted loses its key and the "Datatype" value prepared
# in it (prepare_printer_datatype), so re-creating it fails with 1801.
NO_RECREATION="AddPrinterW --error 1801 --count always"
STORIES=(
  "clean-install|clean|install||"
  "reinstall-user-printer|user_printer|install||$NO_DRIVER_DELETION;$NO_RECREATION"
  "onChkDrv|installed|onChkDrv||"
  "def.set|foreign_default|def.set||"
  "onInit-pending-deletion|pending_deletion|onInit||"
  "uninstall|installed|uninstall||$NO_DRIVER_DELETION"
  "removetray|installed|removetray||"
  "check-damaged|damaged|check||"
  "reinstall-held-monitor|installed|install|$SYS\\vexmon64.dll|$NO_DRIVER_DELETION;$NO_RECREATION"
)

# story|what|Wine's value|the simulator's value|reason: the differences that remain.
TEXTS="Wine 8: the system's message texts are Wine's own"
LISTED="Wine 8: a printer AddPrinterW refused with 1801 stays listed (port, driver, nothing else)"
removal="Error(14): Can\`t remove the printer-driver 'Corvane printer' - "
printer="Error(15): Can\`t add printer"
copy="Error(9): CopyFile vexmon64.dll to C:\\windows\\system32\\) Cant't open destination file- FAILED! - "
WINE_DIFFERENCES=(
  "uninstall|log|    ${removal}(Invalid parameter.)|    ${removal}(The parameter is incorrect.)|$TEXTS"
  "reinstall-user-printer|log|        ${removal}(Invalid parameter.)|        ${removal}(The parameter is incorrect.)|$TEXTS"
  "reinstall-user-printer|log|      $printer 'Front desk' - (Invalid printer name.)|      $printer 'Front desk' - (The printer name is invalid.)|$TEXTS"
  "reinstall-user-printer|log|      $printer 'Corvane' - (Invalid printer name.)|      $printer 'Corvane' - (The printer name is invalid.)|$TEXTS"
  "reinstall-held-monitor|log|        ${removal}(Invalid parameter.)|        ${removal}(The parameter is incorrect.)|$TEXTS"
  "reinstall-held-monitor|log|        ${copy}(Sharing violation.)|        ${copy}(The process cannot access the file because it is being used by another process.)|$TEXTS"
  "reinstall-held-monitor|log|      Error(11): Can\`t install a local port monitor'Corvane:' - (Module not found.)|      Error(11): Can\`t install a local port monitor'Corvane:' - (The process cannot access the file because it is being used by another process.)|Wine 8: its loader reports a held DLL as not found (126), Windows' as a sharing violation (32)"
  "reinstall-held-monitor|log|      $printer 'Corvane' - (Invalid printer name.)|      $printer 'Corvane' - (The printer name is invalid.)|$TEXTS"
)
# The printers Wine keeps listed after refusing them, as `show` prints them
# (each story's lines paired with the simulator's "none").
listed() {
  local story=$1 first=1 name
  shift
  for name in "$@"; do
    WINE_DIFFERENCES+=("$story|state|    $name|${first:+  none}|$LISTED"
      "$story|state|      port Corvane:, driver Corvane printer||$LISTED" "$story|state|      comment \"\", location \"\"||$LISTED"
      "$story|state|      SubKey none, DsUser SubKey none||$LISTED" "$story|state|      jobs queued: 0||$LISTED")
    first=
  done
}
listed reinstall-user-printer Corvane "Front desk"
listed reinstall-held-monitor Corvane

# ---- the runner ----------------------------------------------------------------------
# The comparable text of a machine directory: what a capture cannot know
# (the virtual clock, how often the companion was started or asked to end)
# left out.
shown() { "$sim" show "$1" | grep -v -e '^Clock: ' -e '^  started .* asked to end '; }
log_of() { [ -f "$1" ] && sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' "$1"; }
capture() {
  wine_env_run "$win/dist/tools/corvane-capture.exe" "$1" 2>"$work/capture.err" ||
    { echo "capture failed: $(cat "$work/capture.err")"; return 1; }
  rm -rf "$2" && cp -a "$(wine_env_unix_path "$1")" "$2"
}
# Adds "story|what|wine|sim" for every line pair that differs.
differ() {
  local story=$1 what=$2
  diff <(printf '%s\n' "$3") <(printf '%s\n' "$4") | awk -v s="$story" -v w="$what" '
    /^</ { wine[++nw] = substr($0, 3) } /^>/ { simv[++ns] = substr($0, 3) }
    END { n = nw > ns ? nw : ns; for (i = 1; i <= n; i++) print s "|" w "|" wine[i] "|" simv[i] }'
}

run_story() {
  local name=$1 prepare=$2 word=$3 held=$4 faults=$5 wine_exit sim_exit found=""
  { product_prefix_start "$win/dist/Corvane" && keep_desktop "$win/tests/corvane-inspect.exe"; } ||
    { echo "$name: no Wine prefix"; return 1; }
  cp "$win/dist/tools/corvane-capture.exe" "$WINE_ENV_DRIVE_C/"
  $prepare >/dev/null 2>&1 || { echo "$name: the Wine set-up failed"; return 1; }
  capture 'C:\before' "$work/before" || return 1
  [ -z "$held" ] || hold "$held" || { echo "$name: cannot hold $held"; return 1; }
  setup "$word" /quiet "/log=$LOG" >"$work/wine.out"; wine_exit=$?
  [ -z "$held" ] || release
  # The companion an install starts shows its window a moment later.
  [ "$word" != install ] || inspect wait-tray present
  local wine_log; wine_log=$(log_of "$(wine_env_unix_path "$LOG")")
  capture 'C:\after' "$work/after" || return 1
  wine_env_stop
  rm -rf "$work/sim" && cp -a "$work/before" "$work/sim"
  [ -z "$held" ] || "$sim" lock "$work/sim" "$held" >/dev/null || return 1
  local fault
  IFS=';' read -ra fault <<<"$faults"
  for f in "${fault[@]}"; do
    # shellcheck disable=SC2086
    "$sim" fault "$work/sim" $f >/dev/null || { echo "$name: cannot arm $f"; return 1; }
  done
  CORVANE_SIM_MACHINE=$work/sim "$native/corvane-setup" "$word" /quiet "/log=$LOG" >"$work/sim.out"; sim_exit=$?
  [ -z "$held" ] || "$sim" unlock "$work/sim" "$held" >/dev/null
  [ -z "$faults" ] || "$sim" clear-faults "$work/sim" >/dev/null
  # The second capture is taken a while after the run: what was due is done.
  "$sim" wait "$work/sim" 10000 >/dev/null
  local sim_log; sim_log=$(log_of "$(readlink -f "$work/sim/current")/drive_c/corvane-differential.log")
  {
    differ "$name" exit "$wine_exit" "$sim_exit"
    differ "$name" log "$wine_log" "$sim_log"
    differ "$name" stdout "$(cat "$work/wine.out")" "$(cat "$work/sim.out")"
    differ "$name" state "$(shown "$work/after")" "$(shown "$work/sim")"
  } >"$work/differences"
  local named=0 line
  while IFS= read -r line; do
    if printf '%s\n' "${WINE_DIFFERENCES[@]}" | cut -d'|' -f1-4 | grep -qxF -- "$line"; then
      used+=("$line") named=$((named + 1))
    else
      found+="    $line"$'\n'
    fi
  done <"$work/differences"
  [ -n "$found" ] || { echo "$name: agree$([ "$named" -eq 0 ] || echo " but for $named named Wine differences")"; return 0; }
  printf '%s: differs (story|what|Wine|simulator)\n%s' "$name" "$found"
  return 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-differential.XXXXXX")
trap 'wine_env_stop; wine_env_drop_template; rm -rf "$work"' EXIT
wine_env_make_template || { echo "differential: could not boot Wine"; exit 1; }
failed=0 used=()
for story in "${STORIES[@]}"; do
  IFS='|' read -r name prepare word held faults <<<"$story"
  [ $# -eq 0 ] || [[ " $* " == *" $name "* ]] || continue
  run_story "$name" "$prepare" "$word" "$held" "$faults" || failed=$((failed + 1))
  wine_env_stop
done
for named in "${WINE_DIFFERENCES[@]}"; do
  story=${named%%|*}
  { [ $# -eq 0 ] || [[ " $* " == *" $story "* ]]; } || continue
  printf '%s\n' "${used[@]}" | grep -qxF -- "$(cut -d'|' -f1-4 <<<"$named")" ||
    { echo "named but not met: $named"; failed=$((failed + 1)); }
done
echo "differential: $failed failed"
[ "$failed" -eq 0 ]
