# shellcheck shell=bash
# Sourceable after wine_env.sh: a started Wine prefix with the product laid
# out as shipped, and what Windows would supply by default where Wine 8 does
# not. Used by the end-to-end suite and the timing script.
#
#   product_prefix_start DIST_DIR     a fresh prefix (wine_env_start) with
#                                     DIST_DIR (dist/Corvane) copied to
#                                     PRODUCT_DIR
#   keep_desktop INSPECTOR            see below
#   prepare_printer_datatype NAME...  see below
#   set_printer_port NAME PORT        see below
#   register_driver INSPECTOR NAME    see below

# Where the product lies on a real machine: the Setup folder with the
# installer and the package files, the tray companion one folder up.
PRODUCT_DIR='C:\Program Files\Corvane'
PRINTERS_KEY='HKLM\System\CurrentControlSet\Control\Print\Printers'
DRIVER_DIR='C:\windows\system32\spool\drivers\x64'

product_prefix_start() {
  wine_env_start || return 1
  local product
  product=$(wine_env_unix_path "$PRODUCT_DIR")
  mkdir -p "$(dirname "$product")" && cp -R "$1" "$product"
}

# keep_desktop INSPECTOR: Wine 8 starts the desktop on first use and closes
# it a second after the last program using it has ended: the setup tool
# ending right after starting the tray companion, on a loaded machine, took
# the desktop from under the companion (its mutex held, its window gone).
# Windows' desktop is always there, so corvane-inspect.exe keeps Wine's
# until the prefix stops.
keep_desktop() {
  local fifo="$WINE_ENV_ROOT/desktop" line
  mkfifo "$fifo" || return 1
  WINE_ENV_TIMEOUT=100000 wine_env_run "$1" keep-desktop >"$fifo" &
  read -r -t 180 line <"$fifo" && [ "$line" = ready ]
}

# prepare_printer_datatype NAME...: gives each printer NAME that a case will
# create the data type "RAW" in the spooler's registry before it exists.
# Wine 8: AddPrinterW given no data type (the program passes none, as Windows
# accepts) stores the printer without a "Datatype" value, and OpenPrinterW
# then fails on the new printer with 1801. Windows falls back to the print
# processor's default data type instead; this value stands in for that
# fallback. Windows needs no such step.
prepare_printer_datatype() {
  local name
  for name in "$@"; do
    wine_env_run reg add "$PRINTERS_KEY\\$name" /v Datatype /t REG_SZ /d RAW /f >/dev/null 2>&1 || {
      echo "  could not prepare the data type of printer $name"
      return 1
    }
  done
}

# set_printer_port NAME PORT: moves printer NAME to PORT. Wine 8: its spooler
# reads a printer's key at every call, so the port is changed there; on
# Windows a program calls SetPrinterW.
set_printer_port() { wine_env_run reg add "$PRINTERS_KEY\\$1" /v Port /d "$2" /f >/dev/null 2>&1; }

# register_driver INSPECTOR NAME: registers the driver NAME, made of the
# product's files, through the API as the program does. Wine 8:
# AddPrinterDriverExW with APD_COPY_ALL_FILES copies the files from the
# printer-driver directory by their names, whatever folder the record names,
# so they are staged there first (as the program stages them).
register_driver() {
  local drivers setup
  drivers=$(wine_env_unix_path "$DRIVER_DIR") setup=$(wine_env_unix_path "$PRODUCT_DIR\\Setup")
  cp "$setup/vexdrv64.dll" "$setup/vexui64.dll" "$drivers" &&
    wine_env_run "$1" add-driver "$2" "$DRIVER_DIR\\vexdrv64.dll" "$DRIVER_DIR\\vexui64.dll" &&
    rm -f "$drivers/vexdrv64.dll" "$drivers/vexui64.dll"
}
