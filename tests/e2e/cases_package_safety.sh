# shellcheck shell=bash
# Wine cases of what the package keeps: a run that repeats, fails, upgrades
# or is refused leaves the product as it was, and nothing it does as the
# system goes through a path a user could plant. Sourced by
# run_wine_tests.sh; uses the helpers of cases_msi.sh and cases_journal.sh.

# "step && step || { report; return 1; }" is meant: any failing step reports.
# shellcheck disable=SC2015,SC2154

# The product installed by the package, with a user's printer "Office"
# (comment, location, settings key SetA) that is the default.
pkg_with_office() {
  msi_prefix && prepare_printer_datatype Corvane && msiexec_expect "$MSI_SUCCESS" /i "$MSI_COPY" &&
    inspect add-printer Office "Corvane printer" "Corvane:" "first floor" "Room 1" SetA &&
    inspect set-default Office || { echo "  could not install the product with Office"; return 1; }
}

# tool_runs WORD: how often the installer's log shows the tool run with WORD.
tool_runs() {
  grep -c "^Corvane setup: \".*\" $1 /quiet" <<<"$MSI_TEXT"
}

# What stays of the product when a run that found it fails: monitor, Run
# value, its one entry in the list of installed programs, and no uninstall
# run by the package.
expect_product_kept() {
  local ok=0
  take_state || return 1
  same_text "uninstall runs" 0 "$(tool_runs uninstall)" || ok=1
  same_text "monitor" 'monitor "Corvane:" dll "vexmon64.dll"' "$(taken_state_of monitor | grep Corvane)" || ok=1
  same_text "Run value" "run CorvaneTray \"$TRAY_EXE\"" "$(taken_state_of run)" || ok=1
  same_text "entries" 1 "$(installed_entry | grep -c DisplayName)" || ok=1
  return $ok
}

# A second install of the installed package changes nothing and runs no
# tool; a repair that fails takes nothing of the product away. Wine 8:
# "msiexec /fa" ends with 1605 (unknown product) before it runs anything,
# so the repair is asked for as /fa asks for it, REINSTALL=ALL. The tool's
# reinstall cannot delete the driver (87, see case_uninstall), so every
# reinstall ends with 100 and fails the run; nor can it re-create "Office"
# (1801, see case_install), whose record then stays in the journal until
# the printer is back.
case_pkg_repeated_and_failed_runs_keep_the_product() {
  local ok=0 run expected args
  for run in "0|/i $MSI_COPY" "$MSI_FAILURE|/i $MSI_COPY REINSTALL=ALL REINSTALLMODE=vomus"; do
    expected=${run%%|*}
    read -ra args <<<"${run#*|}"
    echo "  msiexec ${args[*]}:"
    wine_env_stop
    product_prefix_start "$dist_dir" && pkg_with_office || return 1
    msiexec_expect "$expected" "${args[@]}" || ok=1
    expect_product_kept && exists "$SETUP_EXE" || ok=1
    msi_has "Corvane setup: the product is on the machine already" || ok=1
    if [ "$expected" -eq 0 ]; then
      same_text "install runs" 0 "$(tool_runs install)" || ok=1
      same_text "Office" 1 "$(taken_state_of printer | grep -c '^printer "Office" .*comment "first floor" location "Room 1"')" || ok=1
    else
      # Name, settings key, comment, location, "1": the default.
      wine_env_run reg query "$JOURNAL_KEY" /v "$JOURNAL_VALUE" | grep -q "$(printf '%s\0' Office SetA \
        'first floor' 'Room 1' 1 | iconv -t UTF-16LE | od -An -tx1 | tr -d ' \n' | tr '[:lower:]' '[:upper:]')" ||
        { echo "  Office is neither on the machine nor in the journal"; ok=1; }
    fi
  done
  return $ok
}



