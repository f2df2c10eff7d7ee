#!/usr/bin/env bash
# Runs the Windows build of corvane-setup under Wine: the shipped layout
# (dist/) in a fresh prefix for every case, driven by the product's command
# words, with corvane-inspect.exe reading the machine's state back as text.
#
#   tests/e2e/run_wine_tests.sh BUILD_DIR [CASE...]
#
# BUILD_DIR is the windows build (normally build/windows). With CASE names
# only those cases run. The last line is "wine: N passed, M failed"; the
# exit status is non-zero when anything failed.
#
# Cases are rows of TABLE: "CASE PREPARE RUN EXIT LOG STATE". The rows of
# one CASE run in order in one fresh prefix (a copy of one booted at the
# start, the product laid out as shipped); a case passes when every row does.
#   PREPARE  "-" or names, comma-separated, of prep_NAME functions run first;
#            one may queue clean-up commands in AFTER (run after the row)
#   RUN      "-" (no word), one command word for the setup tool, or
#            ":NAME" for the function NAME, whose return code is the exit
#   EXIT     the exit code expected (Wine hands back its low 8 bits)
#   LOG      "-": the run must show no dialog; "*": it shows its log dialog;
#            NAME: it does, and the dialog's lines and log compare with the
#            block NAME (see check_log)
#   STATE    "-" or the block NAME the state (inspector state, product
#            files and the entry among installed programs) must equal once
#            sorted (see check_state)
# A log block names the lines this case is about; the rest of a run's log
# under Wine is compared line by line with the simulated machine's by the
# differential check (tests/differential.sh), so it is not repeated here.
# Blocks are in DATA, each after a line "@log NAME" or "@state NAME"; a line
# "<OTHER" stands for block OTHER, and in a state block "-LINE" takes LINE
# out of the lines above it. A case that reads files only is named in
# NO_PREFIX_CASES.
#
# Further case files beside this one (cases_*.sh) are sourced after TABLE
# and DATA. They may append rows (TABLE+=$'\n...'), blocks (DATA+=$'\n...')
# and prep_NAME or run functions, or name in CASES functions that are whole
# cases (run in a fresh prefix, 0 for success). Helpers kept from the
# earlier per-function harness: run_setup WORD..., run_setup_logged WORD...
# (sets SETUP_EXIT, DIALOG, LOG), inspect VERB..., same_text WHAT WANT GOT,
# unix WINPATH, hold_file PATH [shared] / release_held_file (the latter
# also runs by itself after a row that held a file),
# prepare_printer_datatype NAME..., register_driver INSPECTOR NAME,
# set_printer_port NAME PORT (product_prefix.sh), check_quiet (a run:
# check's report into LOG, the machine unchanged). Replacements for the
# others: expect_exit CODE WORD -> a row; state_of KIND -> state | grep
# "^KIND ", or check_state BLOCK; log_errors, log_lines, has_log_line ->
# check_log BLOCK (error lines and step headings always compared); exists,
# missing -> the "files" lines of the state; install_product -> a row
# "datatype install 1"; expect_installed_parts -> the state block
# "installed"; uninstall_while_monitor_file_held -> a row "monitor,holdmon
# uninstall 101"; tray_process -> inspect wait-tray [OTHER_PID]; msi_prefix,
# msiexec_expect, msi_has, installed_entry, take_state -> prep "msi",
# msiexec_run ACTION [PROPERTY...] (or :msi_install, :msi_remove) with
# check_log, and the state's "entry" line; tool_runs, expect_product_kept
# -> check_log (every package line of the tool is compared) and a state
# block; journal_absent -> the state's "journal" line; EXIT_*, MSI_* -> the
# numbers listed above TABLE.
#
# Where Wine 8 differs from Windows, a comment says so, starting "Wine 8:".
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine_env.sh
source "$here/wine_env.sh"
# shellcheck source-path=SCRIPTDIR source=product_prefix.sh
source "$here/product_prefix.sh"

build_dir=$(cd "${1:-}" 2>/dev/null && pwd) || { echo "usage: $0 BUILD_DIR [CASE...]" >&2; exit 2; }
shift
dist_dir="$build_dir/dist/Corvane"
inspector="$build_dir/tests/corvane-inspect.exe"
for needed in "$dist_dir/Setup/corvane-setup.exe" "$inspector" "$build_dir/dist/Corvane-2620.msi"; do
  [ -f "$needed" ] || { echo "run_wine_tests: $needed not found (build the windows preset and its msi)" >&2; exit 2; }
done

SETUP_DIR="$PRODUCT_DIR\\Setup"
SETUP_EXE="$SETUP_DIR\\corvane-setup.exe"
SYSTEM_DIR='C:\windows\system32'
LOG_COPY='C:\corvane-log.txt'
MSI_COPY='C:\Corvane-2620.msi'
SESSION_KEY='HKLM\System\CurrentControlSet\Control\Session Manager'

# ---- helpers ------------------------------------------------------------------

unix() { wine_env_unix_path "$1"; }
# Its waits give up after three minutes, before WINE_ENV_TIMEOUT here.
inspect() { WINE_ENV_TIMEOUT=300 wine_env_run "$inspector" "$@"; }

