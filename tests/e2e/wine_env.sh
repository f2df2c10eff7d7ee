# shellcheck shell=bash
# Sourceable helper: a fresh, headless 64-bit Wine prefix for end-to-end tests.
#
#   source tests/e2e/wine_env.sh
#   wine_env_make_template            # optional: boot once, copy per start
#   wine_env_start                    # fresh prefix + persistent wineserver
#   wine_env_run 'C:\path\prog.exe' word ...; code=$?
#   wine_env_stop                     # kill the prefix's processes, delete it
#   wine_env_drop_template
#
# Everything Wine runs gets /dev/null as standard input and no DISPLAY, so the
# helper behaves the same in a terminal, under CI with stdin closed, or on a
# desktop. Windows are drawn by Wine's null graphics driver: dialogs are
# created and run their message loops, nothing is shown.
#
# Variables after wine_env_start:
#   WINEPREFIX      the prefix (exported, so plain wine tools work too)
#   WINE_ENV_ROOT   temporary directory holding the prefix and its logs
#   WINE_ENV_DRIVE_C  Unix path of C:\
#
# Settings (optional, set before wine_env_start):
#   WINE_ENV_TIMEOUT  seconds a single program may run (default 120)
#   WINE_ENV_DEBUG    WINEDEBUG for programs run (default -all)
#   WINE_ENV_DLL_OVERRIDES  further WINEDLLOVERRIDES entries for programs run
#                     (for example "version=n,b" to prefer a native version.dll)

WINE_ENV_TIMEOUT=${WINE_ENV_TIMEOUT:-120}
WINE_ENV_DEBUG=${WINE_ENV_DEBUG:--all}
WINE_ENV_LOADER=
WINE_ENV_SERVER=
WINE_ENV_ROOT=
WINE_ENV_DRIVE_C=
WINE_ENV_TMP=${TMPDIR:-/tmp}

# Debian's wine64 package puts the 64-bit loader and server in /usr/lib/wine
# and only the optional `wine` package adds wrappers to PATH; the wrapper
# prefers a 32-bit loader when one is installed, so the 64-bit one is used
# directly.
_wine_env_find_tools() {
  local candidate
  WINE_ENV_LOADER=
  WINE_ENV_SERVER=
  for candidate in "$(command -v wine64 2>/dev/null)" /usr/lib/wine/wine64 \
      /usr/lib/x86_64-linux-gnu/wine/wine64 "$(command -v wine 2>/dev/null)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      WINE_ENV_LOADER=$candidate
      break
    fi
  done
  for candidate in /usr/lib/wine/wineserver64 "$(command -v wineserver64 2>/dev/null)" \
      /usr/lib/x86_64-linux-gnu/wine/wineserver64 "$(command -v wineserver 2>/dev/null)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      WINE_ENV_SERVER=$candidate
      break
    fi
  done
  [ -n "$WINE_ENV_LOADER" ] && [ -n "$WINE_ENV_SERVER" ]
}

# Installs Wine on Debian when it is missing (needs root).
wine_env_install() {
  _wine_env_find_tools && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "wine_env: Wine is missing; install the wine64 package as root" >&2
    return 1
  fi
  echo "wine_env: installing wine64" >&2
  DEBIAN_FRONTEND=noninteractive apt-get update -qq </dev/null >/dev/null &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine64 \
      </dev/null >/dev/null || return 1
  _wine_env_find_tools
}

# Runs a Wine tool or program in the prefix with the test environment.
# Mono and Gecko are never offered (no downloads, no prompts) and
# winemenubuilder stays off so nothing is written to the user's desktop menus.
_wine_env_exec() {
  env -u DISPLAY -u WAYLAND_DISPLAY \
    WINEPREFIX="$WINEPREFIX" WINEARCH=win64 WINEDEBUG="$WINE_ENV_DEBUG" \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINE_ENV_DLL_OVERRIDES:+;$WINE_ENV_DLL_OVERRIDES}" \
    WINESERVER="$WINE_ENV_SERVER" WINELOADER="$WINE_ENV_LOADER" \
    "$@" </dev/null
}

_wine_env_select_null_driver() {
  _wine_env_exec timeout -k 5 120 "$WINE_ENV_LOADER" reg add 'HKCU\Software\Wine\Drivers' \
    /v Graphics /t REG_SZ /d null /f >>"$1" 2>&1
  local code=$?
  [ "$code" -eq 0 ] || echo "wine_env: reg add exited with $code" >>"$1"
  return "$code"
}

# A new temporary directory marked as this helper's; prints its path.
_wine_env_new_root() {
  local root
  root=$(mktemp -d "$WINE_ENV_TMP/$1.XXXXXX") && : >"$root/.corvane-wine-env" &&
    printf '%s\n' "$root"
}

# Deletes a directory, but only one this helper created.
_wine_env_remove_root() {
  if [ -f "$1/.corvane-wine-env" ]; then
    rm -rf -- "$1"
  fi
}

