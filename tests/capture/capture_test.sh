#!/usr/bin/env bash
# "step && step || report" is meant: any failing step reports.
# shellcheck disable=SC2015
# The capture run on simulated machines (what the differential check under
# Wine cannot reach): a capture shows as the machine it was taken from, a
# refused call is named and left out, and a capture that cannot be written
# says so. Damaged directories: tests/machine_store.
#   capture_test.sh BIN_DIR   (corvane-sim, corvane-setup, corvane-capture)
set -uo pipefail
bin=$1 work=$(mktemp -d) failed=0
trap 'rm -rf "$work"' EXIT
S=$bin/corvane-sim M=$work/m
fail() { echo "FAIL: $*"; failed=1; }
capture() { CORVANE_SIM_MACHINE=$M "$bin/corvane-capture" "$@" 2>"$work/err"; }
# What a capture cannot know (the clock) and the capture's own files left out.
shown() { "$S" show "$1" | grep -v -e '^Clock: ' -e 'C:\\cap'; }

"$S" new "$M" >/dev/null && CORVANE_SIM_MACHINE=$M "$bin/corvane-setup" install
"$S" add-printer "$M" "Front desk" --driver "Corvane printer" --port Corvane: --comment Reception \
  --location "Hall 2" --settings keyA --default --jobs 2 >/dev/null &&
  "$S" pending "$M" 'C:\Windows\system32\spool\drivers\x64\vexdrv64.dll' >/dev/null &&
  "$S" set-build "$M" 'C:\Old\vexui64.dll' 2600 >/dev/null && "$S" pending "$M" 'C:\Old\vexui64.dll' >/dev/null &&
  "$S" set-build "$M" 'C:\Windows\system32\spool\drivers\x64\3\vexdrv64.dll' 2600 >/dev/null || fail "set-up"
# A file port, as Windows lists one: a backslash in a value's name; another
# maker's monitor named by its bare file name, as Windows registers one.
sed -i 's/^"PORTPROMPT:"=""$/&\n"C:\\\\out.prn"=""/' "$M/current/registry.reg"
printf '\n[%s]\n"Driver"="fwmon.dll"\n' 'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\Fenwick Port' >>"$M/current/registry.reg"
"$S" set-build "$M" 'C:\Windows\system32\fwmon.dll' 1412 >/dev/null || fail "set-up"
capture 'C:\cap' 'C:\Program Files\Corvane\Setup' || fail "capture exited with $?: $(cat "$work/err")"
diff <(shown "$M") <(shown "$M/current/drive_c/cap") || fail "the capture shows otherwise than its machine"
cmp -s "$M/current/drive_c/Windows/system32/vexmon64.dll" "$M/current/drive_c/cap/state.1/drive_c/Windows/system32/vexmon64.dll" ||
  fail "the product's monitor file was not copied whole"
grep -qx '"Port"=hex(1):43,00,6f,00,72,00,76,00,61,00,6e,00,65,00,3a,00,00,00' "$M/current/drive_c/cap/state.1/registry.reg" ||
  fail "a captured string lost its terminator"
grep -F "not captured" "$work/err" && fail "a capture of a whole machine left something out"
cp -a "$M/current/drive_c/cap" "$work/rehearsal"
# The reinstall story of the differential check whose monitor file is held
# without sharing: its version cannot be read, nor can the spooler load it.
cp -a "$work/rehearsal" "$work/held" && "$S" lock "$work/held" 'C:\Windows\system32\vexmon64.dll' >/dev/null
CORVANE_SIM_MACHINE=$work/held "$bin/corvane-setup" install /quiet '/log=C:\setup.log'
[ $? -eq 100 ] || fail "a reinstall with the monitor file held: expected 100"
for line in "Version is unknown, proceed with reinstall" "Can\`t install a local port monitor'Corvane:' - (The process cannot access"; do
  grep -qF "$line" "$work/held/current/drive_c/setup.log" || fail "a reinstall with the monitor file held: no \"$line\""