# The installed setup tool; SETUP_DLL_OVERRIDES holds WINEDLLOVERRIDES
# entries for its runs alone. A dialog nobody closes ends the run at
# WINE_ENV_TIMEOUT (exit 124).
run_setup() { WINE_ENV_DLL_OVERRIDES=${SETUP_DLL_OVERRIDES:-} wine_env_run "$SETUP_EXE" "$@"; }

# run_setup_logged WORD...: runs the tool while the inspector reads its log
# dialog and closes it. Sets SETUP_EXIT, DIALOG (title, button, box) and LOG
# (the box's text, CR removed); fails when no dialog appeared or a line of
# the log does not end with CR LF.
run_setup_logged() {
  local raw exit_file="$WINE_ENV_ROOT/setup.exit" found
  raw=$(unix "$LOG_COPY")
  rm -f "$exit_file" "$raw"
  (run_setup "$@"; echo $? >"$exit_file") &
  DIALOG=$(inspect dialog "$LOG_COPY")
  found=$?
  wait $!
  SETUP_EXIT=$(cat "$exit_file" 2>/dev/null || echo none)
  LOG=$(tr -d '\r' <"$raw" 2>/dev/null)
  [ "$found" -eq 0 ] || { echo "  corvane-setup $* showed no log dialog (exit $SETUP_EXIT)"; return 1; }
  crlf "$raw" "the log"
}
# crlf FILE WHAT: every line of FILE ends with CR LF, the last one too.
crlf() {
  [ "$(grep -c $'\r$' "$1")" -eq "$(wc -l <"$1")" ] && [ "$(tail -c 2 "$1" | od -An -tx1)" = " 0d 0a" ] ||
    { echo "  the lines of $2 do not all end with CR LF"; return 1; }
}

# What "check" must leave as it found it: the state, every file and folder
# of C: with its size and time, the product's and the spooler's keys and the
# spooler service's state.
untouched() {
  state && (cd "$WINE_ENV_DRIVE_C" && find . -printf '%p %s %T@\n' | sort) && wine_env_run sc query Spooler
  local key; for key in 'HKLM\Software\Brennock' 'HKCU\Software\Brennock' "${PRINTERS_KEY%\\*}"; do wine_env_run reg query "$key" /s; done
}
# "check /quiet": its report, read from standard output, goes into LOG for
# check_log. A machine it changed is shown and the row fails with 125.
check_quiet() {
  local before code report="$WINE_ENV_ROOT/report" again tries=0
  # What the package started may still be settling on a loaded machine:
  # two readings alike, at most ten, before the check runs.
  before=$(untouched)
  while again=$(untouched) && [ "$again" != "$before" ] && [ $((tries += 1)) -lt 10 ]; do before=$again; done
  run_setup check /quiet >"$report"; code=$?
  DIALOG='' LOG=$(tr -d '\r' <"$report")
  crlf "$report" "the report" && same_text "the machine after check" "$before" "$(untouched)" || return 125
  return $code
}

# same_text WHAT EXPECTED ACTUAL: equal texts, or a diff and failure.
same_text() {
  [ "$2" = "$3" ] && return 0
  echo "  $1 differs (- expected, + actual):"
  diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed -n 's/^</    -/p; s/^>/    +/p'
  return 1
}

# block KIND NAME [INDENT]: the lines of the data block "@KIND NAME", its
# "<OTHER [INDENT]" lines expanded, each line after INDENT spaces.
block() {
  local line other indent
  awk -v head="@$1 $2" '/^@/ { on = ($0 == head); next } on' <<<"$DATA" | while IFS= read -r line; do
    if [[ $line != '<'* ]]; then printf '%s\n' "$line"; continue; fi
    read -r other indent <<<"${line#<}"
    block "$1" "$other" "${indent:-0}"
  done | sed "s/^/$(printf "%${3:-0}s" '')/"
}

# The product's files wherever they lie on C:, one line per folder: "files
# FOLDER: NAME...", a NAME marked "*" when it is not the shipped file.
product_files() {
  local file shipped
  (cd "$WINE_ENV_DRIVE_C" && find . -type f \( -iname 'vex*' -o -iname cortray.exe -o -iname corvane-setup.exe \)) |
    while read -r file; do
      shipped=$(find "$dist_dir" -name "${file##*/}" | head -n 1)
      cmp -s "$WINE_ENV_DRIVE_C/$file" "$shipped" || file+='*'
      printf '%s\n' "${file#.}"
    done | sort | awk '{ dir = $0; sub(/\/[^\/]*$/, "", dir); n = substr($0, length(dir) + 2)
      gsub(/\//, "\\", dir); names[dir] = names[dir] " " n } END { for (d in names) print "files C:" d ":" names[d] }'
}

# The product's entry in the list of installed programs.
installed_entry() {
  wine_env_run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk -v RS= '/\n +DisplayName +REG_SZ +Corvane\n/ { delete v; n = split($0, l, "\n")
      for (i = 2; i <= n; i++) { sub(/^ +/, "", l[i]); split(l[i], f, /    /); v[f[1]] = f[3] }
      printf "entry \"%s\" version \"%s\" publisher \"%s\"%s\n", v["DisplayName"], v["DisplayVersion"],
        v["Publisher"], v["NoModify"] == "0x1" ? " no Modify" : "" }'
}
state() { { inspect state && product_files && installed_entry; } | sort; }

