# shellcheck shell=bash
# Wine cases of the package's restart request and its entry among the
# installed programs; helpers from run_wine_tests.sh and cases_msi.sh.
# Wine 8 runs every program in one session as one user, and msiexec /qn has
# no user interface: the companion's start and end in the user's session
# (actions for UILevel above basic) are not shown here (see
# tests/scenario/session_test.cpp for the setup tool's side).
# shellcheck disable=SC2015,SC2154

RESTART_VALUE_KEY='HKLM\Software\Brennock\Corvane'
RESTART_VALUE=PackageRestartRequested

# product_key KEY: the lines of the subkey of KEY that names the product
# (DisplayName or ProductName), blanks squeezed.
product_key() {
  wine_env_run reg query "$1" /s 2>/dev/null | tr -d '\r' | awk -v RS= '/Name +REG_SZ +Corvane\n/' |
    sed 's/^ *//; s/  */ /g'
}

# Requests left beforehand, by anyone (a global atom) or by an earlier run
# (the value), ask for no restart; the entry offers no Modify and shows the
# product's icon.
case_msi_forged_restart_and_entry() {
  local ok=0 icon
  msi_prefix && prepare_printer_datatype Corvane && inspect atom add Corvane.Setup.RestartRequired &&
    wine_env_run reg add "$RESTART_VALUE_KEY" /v "$RESTART_VALUE" /t REG_DWORD /d 1 /f >/dev/null 2>&1 || return 1
  msiexec_expect "$MSI_SUCCESS" /i "$MSI_COPY" || ok=1
  # Silent: the companion is asked to end before its file changes, and not started after.
  grep -q ': EndCompanion\. Return value 1\.$' <<<"$MSI_TEXT" && ! grep -q StartCompanion <<<"$MSI_TEXT" ||
    { echo "  EndCompanion did not run, or StartCompanion did"; ok=1; }
  wine_env_run reg query "$RESTART_VALUE_KEY" /v "$RESTART_VALUE" >/dev/null 2>&1 && { echo "  the request is left"; ok=1; }
  grep -qx 'NoModify REG_DWORD 0x1' <<<"$(product_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall')" ||
    { echo "  the entry offers Modify"; ok=1; }
  # The list of installed programs shows a package's published ProductIcon.
  icon=$(product_key 'HKLM\Software\Classes\Installer\Products' | sed -n 's/^ProductIcon REG_SZ //p')
  cmp -s "$(unix "$icon")" "$here/../../package/corvane.ico" || { echo "  no product icon: \"$icon\""; ok=1; }
  return $ok
}

# The tool's exit code 101 still ends the install with 3010: the staged
# copy of the help file is held open (read and write shared, no deletion),
# so the driver step copies it but can only delete it at the restart.
case_msi_tool_restart() {
  local ok=0 staged="$DRIVER_DIR\\vexhelp.chm"
  msi_prefix && prepare_printer_datatype Corvane && cp "$dist_dir/Setup/vexhelp.chm" "$(unix "$staged")" || return 1
  inspect hold "$staged" shared &
  HOLDER=$!
  inspect wait-held || { echo "  $staged could not be held"; kill "$HOLDER"; return 1; }
  msiexec_expect "$((3010 & 255))" /i "$MSI_COPY" || ok=1
  release_held_file
  msi_has "Corvane setup: install exited with 101" || ok=1
  wine_env_run reg query "$RESTART_VALUE_KEY" /v "$RESTART_VALUE" >/dev/null 2>&1 && { echo "  the request is left"; ok=1; }
  return $ok
}

CASES+=(case_msi_forged_restart_and_entry case_msi_tool_restart)
