# shellcheck shell=bash disable=SC2154  # dist_dir and the helpers come from the runner
# Sourced by run_wine_tests.sh: an install run after an uninstall that left
# the monitor file to be deleted at the next restart, before that restart.

# The reinstall keeps the monitor file it finds in place, so it takes the
# file's deletion off the pending list: after the restart the monitor is
# still registered and its file is there.
case_reinstall_before_restart() {
  local ok=0
  uninstall_while_monitor_file_held || return 1
  same_text "uninstall exit code" "$EXIT_RESTART_NEEDED" "$UNINSTALL_EXIT" || return 1
  same_text "pending" "pending \"\\??\\$SYSTEM_DIR\\vexmon64.dll\" -> \"\"" "$(state_of pending)" || return 1

  run_setup_logged install || return 1
  # Wine 8: the install counts errors as in case_install (its queue cannot
  # be created without a data type); the monitor step is not among them.
  same_text "exit code" "$EXIT_ERRORS" "$SETUP_EXIT" || ok=1
  has_log_line "No longer deleted at restart: $SYSTEM_DIR\\vexmon64.dll" || ok=1
  has_log_line "Version (2620) is compatible, proceed without uninstall" || ok=1
  same_text "pending" "" "$(state_of pending)" || ok=1
  wine_env_run wineboot -r >/dev/null 2>&1 || { echo "  wineboot -r failed"; ok=1; }
  exists "$SYSTEM_DIR\\vexmon64.dll" || ok=1
  same_text "monitor" 'monitor "Corvane:" dll "vexmon64.dll"' "$(state_of monitor | grep Corvane)" || ok=1
  return $ok
}

CASES+=(case_reinstall_before_restart)