# Symbolic links planted where the package used to leave the tool's log (the
# installer's temporary folder and the Windows one) lead to a file that must
# stay as it is, through an install and a removal; each run's log lives in
# a folder of its own in the Windows one, gone afterwards.
case_pkg_planted_log_paths_are_not_followed() {
  local ok=0 victim dir name run temp
  msi_prefix || return 1
  victim=$(unix 'C:\windows\victim.txt')
  temp=$(unix 'C:\windows\temp')
  echo keep >"$victim"
  for dir in "$temp" "$WINE_ENV_DRIVE_C"/users/*/Temp; do
    for name in install rollback uninstall; do ln -s "$victim" "$dir/corvane-setup-$name.log" || return 1; done
  done
  prepare_printer_datatype Corvane || return 1
  for run in /i /x; do
    msiexec_expect "$MSI_SUCCESS" "$run" "$MSI_COPY" || ok=1
    grep '^Corvane setup: "' <<<"$MSI_TEXT" | grep -vqE '"/log=C:\\windows\\Temp\\corvane-setup-[0-9a-f]{24}\\corvane-setup\.log"$' &&
      { echo "  a log outside a folder of its own: $(grep '^Corvane setup: "' <<<"$MSI_TEXT")"; ok=1; }
    same_text "log folders left" "" "$(find "$temp" -maxdepth 1 -name 'corvane-setup-*' -type d)" || ok=1
  done
  same_text "victim" keep "$(cat "$victim")" || ok=1
  return $ok
}

# pkg_build VERSION FILE: another build of the package, with VERSION and
# product and package codes of its own.
pkg_build() {
  local file
  file=$(unix "$2")
  cp "$MSI_FILE" "$file" &&
    msibuild "$file" -q "UPDATE Property SET Value='{$(new_guid)}' WHERE Property='ProductCode'" \
      -q "UPDATE Property SET Value='$1' WHERE Property='ProductVersion'" &&
    msibuild "$file" -s Corvane Brennock 'x64;1033' "{$(new_guid)}" ||
    { echo "  could not build the package $1"; return 1; }
}

new_guid() {
  tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid
}

# This package replaces an older build and another build of its own
# version rather than going beside it. Wine 8: the tool's reinstall cannot
# delete the driver (87), so the upgrade fails and the older build stays
# (monitor, Run value, its one entry), but without its files: Wine's
# rollback does not put back the files the upgrade replaced.
case_pkg_upgrades_replace_the_older_build() {
  local ok=0 version
  for version in 1.0.2619 1.0.2620; do
    echo "  from $version:"
    wine_env_stop
    product_prefix_start "$dist_dir" && msi_prefix && prepare_printer_datatype Corvane &&
      pkg_build "$version" 'C:\older.msi' && msiexec_expect "$MSI_SUCCESS" /i 'C:\older.msi' || return 1
    msiexec_expect "$MSI_FAILURE" /i "$MSI_COPY" || ok=1
    grep -q '^Property(S): WIX_UPGRADE_DETECTED = {' <<<"$MSI_TEXT" || { echo "  not seen as an upgrade"; ok=1; }
    expect_product_kept && missing "$SETUP_EXE" || ok=1
  done
  return $ok
}

# A removal for which the tool did nothing (no folder for its log: the
# Windows temporary folder is a file here) fails and keeps the product;
# once the cause is gone, the removal goes through. Wine 8: the rollback of
# the failed removal takes the product's entry out of the list of installed
# programs (Windows keeps it), though the product stays installed.
case_pkg_removal_that_did_nothing_fails() {
  local ok=0 temp
  temp=$(unix 'C:\windows\temp')
  msi_prefix && prepare_printer_datatype Corvane && msiexec_expect "$MSI_SUCCESS" /i "$MSI_COPY" || return 1
  mv "$temp" "$temp.away" && : >"$temp" || return 1
  msiexec_expect "$MSI_FAILURE" /x "$MSI_COPY" || ok=1
  grep -qE '^Corvane setup: no folder for the log of uninstall, error [0-9]+$' <<<"$MSI_TEXT" ||
    { echo "  msi.log does not say why the tool did not run"; ok=1; }
  msi_has "Corvane setup: uninstall did nothing; the product stays installed" || ok=1
  exists "$SETUP_EXE" && exists "$SYSTEM_DIR\\vexmon64.dll" || ok=1
  rm "$temp" && mv "$temp.away" "$temp" || return 1
  msiexec_expect "$MSI_SUCCESS" /x "$MSI_COPY" || ok=1
  same_text "uninstall runs" 1 "$(tool_runs uninstall)" || ok=1
  missing "$SETUP_EXE" || ok=1
  return $ok
}

# The tool's own "/log=": a file with a second name (a hard link) is
# refused with nothing done and not a byte written, and a mistyped switch is
# refused with one line in the log. (Wine 8 reports no Unix symbolic link as
# a reparse point: that refusal is tested on the simulated machine.)
case_pkg_tool_refuses_a_linked_log_and_an_unknown_switch() {
  local ok=0 victim
  victim=$(unix 'C:\windows\victim.txt')
  echo keep >"$victim" && ln "$victim" "$(unix 'C:\hard.log')" || return 1
  expect_exit "$EXIT_USAGE" install '/log=C:\hard.log' || ok=1
  expect_exit "$EXIT_USAGE" install /quite '/log=C:\typo.log' || ok=1
  same_text "victim" keep "$(cat "$victim")" || ok=1
  same_text "refusal" $'\xEF\xBB\xBFUnknown switch: /quite\r' "$(cat "$(unix 'C:\typo.log')")" || ok=1
  same_text "monitor" "" "$(state_of monitor | grep Corvane)" || ok=1
  return $ok
}

CASES+=(case_pkg_tool_refuses_a_linked_log_and_an_unknown_switch case_pkg_repeated_and_failed_runs_keep_the_product case_pkg_planted_log_paths_are_not_followed
  case_pkg_upgrades_replace_the_older_build
  case_pkg_removal_that_did_nothing_fails)