# check_state NAME: the state equals block NAME. A companion the block has
# running is waited for first (one from another process than TRAY_BEFORE,
# when that is set).
check_state() {
  local want
  want=$(block state "$1" | awk '/^-/ { for (i in keep) if (keep[i] == substr($0, 2)) delete keep[i]; next }
    { keep[++n] = $0 } END { for (i = 1; i <= n; i++) if (i in keep) print keep[i] }' | sort)
  if [[ $want == *"tray mutex yes window yes"* ]]; then
    inspect wait-tray "${TRAY_BEFORE:-0}" >/dev/null || echo "  no tray companion${TRAY_BEFORE:+ other than $TRAY_BEFORE}"
  fi
  same_text "state $1" "$want" "$(state)"
}

# check_log NAME: block NAME equals what DIALOG and LOG hold of it: their
# lines equal to one of its lines, and every error line, step heading (a
# line starting "#"), package line of the tool, end of a companion action
# and line of a check's report (a finding's name, "Healthy" or "Info").
check_log() {
  local want
  [ -z "${DUMP_LOGS:-}" ] || printf '%s\n%s\n' "$DIALOG" "$LOG" >"$DUMP_LOGS/$1.log"
  want=$(block log "$1")
  same_text "log $1" "$want" "$(printf '%s\n%s\n' "$DIALOG" "$LOG" |
    want=$want awk 'BEGIN { n = split(ENVIRON["want"], w, "\n"); for (i = 1; i <= n; i++) keep[w[i]] = 1 }
      $0 in keep || /^ *(#|Error\(|Corvane setup:)|^Action ended: .*Companion\.|^(Info|Healthy|[A-Z][a-z]+([A-Z][a-z]+)+): /')"
}

# hold_file PATH [shared]: another process holds PATH open (see the
# inspector's hold) until release_held_file, which the row runner calls
# after the row's run.
hold_file() {
  inspect hold "$@" &
  HOLDER=$!
  AFTER+=(release_held_file)
  inspect wait-held || { echo "  $1 could not be held"; return 1; }
}
release_held_file() { inspect release && wait "$HOLDER"; }

# msiexec_run ACTION [PROPERTY...]: msiexec without a person (or with the
# user interface MSI_UI) on PACKAGE (the shipped one unless set), its log read into LOG (CR removed) for
# check_log; returns msiexec's exit code.
msiexec_run() {
  local log='C:\msi.log' code
  rm -f "$(unix "$log")"
  wine_env_run msiexec "$1" "${PACKAGE:-$MSI_COPY}" "${@:2}" "${MSI_UI:-/qn}" /l*v "$log" >/dev/null 2>&1
  code=$?
  # The folder made for the tool's log has a random name of 24 hex digits;
  # the clock's time differs from run to run.
  DIALOG='' LOG=$(tr -d '\r' <"$(unix "$log")" 2>/dev/null |
    sed 's/\\corvane-setup-[0-9a-f]\{24\}\\/\\corvane-setup-RANDOM\\/g; s/^Action ended [0-9:]*: /Action ended: /')
  return $code
}

# ---- set-ups and runs the table names -----------------------------------------

prep_datatype() { prepare_printer_datatype Corvane; }
prep_shift() { inspect shift down && AFTER+=("inspect shift up"); }
# The companion must be a new process after the row's run.
prep_newtray() { TRAY_BEFORE=$(inspect wait-tray); }
prep_noui() { rm "$(unix "$SETUP_DIR\\vexui64.dll")"; }
# Three printers set up through the API: Office and Lab remembered by their
# settings key (Lab's under DsUser only), Spare with none; Office the default.
prep_printers() {
  inspect add-printer Office "Corvane printer" "Corvane:" "first floor" "Room 1" SetA &&
    inspect add-printer Lab "Corvane printer" "Corvane:" "second floor" "Room 2" SetB dsuser &&
    inspect add-printer Spare "Corvane printer" "Corvane:" "no settings" "" && inspect set-default Office
}
# Another maker's printer on the local monitor's port, as the default.
prep_another() {
  register_driver "$inspector" "Other printer" && inspect add-printer Another "Other printer" "LPT1:" "" "" && prep_default_another
}
prep_default_another() { inspect set-default Another; }
prep_olddriver() { cp "$build_dir/companions/build2604/vexdrv64.dll" "$(unix "$DRIVER_DIR\\3\\vexdrv64.dll")"; }
# Only the monitor, registered through the API, so that nothing else fails
# (Wine 8 cannot remove a driver, see the msi case).
prep_monitor() {
  cp "$dist_dir/Setup/vexmon64.dll" "$(unix "$SYSTEM_DIR")" && inspect add-monitor "Corvane:" vexmon64.dll
}
# Wine 8: the spooler never holds the monitor DLL open (it loads it into the
# calling process), so another process holds it here.
prep_holdmon() { hold_file "$SYSTEM_DIR\\vexmon64.dll"; }
prep_holdui() { hold_file "$DRIVER_DIR\\vexui64.dll"; }
# Staged driver files, the first of them to be deleted at the next restart.
prep_pending() {
  cp "$dist_dir/Setup/vexdrv64.dll" "$dist_dir/Setup/vexui64.dll" "$(unix "$DRIVER_DIR")" &&
    inspect pending-delete "$DRIVER_DIR\\vexdrv64.dll"
}
prep_pendui() { inspect pending-delete "$DRIVER_DIR\\vexui64.dll"; }
# Faults "check" finds, each taken back after its row: the monitor's file
# gone, the printer on another port, a journal left, a pending rename onto
# the monitor's file.
prep_nomonfile() { mv "$(unix "$SYSTEM_DIR\\vexmon64.dll")" "$WINE_ENV_ROOT" && AFTER+=("mv '$WINE_ENV_ROOT/vexmon64.dll' '$(unix "$SYSTEM_DIR")'"); }
prep_offport() { set_printer_port Corvane LPT1: && AFTER+=("set_printer_port Corvane Corvane:"); }
# "Kept" with the settings key "SetK", as UTF-16 texts each with its zero.
prep_journal() {
  row_value 'HKLM\Software\Brennock\Corvane' PrintersToRestore REG_BINARY "$(printf 'Kept\0SetK\0\0\0\0' | iconv -t UTF-16LE | od -An -tx1 | tr -d ' \n')"
}
prep_pendmon() { row_value "$SESSION_KEY" PendingFileRenameOperations REG_MULTI_SZ "\\??\\C:\\new.dll\\0!\\??\\$SYSTEM_DIR\\vexmon64.dll"; }
# row_value KEY NAME TYPE DATA: the value for one row only.
row_value() {
  wine_env_run reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null && AFTER+=("wine_env_run reg delete '$1' /v $2 /f >/dev/null")
}
# The spooler's library cannot be loaded by the setup tool.
prep_nospooler() { SETUP_DLL_OVERRIDES="winspool.drv=d"; }
# The package goes onto a machine without the product: the runner laid it
# out, so it is taken away again.
prep_msi() { rm -rf "$(unix "$PRODUCT_DIR")" && cp "$build_dir/dist/Corvane-2620.msi" "$(unix "$MSI_COPY")"; }

# Wine loads its own builtin libraries unless told to prefer a native file;
# Windows searches a program's folder first for every library that is not a
# known DLL. The planted ones leave a marker when loaded.
PREFER_PLANTED="version,winspool.drv=n,b"
prep_plant() {
  cp "$build_dir/tests/planted/VERSION.dll" "$build_dir/tests/planted/WINSPOOL.DRV" "$(unix "$SETUP_DIR")" &&
    SETUP_DLL_OVERRIDES=$PREFER_PLANTED
}
planted_markers() {
  find "$(unix "$SETUP_DIR")" -maxdepth 1 -name '*.loaded' -printf '%f\n' | tr '[:upper:]' '[:lower:]' | sort | xargs
}

# The plant is effective: a program beside it that imports both libraries
# loads both and works through them.
planted_inspector() {
  local copy="$SETUP_DIR\\corvane-inspect.exe" ok=0
  cp "$inspector" "$(unix "$copy")" || return 1
  same_text "build read through the plant" "build 2620" \
    "$(WINE_ENV_DLL_OVERRIDES=$PREFER_PLANTED wine_env_run "$copy" build "$SETUP_DIR\\vexdrv64.dll")" || ok=1
  same_text "markers" "version.dll.loaded winspool.drv.loaded" "$(planted_markers)" || ok=1
  rm -f "$(unix "$copy")" "$(unix "$SETUP_DIR")"/*.loaded
  return $ok
}
# Wine 8: its user32 imports version.dll and, with a native one preferred,
# takes the planted one from the program's folder before the program's first
# line; Windows' user32 does not, and Windows takes a known DLL's
# dependencies from the system directory too. So the spooler's library alone
# shows what the program loads; the import check covers version.dll.
planted_setup_markers() { same_text "markers beside the installer" "version.dll.loaded" "$(planted_markers)"; }

# A second companion finds the mutex taken and leaves at once; the first
# goes on.
second_tray() {
  local first
  first=$(inspect wait-tray) && wine_env_run "$PRODUCT_DIR\\cortray.exe" &&
    same_text "companion" "$first" "$(inspect wait-tray)"
}
msi_install() { msiexec_run /i; }
# msi_failed: a failed first install takes off what it added, running
# uninstall once, whatever value the property in which the package notes
# whether the product was there is given, or its former public name on the
# command line. Wine 8 makes a property named on the command line public
# (CorvanePresent=1 sets CORVANEPRESENT); Windows takes the name as given.
# So the package copy gives the private one its value, as a transform could.
msi_install_forged() {
  msibuild "$(unix "$MSI_COPY")" -q "INSERT INTO Property (Property, Value) VALUES ('CorvanePresent', '1')" &&
    msiexec_run /i CORVANE_PRESENT=1
}
msi_remove() { msiexec_run /x; }
reboot() { wine_env_run wineboot -r >/dev/null 2>&1; }

# The resources compiled into the executable, decompiled, and the libraries
# the shipped programs and the package's custom actions import: known DLLs
# only (Windows takes those from the system directory), no delay-loaded ones.
# Windows' known DLLs (Session Manager\KnownDLLs), and ntdll.
KNOWN_DLLS='^(advapi32|clbcatq|combase|comdlg32|coml2|difxapi|gdi32|gdiplus|imagehlp|imm32|kernel32|msctf|msvcrt|'\
'normaliz|nsi|ole32|oleaut32|psapi|rpcrt4|sechost|setupapi|shcore|shell32|shlwapi|user32|wldap32|ws2_32|ntdll)\.dll$'
check_resources() {
  local ok=0 file
  same_text "resources" "$(block text resources)" "$(x86_64-w64-mingw32-windres -J coff -O rc \
    -i "$dist_dir/Setup/corvane-setup.exe" | sed '/^\/\*/,/\*\//d; /^$/d; /^1 24/,/^END/d')" || ok=1
  # The manifest is res/'s, byte for byte, and asks for the rights and controls the program needs.
  grep -q 'level="requireAdministrator"' "$here/../../res/corvane-setup.manifest" &&
    grep -q 'Common-Controls" version="6.0.0.0"' "$here/../../res/corvane-setup.manifest" &&
    python3 -c 'import sys; sys.exit(open(sys.argv[1], "rb").read().find(open(sys.argv[2], "rb").read()) < 0)' \
      "$dist_dir/Setup/corvane-setup.exe" "$here/../../res/corvane-setup.manifest" || { echo "  manifest"; ok=1; }
  for file in "$dist_dir"/Setup/*.exe "$dist_dir"/Setup/*.dll "$dist_dir/cortray.exe" \
      "$build_dir/package/corvane-msi-actions.dll"; do
    x86_64-w64-mingw32-objdump -p "$file" | KNOWN_DLLS=$KNOWN_DLLS awk -v f="${file##*/}" '
      /^Entry d / && $3 $4 ~ /[1-9a-fA-F]/ { print "  " f ": delay-loaded imports"; bad = 1 }
      /DLL Name:/ && tolower($3) !~ ENVIRON["KNOWN_DLLS"] {
        print "  " f " imports " $3 ", not a known DLL"; bad = 1 } END { exit bad }' || ok=1
  done
  return $ok
}

# ---- the cases ------------------------------------------------------------------
# Exit codes: 1 installed, 2 uninstalled, 3 no, 4 default set, 6 usage,
# 100 errors, 101 restart needed, 102 another printer is the default,
# 103 driver current, 200 package files still pending; check: 0 healthy,
# 104 install repairs, 105 a restart first (125: check_quiet saw a change);
# msiexec 0 success, 67 (1603) failure, 194 (3010) restart needed.
# Wine 8: a fresh prefix's spooler service is stopped until a program starts
# it (Windows starts it with the system), so check there finds
# SpoolerNotRunning, not NotInstalled; the install starts it. Wine hands a
# GUI-subsystem program the standard output it was started with, as Windows
# does when the caller redirects it: check's report is read from there.
# Wine 8: AddPrinterW given no data type (pDatatype null, which Windows
# accepts) stores the printer without a "Datatype" value, cannot open it
# afterwards and fails with 1801 (the install's error 15); the queue stays
# listed but unusable. Cases on a prefix prepared with "datatype"
# (prepare_printer_datatype) see the program's own install succeed; the
# others show this difference. Wine 8 also cannot remove the driver
# (DeletePrinterDriverExW with DPD_DELETE_ALL_FILES fails with 87: error 14),
# so every uninstall of the product ends with 100 and leaves the driver.
# Wine 8: a queue the reinstall did not bring back keeps its record (name,
# settings key, comment, location, default mark) in the journal until it is
# back (state reinstall; pkg_kept brings one back).
# Wine 8: msiexec runs its deferred actions as the user in session 1 (on
# Windows: SYSTEM in session 0), so the package's install starts the
# companion (msi_installed); nor is a user interface shown under /qn, so
# the companion's start in the user's session is not shown here (see
# the session rows of tests/scenario/runs_test.cpp for the setup tool's side).
TABLE=$(cat <<'EOF'
resources  -         :check_resources 0  -  -
words      -         :check_quiet    104  spooler_stopped -
words      -         -               6    -               fresh
words      -         bogus           6    -               -
words      -         DEF.SET         6    -               -
words      -         def.settings    6    -               -
words      -         removetray      6    -               -
words      -         onChkDrv        3    -               -
words      -         uninstall       2    -               -
words      shift     uninstall       2    empty_uninstall fresh
install    -         install         100  bare_install    bare_install
install    -         :second_tray    0    -               -
reinstall  -         install         100  *               -
reinstall  printers,newtray,shift install 100 reinstall   reinstall
errors     noui      install         100  errors          errors
installed  datatype  install         1    -               -
installed  -         onChkDrv        103  -               -
installed  another   onInit          102  -               -
installed  -         DEF.SET         6    -               default_another
installed  -         def.set         4    -               default_corvane
installed  -         onInit          3    -               -
installed  default_another onInit    102  -               -
installed  olddriver onChkDrv        3    -               -
installed  -         removetray      6    -               removetray
check      datatype  install         1    -               installed
check      -         :check_quiet    0    healthy         -
check      nomonfile :check_quiet    104  nomonfile       -
check      offport   :check_quiet    104  offport         -
check      journal   :check_quiet    104  journal         -
check      pendmon   :check_quiet    105  pendmon         -
locked     monitor,holdmon uninstall 101  -               locked
locked     -         :reboot         0    -               fresh
oninit     pending   onInit          102  -               oninit
oninit     pendui,holdui onInit      200  -               oninit_held
restart    monitor,holdmon uninstall 101  -               locked
restart    -         install         100  before_restart  -
restart    -         :reboot         0    -               bare_install
planted    plant     :planted_inspector 0 -               -
planted    datatype  -               6    -               -
planted    -         install         1    -               installed
planted    -         :planted_setup_markers 0 -           -
nospooler  nospooler install         100  nospooler       -
nospooler  -         onChkDrv        3    -               -
nospooler  -         onInit          102  -               -
nospooler  -         def.set         4    -               -
msi        msi,datatype,planted_logs :msi_install 0 msi_install msi_installed
msi        -         :check_quiet    0    healthy         -
msi        -         :msi_icon       0    -               -
msi        -         :msi_remove     0    msi_remove      driver
msi        -         :victim_kept    0    -               -
msi_failed msi       :msi_install_forged 67 msi_failed    msi_failed
EOF
)
NO_PREFIX_CASES=" resources "

DATA=$(cat <<'EOF'
@text resources
LANGUAGE 9, 1
101 DIALOGEX 0, 0, 451, 228
STYLE 0x80c808c8
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  DEFPUSHBUTTON "Close", 1, 394, 207, 50, 14, 0x50010001
  EDITTEXT 1001, 7, 7, 437, 194, 0x50a108c4
END
@state fresh
files C:\Program Files\Corvane: cortray.exe
files C:\Program Files\Corvane\Setup: corvane-setup.exe vexdrv64.dll vexhelp.chm vexmon64.dll vexui64.dll
@log uninstall_steps
  #DeleteAllPrinters
  #DeletePrinterDriver for Windows x64
  #DeleteMonitor
@log empty_uninstall
title "Corvane build 2620- Install log."
#Check Spooler
#UnInstall
<uninstall_steps
@log bare_install
title "Corvane build 2620- Install error log!"
#Check Spooler
##0010
#ReInstall
    #UnInstall
<uninstall_steps 4
    #AddMonitor
    #Add Printer Driver x64
    #AddPrinter(Corvane)
      Error(15): Can`t add printer 'Corvane' - (Invalid printer name.)
@state monitor
monitor "Corvane:" dll "vexmon64.dll"
port "Corvane:" monitor "Corvane:" description "Corvane virtual printer port" type 1
files C:\windows\system32: vexmon64.dll
@state driver
driver "Corvane printer" version 3 path "C:\windows\system32\spool\drivers\x64\3\vexdrv64.dll" config "C:\windows\system32\spool\drivers\x64\3\vexui64.dll" help "C:\windows\system32\spool\drivers\x64\3\vexhelp.chm"
files C:\windows\system32\spool\drivers\x64\3: vexdrv64.dll vexhelp.chm vexui64.dll
@state tray
run CorvaneTray "C:\Program Files\Corvane\cortray.exe"
tray mutex yes window yes visible no
@state bare_install
<fresh
<monitor
<driver
<tray
printer "Corvane" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "" comment "" location "" (cannot open, error 1801)
@state reinstall
<bare_install
printer "Lab" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "" comment "" location "" (cannot open, error 1801)
printer "Office" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "" comment "" location "" (cannot open, error 1801)
printer "Spare" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "" comment "" location "" (cannot open, error 1801)
default "Corvane"
journal "Spare" "" "no settings" "" "" "Office" "SetA" "first floor" "Room 1" "1" "Lab" "SetB" "second floor" "Room 2" ""
@state errors
<fresh
-files C:\Program Files\Corvane\Setup: corvane-setup.exe vexdrv64.dll vexhelp.chm vexmon64.dll vexui64.dll
files C:\Program Files\Corvane\Setup: corvane-setup.exe vexdrv64.dll vexhelp.chm vexmon64.dll
<monitor
<tray
files C:\windows\system32\spool\drivers\x64: vexdrv64.dll
@state installed
<fresh
<monitor
<driver
<tray
printer "Corvane" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "RAW" comment "" location "" subkey (none) dsuser (none)
@state default_another
<installed
printer "Another" port "LPT1:" driver "Other printer" processor "WinPrint" datatype "RAW" comment "" location "" subkey (none) dsuser (none)
driver "Other printer" version 3 path "C:\windows\system32\spool\drivers\x64\3\vexdrv64.dll" config "C:\windows\system32\spool\drivers\x64\3\vexui64.dll" help ""
default "Another"
@state default_corvane
<default_another
-default "Another"
default "Corvane"
@state removetray
<default_another
-run CorvaneTray "C:\Program Files\Corvane\cortray.exe"
-tray mutex yes window yes visible no
-files C:\Program Files\Corvane: cortray.exe
-files C:\windows\system32\spool\drivers\x64\3: vexdrv64.dll vexhelp.chm vexui64.dll
files C:\windows\system32\spool\drivers\x64\3: vexdrv64.dll* vexhelp.chm vexui64.dll
@state locked
<fresh
files C:\windows\system32: vexmon64.dll
pending "\??\C:\windows\system32\vexmon64.dll" -> ""
@state oninit
<fresh
files C:\windows\system32\spool\drivers\x64: vexui64.dll
pending "\??\C:\windows\system32\spool\drivers\x64\vexdrv64.dll" -> ""
@state oninit_held
<oninit
pending "\??\C:\windows\system32\spool\drivers\x64\vexui64.dll" -> ""
@state msi_installed
<installed
entry "Corvane" version "1.0.2620" publisher "Brennock" no Modify
@state msi_failed
<driver
printer "Corvane" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "" comment "" location "" (cannot open, error 1801)
@log reinstall
title "Corvane build 2620- Install error log!"
#Check Spooler
##0010
#ReInstall
    #UnInstall
      #DeleteAllPrinters
        Error(18): Can`t read the settings of printer 'Corvane' - (Invalid printer name.)
        #DeletePrinter(Lab)
        #DeletePrinter(Office)
        #DeletePrinter(Spare)
      #DeletePrinterDriver for Windows x64
        #Restart Spooler
        Error(14): Can`t remove the printer-driver 'Corvane printer' - (Invalid parameter.)
      #DeleteMonitor
    #Add Printer Driver x64
    #AddPrinter(Spare)
      Error(15): Can`t add printer 'Spare' - (Invalid printer name.)
    #AddPrinter(Office)
      Error(15): Can`t add printer 'Office' - (Invalid printer name.)
    #AddPrinter(Lab)
      Error(15): Can`t add printer 'Lab' - (Invalid printer name.)
@log install_head
#Check Spooler
##0010
#ReInstall
@log install_steps
<install_head
<install_body
@log install_body
    #UnInstall
      #DeleteAllPrinters
      #DeletePrinterDriver for Windows x64
      #DeleteMonitor
    #AddMonitor
    #Add Printer Driver x64
@log errors
title "Corvane build 2620- Install error log!"
button "Close"
box class "Edit" multiline yes readonly yes vscroll yes
Corvane 2620
<install_steps
        Error(10): CopyFile vexui64.dll to C:\windows\system32\spool\drivers\x64\) Cant't open source file- FAILED! - (File not found.)
    #AddPrinter(Corvane)
      Error(15): Can`t add printer 'Corvane' - (Unknown printer driver.)
@log uninstall_run
#Check Spooler
#UnInstall
  #DeleteAllPrinters
    #DeletePrinter(Corvane)
  #DeletePrinterDriver for Windows x64
    #Restart Spooler
    Error(14): Can`t remove the printer-driver 'Corvane printer' - (Invalid parameter.)
  #DeleteMonitor
@log before_restart
title "Corvane build 2620- Install error log!"
<install_head
    #UnInstall
      #DeleteAllPrinters
      #DeletePrinterDriver for Windows x64
      #DeleteMonitor
        Version (2620) is compatible, proceed without uninstall
        InstallMonitor == 1, CopyMonitor == 0
    No longer deleted at restart: C:\windows\system32\vexmon64.dll
    #AddMonitor
    #Add Printer Driver x64
    #AddPrinter(Corvane)
      Error(15): Can`t add printer 'Corvane' - (Invalid printer name.)
@log nospooler
title "Corvane build 2620- Install error log!"
#Check Spooler
Error(6): Can`t retrieve printer driver directory. - (Module not found.)
##0010
#ReInstall
    #UnInstall
      #DeleteAllPrinters
      #DeletePrinterDriver for Windows x64
      #DeleteMonitor
    #AddMonitor
      Error(11): Can`t install a local port monitor'Corvane:' - (Module not found.)
    #Add Printer Driver x64
      Error(13): Can`t install a x64 printer driver 'Corvane printer' - (Module not found.)
    #AddPrinter(Corvane)
      Error(15): Can`t add printer 'Corvane' - (Module not found.)
@log spooler_stopped
SpoolerNotRunning: the print spooler is not running (state 1)
Info: the spooler's monitors, drivers and printers were not read
@log check_info
Info: monitor build 2620
Info: driver build 2620
Info: 1 product printers
@log healthy
Healthy: the product is whole on this machine
<check_info
@log nomonfile
MonitorFileMissing: the monitor's file C:\windows\system32\vexmon64.dll is missing
Info: driver build 2620
Info: 1 product printers
@log offport
PrinterOffPort: printer 'Corvane' is on port 'LPT1:', not "Corvane:"
<check_info
@log journal
PrinterInJournal: printer 'Kept' waits in the journal to be brought back
<check_info
@log pendmon
RestartPending: C:\windows\system32\vexmon64.dll waits for a restart
<check_info
@log msi_install_run
<msi_start
<install_steps
    #AddPrinter(Corvane)
@log msi_install
<msi_start
Corvane build 2620- Install log.
Corvane 2620
<install_steps
      Printer Driver x64 was added successfully
    #AddPrinter(Corvane)
Corvane setup: install exited with 1
@log msi_start
Action ended: EndCompanion. Return value 1.
Corvane setup: the product is not on the machine
<msi_tool_install
@log msi_tool_install
Corvane setup: "C:\Program Files\Corvane\Setup\corvane-setup.exe" install /quiet "/log=C:\windows\Temp\corvane-setup-RANDOM\corvane-setup.log"
@log msi_uninstall_run
Corvane setup: "C:\Program Files\Corvane\Setup\corvane-setup.exe" uninstall /quiet "/log=C:\windows\Temp\corvane-setup-RANDOM\corvane-setup.log"
@log msi_undoable_run
Corvane setup: "C:\Program Files\Corvane\Setup\corvane-setup.exe" uninstall /undoable /quiet "/log=C:\windows\Temp\corvane-setup-RANDOM\corvane-setup.log"
@log msi_remove
<msi_again
<msi_undoable_run
<uninstall_run
Corvane setup: uninstall /undoable exited with 100
Warning: Corvane setup: uninstall /undoable did not succeed; the package goes on without it
@log msi_failed
<msi_install_run
      Error(15): Can`t add printer 'Corvane' - (Invalid printer name.)
Corvane setup: install exited with 100
<msi_uninstall_run
#Check Spooler
#UnInstall
  #DeleteAllPrinters
    #DeletePrinter(Corvane)
      Error(16): Can`t open printer 'Corvane' - (Invalid printer name.)
  #DeletePrinterDriver for Windows x64
    #Restart Spooler
    Error(14): Can`t remove the printer-driver 'Corvane printer' - (Invalid parameter.)
  #DeleteMonitor
Corvane setup: uninstall exited with 100
Corvane setup: nothing to undo
EOF
)