# Stops the server of $WINEPREFIX and forgets its socket directory: Debian's
# Wine keeps the socket in a random directory under TMPDIR, records its name
# in the prefix, and leaves both behind when the server ends.
_wine_env_shutdown() {
  [ -d "$WINEPREFIX" ] || return 0
  local server_dir=
  if [ -r "$WINEPREFIX/wineserver" ]; then
    server_dir=$(head -c 64 "$WINEPREFIX/wineserver" 2>/dev/null)
  fi
  _wine_env_exec "$WINE_ENV_SERVER" -k >/dev/null 2>&1
  _wine_env_exec "$WINE_ENV_SERVER" -w >/dev/null 2>&1
  if [[ $server_dir =~ ^wine-[A-Za-z0-9]+$ ]] && [ -O "$WINE_ENV_TMP/$server_dir" ]; then
    rm -rf -- "${WINE_ENV_TMP:?}/$server_dir"
  fi
  rm -f -- "$WINEPREFIX/wineserver"
}

# Boots a new prefix at $WINEPREFIX (which must not exist: the loader then
# creates and initialises it itself), makes it headless and stops its server
# so that the registry is on disk. Appends to the log $1.
_wine_env_boot_once() {
  local log=$1
  if ! _wine_env_exec timeout -k 5 300 "$WINE_ENV_LOADER" wineboot -i >>"$log" 2>&1; then
    echo "wine_env: wineboot failed" >>"$log"
    return 1
  fi
  # Every later desktop uses the null driver; the boot's own desktop had no
  # display and goes with the server below.
  if ! _wine_env_select_null_driver "$log"; then
    echo "wine_env: could not select the null graphics driver" >>"$log"
    return 1
  fi
  _wine_env_shutdown
}

# A boot on a loaded machine was seen to fail now and then, silently and
# once; each retry starts again from nothing. Prints the log when all fail.
_wine_env_boot() {
  local log=$1 attempt
  for attempt in 1 2 3; do
    _wine_env_boot_once "$log" && return 0
    echo "wine_env: boot attempt $attempt failed" >>"$log"
    _wine_env_shutdown
    rm -rf -- "$WINEPREFIX"
  done
  echo "wine_env: could not boot a prefix" >&2
  cat "$log" >&2
  return 1
}

# Boots one prefix to copy for every later wine_env_start (booting takes most
# of a case's time) and exports its path as WINE_ENV_TEMPLATE. Remove it
# with wine_env_drop_template.
wine_env_make_template() {
  wine_env_install || return 1
  WINE_ENV_TMP=${TMPDIR:-/tmp}
  local root
  root=$(_wine_env_new_root corvane-wine-template) || return 1
  if ! WINEPREFIX="$root/prefix" _wine_env_boot "$root/boot.log"; then
    _wine_env_remove_root "$root"
    return 1
  fi
  export WINE_ENV_TEMPLATE="$root/prefix"
}

wine_env_drop_template() {
  [ -n "${WINE_ENV_TEMPLATE:-}" ] || return 0
  _wine_env_remove_root "$(dirname "$WINE_ENV_TEMPLATE")"
  unset WINE_ENV_TEMPLATE
}

# Creates a fresh prefix in a temporary directory (a copy of
# WINE_ENV_TEMPLATE when there is one, booted otherwise) and leaves a
# persistent wineserver running for it, so each program starts in a
# fraction of a second. Returns non-zero (and prints the log) on failure.
wine_env_start() {
  wine_env_stop
  wine_env_install || return 1
  WINE_ENV_TMP=${TMPDIR:-/tmp}
  WINE_ENV_ROOT=$(_wine_env_new_root corvane-wine) || return 1
  export WINEPREFIX="$WINE_ENV_ROOT/prefix"
  WINE_ENV_DRIVE_C="$WINEPREFIX/drive_c"
  local log="$WINE_ENV_ROOT/boot.log"
  if [ -n "${WINE_ENV_TEMPLATE:-}" ]; then
    if ! cp -a -- "$WINE_ENV_TEMPLATE" "$WINEPREFIX" 2>>"$log"; then
      echo "wine_env: could not copy the booted prefix" >&2
      cat "$log" >&2
      return 1
    fi
  elif ! _wine_env_boot "$log"; then
    return 1
  fi
  if ! _wine_env_exec "$WINE_ENV_SERVER" -p >>"$log" 2>&1; then
    echo "wine_env: could not start wineserver" >&2
    cat "$log" >&2
    return 1
  fi
}

# Runs a Windows program (Windows path such as 'C:\...\x.exe', or a Unix
# path) with the given arguments from C:\ and returns its exit code. Wine
# hands back the low 8 bits of the Windows exit code; 124 means the program
# was killed after WINE_ENV_TIMEOUT seconds. Its own output goes to this
# shell's stdout and stderr.
wine_env_run() {
  if [ -z "$WINE_ENV_ROOT" ]; then
    echo "wine_env: wine_env_start has not run" >&2
    return 125
  fi
  (cd "$WINE_ENV_DRIVE_C" &&
    _wine_env_exec timeout -k 5 "$WINE_ENV_TIMEOUT" "$WINE_ENV_LOADER" "$@")
}

# Converts a Windows path in the prefix into its Unix path (C: only).
wine_env_unix_path() {
  local path=${1#[Cc]:}
  printf '%s\n' "$WINE_ENV_DRIVE_C${path//\\//}"
}

# Stops every process of the prefix and deletes it. Safe to call twice and
# from an EXIT trap.
wine_env_stop() {
  [ -n "$WINE_ENV_ROOT" ] || return 0
  _wine_env_shutdown
  _wine_env_remove_root "$WINE_ENV_ROOT"
  WINE_ENV_ROOT=
  WINE_ENV_DRIVE_C=
  unset WINEPREFIX
}