done
CORVANE_SIM_MACHINE=$work/rehearsal "$bin/corvane-setup" onChkDrv
[ $? -eq 3 ] || fail "onChkDrv on the capture: expected 3 (the driver of build 2600 is out of date)"

# A spooler still starting (so its objects cannot be read), a read-only
# product file, the setup folder named in other letters, a pending operation
# naming one of its files in small letters, and no Run value.
M2=$work/m2 C2=$work/starting
"$S" new "$M2" >/dev/null && CORVANE_SIM_MACHINE=$M2 "$bin/corvane-setup" install; "$S" spooler "$M2" stop >/dev/null &&
  "$S" spooler "$M2" starting >/dev/null && "$S" pending "$M2" 'c:\program files\corvane\setup\vexui64.dll' >/dev/null &&
  echo 'file path="C:\\Program Files\\Corvane\\Setup\\vexhelp.chm" attributes=0x21' >>"$M2/current/machine.txt" &&
  sed -i '/^"CorvaneTray"=/d' "$M2/current/registry.reg" &&
  CORVANE_SIM_MACHINE=$M2 "$bin/corvane-capture" 'C:\cap' 'C:\PROGRAM FILES\CORVANE\SETUP' 2>"$work/err" &&
  cp -a "$M2/current/drive_c/cap" "$C2" || fail "a starting spooler's machine: $(cat "$work/err")"
[ -d "$C2/state.1/drive_c/Windows/system32/spool/PRINTERS" ] || fail "the spooler's job folder was not kept"
for line in "Spooler: starting" 'C:\PROGRAM FILES\CORVANE\SETUP\vexhelp.chm (no version) read-only' \
  'C:\PROGRAM FILES\CORVANE\cortray.exe (build 2620)'; do
  "$S" show "$C2" | grep -qF "$line" || fail "a starting spooler's capture has no \"$line\""
done

# call | error | what the capture names | a line the capture's show must not have
while IFS='|' read -r call error what gone; do
  "$S" clear-faults "$M" >/dev/null && "$S" fault "$M" "$call" --error "$error" --count always >/dev/null
  capture "C:\\cap-$call" || fail "$call refused: the capture exited with $?"
  grep -qF "not captured: $what: error $error" "$work/err" || fail "$call refused: not named: $(cat "$work/err")"
  grep -qF "# not captured: $what" "$M/current/drive_c/cap-$call/state.1/machine.txt" || fail "$call: no comment"
  "$S" show "$M/current/drive_c/cap-$call" | grep -qF -- "$gone" && fail "$call refused: \"$gone\" was captured"
done <<'EOF'
EnumMonitorsW|1722|the port monitors (EnumMonitorsW)|DLL vexmon64.dll
EnumPortsW|5|the ports (EnumPortsW)|ports LPT1:
EnumPrinterDriversW|5|the printer drivers (EnumPrinterDriversW)|Corvane printer (Windows x64, version 3)
EnumPrintersW|5|the printers (EnumPrintersW)|port Corvane:, driver Corvane printer
OpenPrinterW|5|the settings of printer "Front desk" (OpenPrinterW)|SubKey "keyA"
GetPrinterDataExA|5|the settings key name of printer "Front desk" under DsUser|DsUser SubKey "keyA"
GetDefaultPrinterW|5|the default printer|* Front desk
QueryServiceStatus|5|the state of the spooler service|Spooler: running
EOF
"$S" clear-faults "$M" >/dev/null

# No usable directory: exit 1 and the machine as it was.
before=$("$S" show "$M")
for dir in 'Q:\nowhere' 'C:\cap'; do
  capture "$dir"
  [ $? -eq 1 ] && grep -q "no machine written" "$work/err" || fail "capture into $dir: expected exit 1"
done
[ "$before" = "$("$S" show "$M")" ] || fail "a refused capture changed the machine"

exit $failed
