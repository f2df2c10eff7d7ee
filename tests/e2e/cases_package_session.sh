# shellcheck shell=bash
# Wine cases of the package's restart request and its entry among the
# installed programs. Sourced by run_wine_tests.sh.
# shellcheck disable=SC2154

# A request left beforehand by an earlier run (the value under the
# product's key) asks for no restart, whether the run runs the tool
# (which removes it first) or not (pkg_kept).
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

# The tool's exit code 101 ends an interactive install with 3010: the staged
# copy of the help file is held open (read and write shared, no deletion),
# so the driver step copies it but can only delete it at the restart. The
# action asking for the restart runs as the user at the machine, whose
# token, when the install was started without elevation, cannot write the
# product's key. Wine 8 runs every action with one token: a deferred action
# after the tool's takes the writing away from everyone, as that token has
# it. The request stays for the next run's deferred action to remove.
prep_heldhelp() {
  cp "$dist_dir/Setup/vexhelp.chm" "$(unix "$DRIVER_DIR\\vexhelp.chm")" && hold_file "$DRIVER_DIR\\vexhelp.chm" shared
}
prep_read_only_key() {
  cp "$inspector" "$(unix 'C:\corvane-inspect.exe')" &&
    msi_add_action ReadOnlyKey '' 4050 'C:\corvane-inspect.exe read-only-product-key'
}
msi_install_interactive() { MSI_UI=/qr msiexec_run /i /norestart; }

TABLE+=$'\n'$(cat <<'EOF'
msi_restart msi,datatype,heldhelp,read_only_key :msi_install_interactive 194 msi_restart msi_restart
EOF
)
DATA+=$'\n'$(cat <<'EOF'
@log msi_restart
<msi_start
<install_steps
    #AddPrinter(Corvane)
    #Restart Spooler
Corvane setup: install exited with 101
Action ended: StartCompanion. Return value 1.
@state msi_restart
<msi_installed
files C:\windows\system32\spool\drivers\x64: vexhelp.chm
pending "\??\C:\windows\system32\spool\drivers\x64\vexhelp.chm" -> ""
restart request left
EOF
)
