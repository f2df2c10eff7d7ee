# shellcheck shell=bash
# Cases on a machine where the program's own install succeeded: the prefix
# is prepared (prepare_printer_datatype) so that Wine's spooler can open the
# printer the program adds. Sourced by run_wine_tests.sh, whose helpers and
# settings (dist_dir, old_driver) they use.
# shellcheck disable=SC2154
# "step && step || { report; return 1; }" is meant: any failing step reports.
# shellcheck disable=SC2015

# A clean install: every part in place, checked through the spooler API
# and the registry.
case_installed_clean_install() {
  local ok=0
  # No dialog: a run that showed one would wait for it and be stopped.
  install_product || return 1
  # The record the program built (no data type: "RAW" is the prepared
  # value, see prepare_printer_datatype).
  same_text "printer record" "$PRODUCT_PRINTER" "$(inspect printer Corvane)" || ok=1
  same_text "printers" \
    'printer "Corvane" port "Corvane:" driver "Corvane printer" comment "" location "" subkey (none) dsuser (none)' \
    "$(state_of printer)" || ok=1
  expect_installed_parts || ok=1
  same_text "pending" "" "$(state_of pending)" || ok=1
  return $ok
}

# The installed driver's build decides; then an outdated one in its place.
case_installed_onChkDrv() {
  local ok=0
  # Nothing installed: no product printer.
  expect_exit "$EXIT_NO" onChkDrv || ok=1
  install_product || return 1
  expect_exit "$EXIT_DRIVER_CURRENT" onChkDrv || ok=1
  # The same driver of build 2604 (older than 2605) does not pass.
  cp "$old_driver" "$(unix "$DRIVER_DIR\\3\\vexdrv64.dll")" ||
    { echo "  could not put the build 2604 driver in place"; return 1; }
  expect_exit "$EXIT_NO" onChkDrv || ok=1
  return $ok
}

# def.set makes the installed printer the default; onInit then sees it, and
# sees another printer made the default after it.
case_installed_def_set() {
  local ok=0
  install_product || return 1
  # Another maker's printer on the local monitor's port, as the default.
  register_driver "Other printer" "$dist_dir/Setup/vexdrv64.dll" "$dist_dir/Setup/vexui64.dll" &&
    inspect add-printer Another "Other printer" "LPT1:" "" "" &&
    inspect set-default Another || { echo "  could not set up the other printer"; return 1; }
  expect_exit "$EXIT_FOREIGN_DEFAULT" onInit || ok=1
  # Only the exact word sets the default.
  expect_exit "$EXIT_USAGE" DEF.SET || ok=1
  same_text "default" 'default "Another"' "$(state_of default)" || ok=1
  expect_exit "$EXIT_DEFAULT_SET" def.set || ok=1
  same_text "default" 'default "Corvane"' "$(state_of default)" || ok=1
  expect_exit "$EXIT_NO" onInit || ok=1
  inspect set-default Another || { echo "  could not make Another the default"; return 1; }
  expect_exit "$EXIT_FOREIGN_DEFAULT" onInit || ok=1
  return $ok
}

CASES+=(
  case_installed_clean_install
  case_installed_onChkDrv
  case_installed_def_set
)
