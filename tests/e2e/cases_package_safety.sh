# shellcheck shell=bash
# Wine cases of what the package keeps: a run that repeats, fails, upgrades
# or is refused leaves the product as it was, and nothing run as the system
# goes through a path a user could plant. Sourced by run_wine_tests.sh.
# shellcheck disable=SC2154

VICTIM='C:\windows\victim.txt'
# Links at every name the package used to give the tool's log, in the
# installer's temporary folder and the Windows one (the msi case runs
# through them).
prep_planted_logs() {
  local dir name
  echo keep >"$(unix "$VICTIM")" || return 1
  for dir in "$(unix 'C:\windows\temp')" "$WINE_ENV_DRIVE_C"/users/*/Temp; do
    for name in install rollback uninstall; do ln -s "$(unix "$VICTIM")" "$dir/corvane-setup-$name.log" || return 1; done
  done
}
# The linked file is as it was, and each run's own log folder is gone.
victim_kept() {
  same_text "victim" keep "$(cat "$(unix "$VICTIM")")" &&
    same_text "log folders left" "" "$(find "$(unix 'C:\windows\temp')" -maxdepth 1 -name 'corvane-setup-*' -type d)"
}

# A user's printer "Office" (comment, location, settings key SetA), the default.
prep_office() {
  inspect add-printer Office "Corvane printer" "Corvane:" "first floor" "Room 1" SetA && inspect set-default Office
}
# Wine 8: "msiexec /fa" ends with 1605 (unknown product) before it runs
# anything, so the repair is asked for as /fa asks for it, REINSTALL=ALL.
msi_repair() { msiexec_run /i REINSTALL=ALL REINSTALLMODE=vomus; }
# Wine 8: an AddPrinterW refused with 1801 (see prepare_printer_datatype)
# leaves its printer listed, without a data type, and no later AddPrinterW
# can take the name; Windows' refused AddPrinterW leaves no printer. So
# those are taken away, and given their data type.
prep_as_windows() {
  local out
  out=$(wine_env_run reg delete "$PRINTERS_KEY\\Office" /f && wine_env_run reg delete "$PRINTERS_KEY\\Corvane" /f) ||
    { echo "  $out"; return 1; }
  prepare_printer_datatype Office Corvane
}

# pkg_install_build VERSION: another build of the package (VERSION, product
# and package codes of its own, fixed so that its log reads the same every
# time), installed.
pkg_install_build() {
  local file build=${1##*.}
  file=$(unix 'C:\older.msi')
  cp "$build_dir/dist/Corvane-2620.msi" "$file" &&
    msibuild "$file" -q "UPDATE Property SET Value='{0C0A7A2E-0000-4000-8000-00000000$build}' WHERE Property='ProductCode'" \
      -q "UPDATE Property SET Value='$1' WHERE Property='ProductVersion'" &&
    msibuild "$file" -s Corvane Brennock 'x64;1033' "{0C0A7A2E-0000-4000-8000-10000000$build}" &&
    PACKAGE='C:\older.msi' msiexec_run /i
}
prep_older() { pkg_install_build 1.0.2619; }
prep_rebuild() { pkg_install_build 1.0.2620; }

# msi_add_action NAME CONDITION SEQUENCE COMMAND: the package copy runs
# COMMAND as a deferred action of the system's (a program in the Windows
# folder, type 3106), failing the run when it fails.
msi_add_action() {
  msibuild "$(unix "$MSI_COPY")" \
    -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('$1', '$2', $3)" \
    -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('$1', 3106, 'TARGETDIR', '$4')"
}
# A deferred action after the removal's uninstall fails it when
# LATE_FAILURE is set. Wine 8: the uninstall took the prepared data types
# with the printers' keys, so the action first gives Office and Corvane
# theirs again, for the rollback's install (see prepare_printer_datatype).
prep_late_failure() {
  local printer type=''
  for printer in Office Corvane; do type+="reg add $PRINTERS_KEY\\$printer /v Datatype /t REG_SZ /d RAW /f & "; done
  msi_add_action LateFailure LATE_FAILURE 3495 "cmd.exe /c $type exit 1"
}
msi_remove_late() { msiexec_run /x LATE_FAILURE=1; }

# No folder for the tool's log: the Windows temporary folder is a file.
prep_notemp() { mv "$(unix 'C:\windows\temp')"{,.away} && : >"$(unix 'C:\windows\temp')"; }
prep_temp() { rm "$(unix 'C:\windows\temp')" && mv "$(unix 'C:\windows\temp')"{.away,}; }

# The tool's own "/log=": a file with a second name (a hard link) is refused
# with nothing done and not a byte written; so is a mistyped switch, with
# one line in the log. Wine 8 reports no Unix symbolic link as a reparse
# point: that refusal is tested on the simulated machine.
prep_hardlink() { echo keep >"$(unix "$VICTIM")" && ln "$(unix "$VICTIM")" "$(unix 'C:\hard.log')"; }
install_hard_log() { run_setup install '/log=C:\hard.log'; }
install_typo() { run_setup install /quite '/log=C:\typo.log'; }
refusal_texts() {
  same_text "victim" keep "$(cat "$(unix "$VICTIM")")" &&
    same_text "refusal" $'\xEF\xBB\xBFUnknown switch: /quite\r' "$(cat "$(unix 'C:\typo.log')")"
}

# pkg_kept: restart requests forged beforehand ask for no restart, in a run
# of the tool or one without; a second install of the installed package
# changes nothing and runs no tool; a
# repair that fails takes nothing of the product away. Wine 8: a second /i
# still runs EndCompanion (Windows gives the installed component no action
# state), so the companion ends until the next log-on.
# Wine 8: the tool's reinstall cannot delete the driver (87) nor re-create
# "Office" and "Corvane" (1801), so the repair fails, and their records
# (Office's with its settings key, comment, location and default mark) wait
# in the journal; "Corvane" is tried once more as the printer added when
# none came back.
# Wine 8 runs no rollback action after a failed repair (it does after a
# failed upgrade, below), so only the upgrade cases show the rollback
# leaving a product that was there.
# The user's next step, the repair once more, brings Office back from the
# journal with its comment, location and default mark, and Corvane, and the
# journal goes.
# Wine 8: the failed repair left Office and Corvane listed though refused
# (1801), so the prefix is given what Windows would have (prep_as_windows).
# Given only a data type, the refused Office opens as a bare printer without
# a settings key, which the reinstall deletes, data type and all, and
# re-creates with 1801 again: Office stays bare, its record waiting in the
# journal. The driver still fails the repair (87).
# upgrade_*: the package replaces an older build and another build of its
# own version rather than going beside it. Wine 8: the reinstall cannot
# delete the driver, so the upgrade fails and the older build stays
# (monitor, Run value, its one entry), without its files: Wine's rollback
# does not put back the files the upgrade replaced.
# removal_fails: a removal for which the tool did nothing fails, keeps the
# product and has no run of the tool to undo; once the cause is gone, the
# removal goes through. Wine 8: a failed removal's rollback takes the entry
# out of the list of installed programs (Windows keeps it), though the
# product stays.
# removal_undone: a removal that fails after the tool ran is undone: the
# rollback's install brings the product back, Office with its settings,
# from the journal the uninstall kept. The next removal goes through and
# its commit takes the journal away. Wine 8: a failed program action ends
# msiexec with 1627 (Windows: 1603); after an earlier failed removal, the
# rollback of the next one deletes the product's files before the rollback
# action can run the tool, so the case has a prefix of its own.
TABLE+=$'\n'$(cat <<'EOF'
pkg_kept   msi,datatype,forged_restart :msi_install 0 - msi_installed
pkg_kept   office,forged_restart :msi_install 0 msi_again office_forged
pkg_kept   -         :msi_repair     67   msi_reinstall    repair_failed
pkg_kept   as_windows :msi_repair    67   msi_back         office_back
upgrade_older msi,datatype,older,office :msi_install 67 msi_upgrade_older upgraded_older
upgrade_same msi,datatype,rebuild,office :msi_install 67 msi_upgrade_same upgraded_same
removal_fails msi,datatype :msi_install 0 -                -
removal_fails notemp :msi_remove     67   msi_remove_nothing removal_kept
removal_fails temp   :msi_remove     0    msi_remove       driver
removal_undone msi,datatype,late_failure :msi_install 0 - -
removal_undone office :msi_remove_late 91 msi_remove_undone removal_undone
removal_undone -     :msi_remove     0    -                driver
refusals   hardlink  :install_hard_log 6  -                fresh
refusals   -         :install_typo   6    -                fresh
refusals   -         :refusal_texts  0    -                -
EOF
)
DATA+=$'\n'$(cat <<'EOF'
@log msi_again
Action ended: EndCompanion. Return value 1.
Corvane setup: the product is on the machine already
@state msi_office
<msi_installed
printer "Office" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "RAW" comment "first floor" location "Room 1" subkey "SetA" dsuser "SetA"
default "Office"
-tray mutex yes window yes visible no
@state office_forged
<msi_office
restart request left
@log uninstall_office
#UnInstall
  #DeleteAllPrinters
    #DeletePrinter(Corvane)
    #DeletePrinter(Office)
<driver_kept
@log driver_kept
  #DeletePrinterDriver for Windows x64
    #Restart Spooler
    Error(14): Can`t remove the printer-driver 'Corvane printer' - (Invalid parameter.)
  #DeleteMonitor
@log msi_reinstall
<msi_again
<msi_tool_install
<install_head
    #UnInstall
      #DeleteAllPrinters
        #DeletePrinter(Corvane)
        #DeletePrinter(Office)
      #DeletePrinterDriver for Windows x64
        #Restart Spooler
        Error(14): Can`t remove the printer-driver 'Corvane printer' - (Invalid parameter.)
      #DeleteMonitor
    #Add Printer Driver x64
    #AddPrinter(Office)
      Error(15): Can`t add printer 'Office' - (Invalid printer name.)
    #AddPrinter(Corvane)
      Error(15): Can`t add printer 'Corvane' - (Invalid printer name.)
Corvane setup: install exited with 100
@log msi_back
<msi_again
<reinstall_journal
    #Add Printer Driver x64
<printers_back
@log reinstall_journal
<msi_tool_install
<install_head
    Printers left to bring back by a run that did not finish: 2
    #UnInstall
      #DeleteAllPrinters
<driver_kept 4
@log printers_back
    #AddPrinter(Office)
    #AddPrinter(Corvane)
Corvane setup: install exited with 100
@log msi_upgrade_older
<msi_reinstall
Property(S): WIX_UPGRADE_DETECTED = {0C0A7A2E-0000-4000-8000-000000002619}
@log msi_upgrade_same
<msi_reinstall
Property(S): WIX_UPGRADE_DETECTED = {0C0A7A2E-0000-4000-8000-000000002620}
@state pkg_failed
<bare_install
-files C:\Program Files\Corvane\Setup: corvane-setup.exe vexdrv64.dll vexhelp.chm vexmon64.dll vexui64.dll
printer "Office" port "Corvane:" driver "Corvane printer" processor "WinPrint" datatype "" comment "" location "" (cannot open, error 1801)
journal "Office" "SetA" "first floor" "Room 1" "1" "Corvane" "" "" "" ""
@state repair_failed
<pkg_failed
files C:\Program Files\Corvane\Setup: corvane-setup.exe vexdrv64.dll vexhelp.chm vexmon64.dll vexui64.dll
entry "Corvane" version "1.0.2620" publisher "Brennock" no Modify
@state office_back
<msi_office
tray mutex yes window yes visible no
@state upgraded_older
<pkg_failed
entry "Corvane" version "1.0.2619" publisher "Brennock" no Modify
@state upgraded_same
<pkg_failed
entry "Corvane" version "1.0.2620" publisher "Brennock" no Modify
@log msi_remove_undone
<msi_again
<msi_undoable_run
#Check Spooler
<uninstall_office
Corvane setup: uninstall /undoable exited with 100
<reinstall_journal
    #AddMonitor
    #Add Printer Driver x64
<printers_back
@log msi_remove_nothing
<msi_again
Corvane setup: no folder for the log of uninstall /undoable, error 3
Corvane setup: uninstall did nothing; the product stays installed
Corvane setup: nothing to undo
@state removal_kept
<msi_installed
-tray mutex yes window yes visible no
-entry "Corvane" version "1.0.2620" publisher "Brennock" no Modify
@state removal_undone
<office_back
-entry "Corvane" version "1.0.2620" publisher "Brennock" no Modify
EOF
)
