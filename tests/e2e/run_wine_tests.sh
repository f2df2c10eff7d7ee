#!/usr/bin/env bash
# Runs the Windows build of corvane-setup under Wine: the shipped layout
# (dist/) installed into a fresh prefix for every case, driven by the
# product's command words, with corvane-inspect.exe reading back the
# spooler's state as text.
#
#   tests/e2e/run_wine_tests.sh BUILD_DIR [CASE...]
#
# BUILD_DIR is the windows build (normally build/windows): it holds
# dist/Corvane (the shipped layout), tests/corvane-inspect.exe and the
# outdated driver stand-in companions/build2604/vexdrv64.dll. With CASE names
# only those cases run. The last line is "wine: N passed, M failed"; the exit
# status is non-zero when anything failed.
#
# Adding a case: write a function named case_<something> that returns 0 on
# success (print why when it fails) and add it to CASES. Each case runs in
# its own subshell and, unless listed in NO_PREFIX_CASES, in a fresh prefix
# (a copy of one booted at the start) with the product laid out as shipped.
#
# Where Wine 8 differs from Windows, the case says so in a comment starting
# "Wine 8:" and asserts what Wine does.

# "step && step || { report; return 1; }" is meant: any failing step reports.
# shellcheck disable=SC2015
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine_env.sh
source "$here/wine_env.sh"
# shellcheck source-path=SCRIPTDIR source=product_prefix.sh
source "$here/product_prefix.sh"

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [CASE...]" >&2
  exit 2
fi
build_dir=$(cd "$1" 2>/dev/null && pwd) || { echo "run_wine_tests: $1 not found" >&2; exit 2; }
shift
dist_dir="$build_dir/dist/Corvane"
inspector="$build_dir/tests/corvane-inspect.exe"
old_driver="$build_dir/companions/build2604/vexdrv64.dll"
for needed in "$dist_dir/Setup/corvane-setup.exe" "$dist_dir/cortray.exe" "$inspector" "$old_driver"; do
  if [ ! -f "$needed" ]; then
    echo "run_wine_tests: $needed not found (build the windows preset first)" >&2
    exit 2
  fi
done

# Where the product lies on a real machine (PRODUCT_DIR: product_prefix.sh).
SETUP_DIR="$PRODUCT_DIR\\Setup"
SETUP_EXE="$SETUP_DIR\\corvane-setup.exe"
TRAY_EXE="$PRODUCT_DIR\\cortray.exe"
# Wine's system and x64 printer-driver directories.
SYSTEM_DIR='C:\windows\system32'
DRIVER_DIR="$SYSTEM_DIR\\spool\\drivers\\x64"
# Where the inspector leaves the log dialog's text.
LOG_COPY='C:\corvane-log.txt'

# The exit codes cases expect (here and in cases_*.sh).
# shellcheck disable=SC2034
{
  EXIT_INSTALLED=1
  EXIT_UNINSTALLED=2
  EXIT_NO=3
  EXIT_DEFAULT_SET=4
  EXIT_USAGE=6
  EXIT_ERRORS=100
  EXIT_RESTART_NEEDED=101
  EXIT_FOREIGN_DEFAULT=102
  EXIT_DRIVER_CURRENT=103
  EXIT_PACKAGE_PENDING=200
}

# ---- helpers for cases --------------------------------------------------------