# ---- runner ---------------------------------------------------------------------

# run_row CASE PREPARE RUN EXIT LOG STATE
run_row() {
  local prep run=$3 got ok=0 after words=()
  [ "$run" = - ] || words=("$run")
  AFTER=()
  for prep in ${2//,/ }; do
    [ "$prep" = - ] || "prep_$prep" || { echo "  could not prepare $prep"; ok=1; }
  done
  if [ "$ok" -eq 0 ]; then
    if [[ $run == :* ]]; then
      ${run#:}
      got=$?
    elif [ "$5" = - ]; then
      run_setup "${words[@]}"
      got=$?
    else
      run_setup_logged "${words[@]}" || ok=1
      got=$SETUP_EXIT
    fi
  fi
  for after in "${AFTER[@]}"; do eval "$after"; done
  [ "$ok" -eq 0 ] || return 1
  [ "$got" = "$4" ] || { echo "  $run exited with $got, expected $4"; ok=1; }
  [[ $5 == [-*] ]] || check_log "$5" || ok=1
  [ "$6" = - ] || check_state "$6" || ok=1
  TRAY_BEFORE=
  return $ok
}

# run_case CASE: its rows in order, the first failing row ending it; or the
# function CASE named in CASES.
run_case() {
  local name prep run want log want_state
  [[ " ${CASES[*]} " != *" $1 "* ]] || { "$1"; return; }
  while read -r -u 3 name prep run want log want_state; do
    [ "$name" = "$1" ] || continue
    run_row "$name" "$prep" "$run" "$want" "$log" "$want_state" || { echo "  (row: $prep $run)"; return 1; }
  done 3<<<"$TABLE"
}

CASES=()
for cases_file in "$here"/cases_*.sh; do
  # shellcheck source=/dev/null
  [ -e "$cases_file" ] && source "$cases_file"
done

mapfile -t selected < <(if [ $# -gt 0 ]; then printf '%s\n' "$@"; else
  awk '!seen[$1]++ { print $1 }' <<<"$TABLE" && { [ ${#CASES[@]} -eq 0 ] || printf '%s\n' "${CASES[@]}"; }; fi)
passed=0
failed=0
trap 'wine_env_stop; wine_env_drop_template' EXIT
suite_started=$SECONDS
wine_env_make_template || { echo "wine: could not boot Wine"; exit 1; }
for name in "${selected[@]}"; do
  started=$SECONDS
  if ! grep -q "^$name " <<<"$TABLE" && [[ " ${CASES[*]} " != *" $name "* ]]; then
    result=FAIL
    echo "  no such case"
  elif [[ $NO_PREFIX_CASES != *" $name "* ]] && ! { product_prefix_start "$dist_dir" && keep_desktop "$inspector"; }; then
    result=FAIL
    echo "  could not create the Wine prefix"
  elif (run_case "$name"); then
    result=PASS
  else
    result=FAIL
  fi
  echo "$result $name ($((SECONDS - started)) s)"
  [ $result = PASS ] && passed=$((passed + 1)) || failed=$((failed + 1))
  wine_env_stop
done
echo "wine suite took $((SECONDS - suite_started)) s"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
