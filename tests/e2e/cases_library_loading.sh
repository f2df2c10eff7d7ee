# shellcheck shell=bash
# Which libraries the installer loads, and from where. Sourced by
# run_wine_tests.sh, whose helpers and settings (build_dir, dist_dir) they use.
# shellcheck disable=SC2154
# "step && step || { report; return 1; }" is meant: any failing step reports.
# shellcheck disable=SC2015

PLANTED_DIR="$build_dir/tests/planted"
# Wine loads its own builtin libraries unless told, as here, to prefer a
# native file; Windows searches a program's folder first for every library
# that is not a known DLL.
PREFER_PLANTED="version,winspool.drv=n,b"

# plant FOLDER: puts the planted VERSION.dll and WINSPOOL.DRV into FOLDER
# (a Windows path).
plant() {
  cp "$PLANTED_DIR/VERSION.dll" "$PLANTED_DIR/WINSPOOL.DRV" "$(unix "$1")" ||
    { echo "  could not plant the libraries in $1"; return 1; }
}

# The marker files of planted libraries in FOLDER that were loaded, in
# lower case (Wine names a module as the importer spelled it).
planted_markers() {
  (cd "$(unix "$1")" && find . -maxdepth 1 -name '*.loaded' -printf '%f\n' | tr '[:upper:]' '[:lower:]' | sort)
}

# Libraries planted beside the installer are never loaded: neither by a run
# with no command word (the loader's imports alone) nor by a whole install.
case_planted_libraries_ignored() {
  local ok=0
  # The same plant beside a program that imports both libraries is loaded
  # and works through them: the plant and the preference are effective.
  local inspector_copy="$SETUP_DIR\\corvane-inspect.exe"
  cp "$inspector" "$(unix "$inspector_copy")" && plant "$SETUP_DIR" || return 1
  same_text "build read through the planted libraries" "build 2620" \
    "$(WINE_ENV_DLL_OVERRIDES=$PREFER_PLANTED wine_env_run "$inspector_copy" build "$SETUP_DIR\\vexdrv64.dll")" || ok=1
  same_text "markers beside the inspector" "$(printf '%s\n' version.dll.loaded winspool.drv.loaded)" \
    "$(planted_markers "$SETUP_DIR")" || ok=1
  rm -f "$(unix "$inspector_copy")" "$(unix "$SETUP_DIR")"/*.loaded

  prepare_printer_datatype Corvane || return 1
  SETUP_DLL_OVERRIDES=$PREFER_PLANTED expect_exit "$EXIT_USAGE" || ok=1
  SETUP_DLL_OVERRIDES=$PREFER_PLANTED expect_exit "$EXIT_INSTALLED" install || ok=1
  # Wine 8: its user32 imports version.dll and, with a native one preferred,
  # takes the planted one from the program's folder before the program's
  # first line. Windows' user32 imports no version.dll, and Windows takes
  # the dependencies of a known DLL from the system directory too. So only
  # the spooler's library shows here what the program itself loads; the
  # import check (case_resources) covers version.dll.
  same_text "markers beside the installer" "version.dll.loaded" "$(planted_markers "$SETUP_DIR")" || ok=1
  same_text "printer" "$PRODUCT_PRINTER" "$(inspect printer Corvane)" || ok=1
  return $ok
}

# A spooler library that cannot be loaded fails every spooler call with the
# loader's error: the install logs each failed step with it and ends with
# 100, the maintenance words give their "no" answers, nothing crashes.
case_spooler_library_missing() {
  local ok=0
  # Read by run_setup, for the setup tool's runs in this case.
  # shellcheck disable=SC2034
  local SETUP_DLL_OVERRIDES="winspool.drv=d"
  run_setup_logged install || return 1
  same_text "exit code" "$EXIT_ERRORS" "$SETUP_EXIT" || ok=1
  same_text "error lines" "$(cat <<'EOF'
Error(6): Can`t retrieve printer driver directory. - (Module not found.)
Error(11): Can`t install a local port monitor'Corvane:' - (Module not found.)
Error(13): Can`t install a x64 printer driver 'Corvane printer' - (Module not found.)
Error(15): Can`t add printer 'Corvane' - (Module not found.)
EOF
)" "$(log_errors)" || ok=1
  expect_exit "$EXIT_NO" onChkDrv || ok=1
  expect_exit "$EXIT_FOREIGN_DEFAULT" onInit || ok=1
  expect_exit "$EXIT_DEFAULT_SET" def.set || ok=1
  return $ok
}

CASES+=(
  case_planted_libraries_ignored
  case_spooler_library_missing
)