# Runs the installed setup tool with the given words; returns its exit code.
# A run that should show no dialog gets a short time limit, so a dialog that
# nobody closes fails the case quickly (exit code 124). SETUP_DLL_OVERRIDES
# holds WINEDLLOVERRIDES entries for the setup tool's runs alone.
run_setup() {
  WINE_ENV_DLL_OVERRIDES=${SETUP_DLL_OVERRIDES:-} WINE_ENV_TIMEOUT=${SETUP_TIMEOUT:-30} \
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

# Runs corvane-inspect.exe with the given arguments.
inspect() {
  wine_env_run "$inspector" "$@"
}

# run_setup_logged WORD...: runs the setup tool while the inspector waits
# for its log dialog, reads it and closes it with the Close button's command.
# Sets SETUP_EXIT, DIALOG (the inspector's lines: title, button, box), LOG
# (the box's text, CR removed) and LOG_RAW (Unix path of the text as read,
# CR LF kept). Fails when no dialog appeared.
run_setup_logged() {
  local exit_file="$WINE_ENV_ROOT/setup.exit"
  LOG_RAW=$(wine_env_unix_path "$LOG_COPY")
  rm -f "$exit_file" "$LOG_RAW"
  (SETUP_TIMEOUT=90 run_setup "$@"; echo $? >"$exit_file") &
  local runner=$!
  DIALOG=$(inspect dialog "$LOG_COPY")
  local found=$?
  wait "$runner"
  SETUP_EXIT=$(cat "$exit_file" 2>/dev/null || echo none)
  LOG=$(tr -d '\r' <"$LOG_RAW" 2>/dev/null)
  if [ "$found" -ne 0 ]; then
    echo "  corvane-setup $* showed no log dialog (exit $SETUP_EXIT)"
    return 1
  fi
}

# same_text WHAT EXPECTED ACTUAL: equal texts, or a diff and failure.
same_text() {
  if [ "$2" != "$3" ]; then
    echo "  $1 differs (- expected, + actual):"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed -n 's/^</    -/p; s/^>/    +/p'
    return 1
  fi
}

# The spooler and system state lines that start with WORD.
state_of() {
  inspect state | grep "^$1 "
}

# The log's error lines, without their indentation.
log_errors() {
  printf '%s\n' "$LOG" | sed -n 's/^ *\(Error(.*\)$/\1/p'
}

# The log's lines that match a basic regular expression, unindented.
log_lines() {
  printf '%s\n' "$LOG" | sed -n "s/^ *\($1\)\$/\1/p"
}

# has_log_line TEXT: the log holds TEXT as a whole (indented) line.
has_log_line() {
  if ! printf '%s\n' "$LOG" | sed 's/^ *//' | grep -qxF -- "$1"; then
    echo "  the log has no line \"$1\""
    return 1
  fi
}

# Unix path of a Windows path in the prefix.
unix() {
  wine_env_unix_path "$1"
}

# exists PATH / missing PATH (Windows paths).
exists() {
  [ -f "$(unix "$1")" ] || { echo "  $1 is missing"; return 1; }
}
missing() {
  [ ! -e "$(unix "$1")" ] || { echo "  $1 still exists"; return 1; }
}

# Registers a driver through the API the way the program does.
# Wine 8: AddPrinterDriverExW with APD_COPY_ALL_FILES copies the files from
# the printer-driver directory by their names, whatever folder the record
# names, so they are staged there first (as the program stages them). The
# spooler APIs also work while the spooler service is stopped, as it is
# after wineboot -i, so no set-up starts it.
register_driver() {
  local name=$1 driver=$2 ui=$3
  cp "$driver" "$(unix "$DRIVER_DIR")/vexdrv64.dll" &&
    cp "$ui" "$(unix "$DRIVER_DIR")/vexui64.dll" &&
    inspect add-driver "$name" "$DRIVER_DIR\\vexdrv64.dll" "$DRIVER_DIR\\vexui64.dll" || {
      echo "  could not register the driver $name"
      return 1
    }
  rm -f "$(unix "$DRIVER_DIR")/vexdrv64.dll" "$(unix "$DRIVER_DIR")/vexui64.dll"
}

# The parts an install puts in place besides its printers: the monitor and
# the driver registered, the tray companion registered for log-on and
# running, hidden. Reports each part that is not.
expect_installed_parts() {
  local ok=0
  same_text "monitor" 'monitor "Corvane:" dll "vexmon64.dll"' "$(state_of monitor | grep Corvane)" || ok=1
  same_text "driver" \
    "driver \"Corvane printer\" version 3 path \"$DRIVER_DIR\\3\\vexdrv64.dll\" config \"$DRIVER_DIR\\3\\vexui64.dll\" help \"$DRIVER_DIR\\3\\vexhelp.chm\"" \
    "$(state_of driver)" || ok=1
  same_text "Run value" "run CorvaneTray \"$TRAY_EXE\"" "$(state_of run)" || ok=1
  inspect wait-tray present || { echo "  the tray companion did not start"; ok=1; }
  state_of tray | grep -q ' window yes process [0-9]* visible no$' ||
    { echo "  no hidden tray window: $(state_of tray)"; ok=1; }
  return $ok
}

# The product installed by the program itself on a prepared prefix, with no
# dialog; fails when the install does not end with 1.
install_product() {
  prepare_printer_datatype Corvane && expect_exit "$EXIT_INSTALLED" install
}

# The product's printer as the spooler gives it after install_product
# (used by cases_*.sh).
# shellcheck disable=SC2034
PRODUCT_PRINTER='printer "Corvane" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "RAW" comment ""'

# hold_file PATH: another process holds PATH open without sharing until
# release_held_file; fails when the hold could not be taken.
hold_file() {
  inspect hold "$1" &
  HOLDER=$!
  if ! inspect wait-held; then
    echo "  $1 could not be held"
    kill "$HOLDER" 2>/dev/null
    return 1
  fi
}

release_held_file() {
  inspect release
  wait "$HOLDER"
}

# Registers only the monitor, through the API, so that nothing else fails
# (Wine 8 cannot remove a driver, see case_uninstall), and runs `uninstall`
# while another process holds the monitor's file; sets UNINSTALL_EXIT.
# Wine 8: the spooler never holds the monitor DLL open (it loads it into the
# calling process), so another process holds it here.
uninstall_while_monitor_file_held() {
  cp "$dist_dir/Setup/vexmon64.dll" "$(unix "$SYSTEM_DIR\\vexmon64.dll")" &&
    inspect add-monitor "Corvane:" vexmon64.dll || { echo "  could not register the monitor"; return 1; }
  hold_file "$SYSTEM_DIR\\vexmon64.dll" || return 1
  run_setup uninstall
  UNINSTALL_EXIT=$?
  release_held_file
}

# The process that owns the tray companion's window, or nothing.
tray_process() {
  state_of tray | sed -n 's/.* process \([0-9]*\) .*/\1/p'
}

# ---- cases ----------------------------------------------------------------------

# The resources compiled into the executable, read back from the file, and
# the libraries the shipped programs and the package's custom actions
# import: known DLLs only.
case_resources() {
  if ! command -v python3 >/dev/null; then
    echo "  python3 is needed to read the resources"
    return 1
  fi
  python3 "$here/check_resources.py" "$dist_dir/Setup/corvane-setup.exe" \
    "$dist_dir"/Setup/*.dll "$dist_dir/cortray.exe" "$build_dir/package/corvane-msi-actions.dll"
}

case_command_words() {
  local ok=0
  expect_exit "$EXIT_USAGE" || ok=1
  expect_exit "$EXIT_USAGE" bogus || ok=1
  # def.set is the one word compared with its letter case.
  expect_exit "$EXIT_USAGE" DEF.SET || ok=1
  expect_exit "$EXIT_USAGE" def.settings || ok=1
  # None of them touched the spooler.
  same_text "printers" "" "$(state_of printer)" || ok=1
  return $ok
}

case_install() {
  local ok=0
  run_setup_logged install || return 1
  # Wine 8: AddPrinterW given no data type (pDatatype null, which Windows
  # accepts) stores the printer without a "Datatype" value, cannot open it
  # afterwards and fails with 1801; the queue stays listed but unusable.
  # The install therefore counts one error and exits with 100, not 1.
  same_text "exit code" "$EXIT_ERRORS" "$SETUP_EXIT" || ok=1
  same_text "dialog title" 'title "Corvane build 2620- Install error log!"' \
    "$(printf '%s\n' "$DIALOG" | grep '^title')" || ok=1
  # Wine 8: the spooler is stopped after wineboot -i; the spooler check
  # starts it without a line of its own.
  same_text "install log" "$(cat <<'EOF'
Corvane 2620
#Check Spooler
PrinterDriverDirectory:C:\windows\system32\spool\drivers\x64\
##0010
#ReInstall
    #UnInstall
      EnumMonitors
      1 Monitors found.
      EnumPrinterDrivers for Windows x64
      0 drivers found
      #DeleteAllPrinters
      #DeletePrinterDriver for Windows x64
        BTW, there is no printer drivers on this system.
        No Corvane driver (Windows x64)was found
      #DeleteMonitor
        ------- 1 existing monitors ----------
        1. Local Port
        ---------------------------------------
        No Corvane port monitor was found.
        Computing monitor filename
        Auto calculated monitor file name: C:\windows\system32\vexmon64.dll
        Version is unknown, proceed with reinstall
        Can't delete monitor and monitor was not found. So everything should be ok
    #AddMonitor
      Copy monitor file
        CopyFile vexmon64.dll to C:\windows\system32\)- OK
      AddMonitor - OK :)
    #Add Printer Driver x64
        CopyFile vexdrv64.dll to C:\windows\system32\spool\drivers\x64\)- OK
        CopyFile vexui64.dll to C:\windows\system32\spool\drivers\x64\)- OK
        CopyFile vexhelp.chm to C:\windows\system32\spool\drivers\x64\)- OK
      Printer Driver x64 was added successfully
    #AddPrinter(Corvane)
      Let's check our port monitors
      Port monitor (Windows x64) is found
      Error(15): Can`t add printer 'Corvane' - (Invalid printer name.)
EOF
)" "$LOG" || ok=1

  # Monitor, driver and companion are in place; the monitor's file, named
  # bare in its registration, lies in the system directory as shipped.
  expect_installed_parts || ok=1
  cmp -s "$(unix "$SYSTEM_DIR\\vexmon64.dll")" "$dist_dir/Setup/vexmon64.dll" ||
    { printf '  %s is not the shipped monitor\n' "$SYSTEM_DIR\\vexmon64.dll"; ok=1; }
  # The spooler asked the monitor for its ports: it offers "Corvane:".
  same_text "port" 'port "Corvane:" monitor "Corvane:" description "Corvane virtual printer port" type 1' \
    "$(state_of port | grep '"Corvane:"')" || ok=1
  # The driver's files are in the version folder; the staged copies are gone.
  local f
  for f in vexdrv64.dll vexui64.dll vexhelp.chm; do
    cmp -s "$(unix "$DRIVER_DIR\\3\\$f")" "$dist_dir/Setup/$f" ||
      { printf '  %s is not the shipped %s\n' "$DRIVER_DIR\\3\\$f" "$f"; ok=1; }
    missing "$DRIVER_DIR\\$f" || ok=1
  done
  # Wine 8: the queue exists on the product's port but cannot be opened
  # (see above), so its printer data cannot be read.
  same_text "printers" \
    'printer "Corvane" port "Corvane:" driver "Corvane printer" comment "" location "" (cannot open, error 1801)' \
    "$(state_of printer)" || ok=1
  # A second companion finds the mutex taken and leaves at once.
  local first
  first=$(tray_process)
  WINE_ENV_TIMEOUT=10 wine_env_run "$TRAY_EXE" || { echo "  a second companion did not leave at once"; ok=1; }
  same_text "tray process" "$first" "$(tray_process)" || ok=1
  return $ok
}

# Printers set up through the API are remembered by their settings key and
# re-created in reverse order; the compatible monitor is kept; the companion
# is stopped by the handshake and started again. The log is read through
# the dialog of a run with Shift held.
case_reinstall() {
  local ok=0
  run_setup_logged install || return 1
  inspect wait-tray present || { echo "  the tray companion did not start"; return 1; }
  inspect add-printer Office "Corvane printer" "Corvane:" "first floor" "Room 1" SetA &&
    inspect add-printer Lab "Corvane printer" "Corvane:" "second floor" "Room 2" SetB dsuser &&
    inspect add-printer Spare "Corvane printer" "Corvane:" "no settings" "" &&
    inspect set-default Office || { echo "  could not set up the printers"; return 1; }
  same_text "printers before" "$(cat <<'EOF'
printer "Corvane" port "Corvane:" driver "Corvane printer" comment "" location "" (cannot open, error 1801)
printer "Lab" port "Corvane:" driver "Corvane printer" comment "second floor" location "Room 2" subkey (none) dsuser "SetB"
printer "Office" port "Corvane:" driver "Corvane printer" comment "first floor" location "Room 1" subkey "SetA" dsuser "SetA"
printer "Spare" port "Corvane:" driver "Corvane printer" comment "no settings" location "" subkey (none) dsuser (none)
EOF
)" "$(state_of printer)" || return 1
  local monitor_file tray_before monitor_time
  monitor_file=$(unix "$SYSTEM_DIR\\vexmon64.dll")
  monitor_time=$(stat -c %y "$monitor_file")
  tray_before=$(tray_process)

  inspect shift down || return 1
  run_setup_logged install
  local logged=$?
  inspect shift up
  [ "$logged" -eq 0 ] || return 1

  # Wine 8: every re-created queue fails as in case_install (no data type),
  # so the run counts errors; so do the unopenable "Corvane" queue of the
  # first run, whose settings cannot be read (18), and the driver removal
  # (DeletePrinterDriverExW with DPD_DELETE_ALL_FILES fails with 87 even
  # after the spooler restart: 14).
  same_text "exit code" "$EXIT_ERRORS" "$SETUP_EXIT" || ok=1
  same_text "error lines" "$(cat <<'EOF'
Error(18): Can`t read the settings of printer 'Corvane' - (Invalid printer name.)
Error(14): Can`t remove the printer-driver 'Corvane printer' - (Invalid parameter.)
Error(15): Can`t add printer 'Office' - (Invalid printer name.)
Error(15): Can`t add printer 'Lab' - (Invalid printer name.)
EOF
)" "$(log_errors)" || ok=1
  # Every product printer is deleted in list order, except one whose
  # settings cannot be read; those with a settings key come back newest
  # first (Spare has none and stays deleted). The kept "Corvane" counts as
  # come back, so no other is added.
  # Wine 8: SetPrinterW with PRINTER_CONTROL_PURGE fails with 124; the
  # program ignores that result and the deletions go through.
  same_text "printer steps" "$(cat <<'EOF'
#DeletePrinter(Lab)
#DeletePrinter(Office)
#DeletePrinter(Spare)
#AddPrinter(Office)
#AddPrinter(Lab)
EOF
)" "$(log_lines '#[A-Za-z]*Printer(.*)')" || ok=1
  # The monitor of a compatible build stays registered and untouched.
  has_log_line "Version (2620) is compatible, proceed without uninstall" || ok=1
  has_log_line "InstallMonitor == 0, CopyMonitor == 1" || ok=1
  [ -z "$(log_lines '#AddMonitor')" ] || { echo "  the monitor was installed again"; ok=1; }
  same_text "monitor" 'monitor "Corvane:" dll "vexmon64.dll"' "$(state_of monitor | grep Corvane)" || ok=1
  same_text "monitor file time" "$monitor_time" "$(stat -c %y "$monitor_file")" || ok=1
  # Wine 8: the re-created queues keep only their names (no comment,
  # location or settings key: they cannot be opened), and deleting the
  # default printer made Wine pick "Corvane" as the default.
  same_text "printers after" "$(cat <<'EOF'
printer "Corvane" port "Corvane:" driver "Corvane printer" comment "" location "" (cannot open, error 1801)
printer "Lab" port "Corvane:" driver "Corvane printer" comment "" location "" (cannot open, error 1801)
printer "Office" port "Corvane:" driver "Corvane printer" comment "" location "" (cannot open, error 1801)
EOF
)" "$(state_of printer)" || ok=1
  same_text "default printer" 'default "Corvane"' "$(state_of default)" || ok=1
  # The companion was asked to end and was started again.
  same_text "Run value" "run CorvaneTray \"$TRAY_EXE\"" "$(state_of run)" || ok=1
  inspect wait-tray present || { echo "  the tray companion was not started again"; ok=1; }
  local tray_after
  tray_after=$(tray_process)
  if [ -z "$tray_before" ] || [ -z "$tray_after" ] || [ "$tray_before" = "$tray_after" ]; then
    echo "  tray companion process before $tray_before, after $tray_after: not restarted"
    ok=1
  fi
  return $ok
}

# A failing run shows the error log; a second program reads it and closes
# it with the Close button's command, and the run then exits.
case_log_dialog_after_errors() {
  local ok=0
  rm -f "$(unix "$SETUP_DIR\\vexui64.dll")"
  run_setup_logged install || return 1
  same_text "exit code" "$EXIT_ERRORS" "$SETUP_EXIT" || ok=1
  same_text "dialog" "$(cat <<'EOF'
title "Corvane build 2620- Install error log!"
button "Close"
box class "Edit" multiline yes readonly yes vscroll yes
EOF
)" "$DIALOG" || ok=1
  same_text "first line" "Corvane 2620" "$(printf '%s\n' "$LOG" | head -n 1)" || ok=1
  # Every line ends with CR LF, the last one included.
  local lines crlf
  lines=$(wc -l <"$LOG_RAW")
  crlf=$(grep -c $'\r$' "$LOG_RAW")
  if [ "$lines" -lt 2 ] || [ "$lines" -ne "$crlf" ] || [ "$(tail -c 2 "$LOG_RAW" | od -An -c | tr -d ' ')" != '\r\n' ]; then
    echo "  the log's lines do not all end with CR LF ($crlf of $lines)"
    ok=1
  fi
  # The failed copy stops the driver step before the spooler is asked.
  same_text "error lines" "$(cat <<'EOF'
Error(10): CopyFile vexui64.dll to C:\windows\system32\spool\drivers\x64\) Cant't open source file- FAILED! - (File not found.)
Error(15): Can`t add printer 'Corvane' - (Unknown printer driver.)
EOF
)" "$(log_errors)" || ok=1
  same_text "drivers" "" "$(state_of driver)" || ok=1
  # The staged driver file stays behind when the step stops.
  exists "$DRIVER_DIR\\vexdrv64.dll" || ok=1
  return $ok
}

# Without errors the dialog shows only while Shift is held; an uninstall on
# a machine without the product is such a run.
case_log_dialog_with_shift() {
  local ok=0
  # No Shift: no dialog, the run ends by itself.
  expect_exit "$EXIT_UNINSTALLED" uninstall || ok=1
  inspect shift down || return 1
  run_setup_logged uninstall
  local logged=$?
  inspect shift up
  [ "$logged" -eq 0 ] || return 1
  same_text "exit code" "$EXIT_UNINSTALLED" "$SETUP_EXIT" || ok=1
  same_text "title" 'title "Corvane build 2620- Install log."' \
    "$(printf '%s\n' "$DIALOG" | grep '^title')" || ok=1
  same_text "log" "$(cat <<'EOF'
Corvane 2620
#Check Spooler
PrinterDriverDirectory:C:\windows\system32\spool\drivers\x64\
#UnInstall
  EnumMonitors
  1 Monitors found.
  EnumPrinterDrivers for Windows x64
  0 drivers found
  #DeleteAllPrinters
  #DeletePrinterDriver for Windows x64
    BTW, there is no printer drivers on this system.
    No Corvane driver (Windows x64)was found
  #DeleteMonitor
    ------- 1 existing monitors ----------
    1. Local Port
    ---------------------------------------
    No Corvane port monitor was found.
    Computing monitor filename
    Auto calculated monitor file name: C:\windows\system32\vexmon64.dll
    There is no check for monitor version
    Can't delete monitor and monitor was not found. So everything should be ok
EOF
)" "$LOG" || ok=1
  return $ok
}

case_uninstall() {
  local ok=0
  install_product || return 1
  inspect wait-tray present || { echo "  the tray companion did not start"; return 1; }
  run_setup_logged uninstall || return 1
  # Wine 8: the driver cannot be removed (DeletePrinterDriverExW with
  # DPD_DELETE_ALL_FILES fails with 87: error 14), so the exit code is 100.
  same_text "exit code" "$EXIT_ERRORS" "$SETUP_EXIT" || ok=1
  same_text "error lines" "$(cat <<'EOF'
Error(14): Can`t remove the printer-driver 'Corvane printer' - (Invalid parameter.)
EOF
)" "$(log_errors)" || ok=1
  has_log_line "There is no check for monitor version" || ok=1
  has_log_line "Monitor was removed :)" || ok=1
  same_text "printers" "" "$(state_of printer)" || ok=1
  # Wine 8: the driver stays registered (see above).
  same_text "driver" "1" "$(state_of driver | grep -c '"Corvane printer"')" || ok=1
  same_text "monitor" "" "$(state_of monitor | grep Corvane)" || ok=1
  same_text "port" "" "$(state_of port | grep '"Corvane:"')" || ok=1
  missing "$SYSTEM_DIR\\vexmon64.dll" || ok=1
  # The companion was stopped, unregistered and its program deleted.
  same_text "Run value" "run CorvaneTray (none)" "$(state_of run)" || ok=1
  same_text "tray" "tray mutex no window no" "$(state_of tray)" || ok=1
  missing "$TRAY_EXE" || ok=1
  # Nothing was left to delete at restart.
  same_text "pending" "" "$(state_of pending)" || ok=1
  return $ok
}

# A file held open without sharing during an uninstall is scheduled for
# deletion at restart, and the restart deletes it.
case_uninstall_locked_file() {
  local ok=0
  uninstall_while_monitor_file_held || return 1
  same_text "exit code" "$EXIT_RESTART_NEEDED" "$UNINSTALL_EXIT" || ok=1
  same_text "monitor" "" "$(state_of monitor | grep Corvane)" || ok=1
  exists "$SYSTEM_DIR\\vexmon64.dll" || ok=1
  same_text "pending" "pending \"\\??\\$SYSTEM_DIR\\vexmon64.dll\" -> \"\"" "$(state_of pending)" || ok=1
  # The restart carries the deletion out and clears the list.
  wine_env_run wineboot -r >/dev/null 2>&1 || { echo "  wineboot -r failed"; ok=1; }
  missing "$SYSTEM_DIR\\vexmon64.dll" || ok=1
  same_text "pending after restart" "" "$(state_of pending)" || ok=1
  return $ok
}

case_removetray() {
  local ok=0
  # Nothing installed: nothing to stop, still 6.
  expect_exit "$EXIT_USAGE" removetray || ok=1
  run_setup_logged install || return 1
  inspect wait-tray present || { echo "  the tray companion did not start"; return 1; }
  expect_exit "$EXIT_USAGE" removetray || ok=1
  same_text "tray" "tray mutex no window no" "$(state_of tray)" || ok=1
  same_text "Run value" "run CorvaneTray (none)" "$(state_of run)" || ok=1
  missing "$TRAY_EXE" || ok=1
  # The printer's parts are not touched.
  same_text "monitor" 'monitor "Corvane:" dll "vexmon64.dll"' "$(state_of monitor | grep Corvane)" || ok=1
  same_text "driver count" "1" "$(state_of driver | grep -c '"Corvane printer"')" || ok=1
  return $ok
}

# Pending deletions of package files are carried out now; one that cannot
# be carried out keeps the answer "still pending".
case_onInit() {
  local ok=0
  local staged="$DRIVER_DIR\\vexdrv64.dll" held="$DRIVER_DIR\\vexui64.dll"
  cp "$dist_dir/Setup/vexdrv64.dll" "$(unix "$staged")" &&
    cp "$dist_dir/Setup/vexui64.dll" "$(unix "$held")" &&
    inspect pending-delete "$staged" || { echo "  could not set up the pending deletion"; return 1; }
  # Deleted on the first pass; then no default printer: 102.
  expect_exit "$EXIT_FOREIGN_DEFAULT" onInit || ok=1
  missing "$staged" || ok=1
  # The system's list itself is left alone.
  same_text "pending" "pending \"\\??\\$staged\" -> \"\"" "$(state_of pending)" || ok=1

  inspect pending-delete "$held" || { echo "  could not schedule $held"; return 1; }
  hold_file "$held" || return 1
  expect_exit "$EXIT_PACKAGE_PENDING" onInit || ok=1
  release_held_file
  exists "$held" || ok=1
  return $ok
}

CASES=(
  case_resources
  case_command_words
  case_install
  case_reinstall
  case_log_dialog_after_errors
  case_log_dialog_with_shift
  case_uninstall
  case_uninstall_locked_file
  case_removetray
  case_onInit
)
# Cases that read files only and need no Wine prefix.
NO_PREFIX_CASES=" case_resources "

# Further cases live in files of their own beside this one (cases_*.sh); each
# defines its case functions and appends their names to CASES.
for cases_file in "$here"/cases_*.sh; do
  [ -e "$cases_file" ] || continue
  # shellcheck source=/dev/null
  source "$cases_file"
done

# ---- runner ---------------------------------------------------------------------

selected=("$@")
[ ${#selected[@]} -gt 0 ] || selected=("${CASES[@]}")

passed=0
failed=0
trap 'wine_env_stop; wine_env_drop_template' EXIT
suite_started=$SECONDS
for name in "${selected[@]}"; do
  if [[ $NO_PREFIX_CASES != *" $name "* ]]; then
    wine_env_make_template || { echo "wine: could not boot Wine"; exit 1; }
    break
  fi
done

for name in "${selected[@]}"; do
  if ! declare -F "$name" >/dev/null; then
    echo "FAIL $name (no such case)"
    failed=$((failed + 1))
    continue
  fi
  case_started=$SECONDS
  if [[ $NO_PREFIX_CASES != *" $name "* ]] && ! product_prefix_start "$dist_dir"; then
    echo "FAIL $name (could not create the Wine prefix)"
    failed=$((failed + 1))
    continue
  fi
  if ("$name"); then
    echo "PASS $name ($((SECONDS - case_started)) s)"
    passed=$((passed + 1))
  else
    echo "FAIL $name ($((SECONDS - case_started)) s)"
    failed=$((failed + 1))
  fi
  wine_env_stop
done

echo "wine suite took $((SECONDS - suite_started)) s"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
