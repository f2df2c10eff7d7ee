# shellcheck shell=bash
# Wine cases of the package's restart request and its entry among the
# installed programs. Sourced by run_wine_tests.sh.
# shellcheck disable=SC2154

# A request left beforehand by an earlier run (the value under the
# product's key) asks for no restart (pkg_kept installs after this).
prep_forged_restart() {
  wine_env_run reg add 'HKLM\Software\Brennock\Corvane' /v PackageRestartRequested /t REG_DWORD /d 1 /f >/dev/null 2>&1
}
# The list of installed programs shows a package's published ProductIcon.
msi_icon() {
  local icon
  icon=$(wine_env_run reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r' |
    awk -v RS= '/ProductName +REG_SZ +Corvane\n/' | sed -n 's/^ *ProductIcon  *REG_SZ  *//p')
  cmp -s "$(unix "$icon")" "$here/../../package/corvane.ico" || { echo "  no product icon: \"$icon\""; return 1; }
}

# The tool's exit code 101 still ends the install with 3010: the staged
# copy of the help file is held open (read and write shared, no deletion),
# so the driver step copies it but can only delete it at the restart.
prep_heldhelp() {
  cp "$dist_dir/Setup/vexhelp.chm" "$(unix "$DRIVER_DIR\\vexhelp.chm")" && hold_file "$DRIVER_DIR\\vexhelp.chm" shared
}

TABLE+=$'\n'$(cat <<'EOF'
msi_restart msi,datatype,heldhelp :msi_install 194 msi_restart msi_restart
EOF
)
DATA+=$'\n'$(cat <<'EOF'
@log msi_restart
<msi_start
<install_steps
    #AddPrinter(Corvane)
    #Restart Spooler
Corvane setup: install exited with 101
@state msi_restart
<msi_installed
files C:\windows\system32\spool\drivers\x64: vexhelp.chm
pending "\??\C:\windows\system32\spool\drivers\x64\vexhelp.chm" -> ""
EOF
)
