# shellcheck shell=bash
# Sourceable helper: a fresh, headless 64-bit Wine prefix for end-to-end tests
# (Wine from scripts/install-deps.sh --all).
#
#   wine_env_make_template            boot one prefix, to copy per start
#   wine_env_start                    fresh prefix + persistent wineserver
#   wine_env_run 'C:\path\prog.exe' word ...; code=$?
#   wine_env_unix_path 'C:\path'      its Unix path in the prefix
#   wine_env_stop                     kill the prefix's processes, delete it
#   wine_env_drop_template
#
# Everything Wine runs gets /dev/null as standard input and no DISPLAY;
# windows are drawn by Wine's null graphics driver: dialogs are created and
# run their message loops, nothing is shown. After wine_env_start:
# WINEPREFIX (exported), WINE_ENV_ROOT (a temporary directory holding it),
# WINE_ENV_DRIVE_C (Unix path of C:\). Settings: WINE_ENV_TIMEOUT (seconds a
# program may run, default 120), WINE_ENV_DLL_OVERRIDES (further
# WINEDLLOVERRIDES entries, such as "version=n,b").

WINE_ENV_TIMEOUT=${WINE_ENV_TIMEOUT:-120}
WINE_ENV_ROOT=
WINE_ENV_DRIVE_C=
WINE_ENV_TMP=${TMPDIR:-/tmp}
# Debian's wine64 puts the 64-bit loader and server here; the `wine` wrapper
# would prefer a 32-bit loader.
WINE_ENV_LOADER=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINE_ENV_SERVER=$(command -v wineserver64 || echo /usr/lib/wine/wineserver64)

# Runs a Wine tool in the prefix. Mono and Gecko are never offered (no
# downloads, no prompts); winemenubuilder stays off (no desktop menus).
_wine_env_exec() {
  env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$WINEPREFIX" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINE_ENV_DLL_OVERRIDES:+;$WINE_ENV_DLL_OVERRIDES}" \
    WINESERVER="$WINE_ENV_SERVER" WINELOADER="$WINE_ENV_LOADER" "$@" </dev/null
}

# A new temporary directory marked as this helper's (only such are deleted).
_wine_env_new_root() {
  local root
  root=$(mktemp -d "$WINE_ENV_TMP/$1.XXXXXX") && : >"$root/.corvane-wine-env" && printf '%s\n' "$root"
}
_wine_env_remove_root() { [ ! -f "$1/.corvane-wine-env" ] || rm -rf -- "$1"; }

# Stops the server of $WINEPREFIX and forgets its socket directory: Debian's
# Wine keeps the socket in a random directory under TMPDIR, named in the
# prefix, and leaves both behind when the server ends.
_wine_env_shutdown() {
  [ -d "$WINEPREFIX" ] || return 0
  local server_dir
  server_dir=$(head -c 64 "$WINEPREFIX/wineserver" 2>/dev/null)
  _wine_env_exec "$WINE_ENV_SERVER" -k >/dev/null 2>&1
  _wine_env_exec "$WINE_ENV_SERVER" -w >/dev/null 2>&1
  if [[ $server_dir =~ ^wine-[A-Za-z0-9]+$ ]] && [ -O "$WINE_ENV_TMP/$server_dir" ]; then
    rm -rf -- "${WINE_ENV_TMP:?}/$server_dir"
  fi
  rm -f -- "$WINEPREFIX/wineserver"
}

# Boots a new prefix at $WINEPREFIX, selects the null graphics driver and
# stops its server so that the registry is on disk. Wine 8: every file is
# owned by the prefix's user and has no access list of its own, so the
# package's folder is declared trusted, as an administrator may declare a
# deployment share (Windows gives Program Files the administrators' owner
# and access list instead). A boot on a loaded
# machine was seen to fail now and then, once: each of three attempts
# starts from nothing. Logs to $1, printed when all fail.
_wine_env_boot() {
  local attempt
  for attempt in 1 2 3; do
    _wine_env_exec timeout -k 5 300 "$WINE_ENV_LOADER" wineboot -i >>"$1" 2>&1 &&
      _wine_env_exec timeout -k 5 120 "$WINE_ENV_LOADER" reg add 'HKCU\Software\Wine\Drivers' \
        /v Graphics /t REG_SZ /d null /f >>"$1" 2>&1 &&
      _wine_env_exec timeout -k 5 120 "$WINE_ENV_LOADER" reg add 'HKLM\SOFTWARE\Policies\Brennock\Corvane' \
        /v TrustedPackageFolders /t REG_MULTI_SZ /d 'C:\Program Files\Corvane' /f >>"$1" 2>&1 &&
      _wine_env_shutdown && return 0
    echo "wine_env: boot attempt $attempt failed" >>"$1"
    _wine_env_shutdown
    rm -rf -- "$WINEPREFIX"
  done
  echo "wine_env: could not boot a prefix" >&2
  cat "$1" >&2
  return 1
}

wine_env_make_template() {
  [ -x "$WINE_ENV_LOADER" ] || { echo "wine_env: no wine64 (scripts/install-deps.sh --all)" >&2; return 1; }
  local root
  root=$(_wine_env_new_root corvane-wine-template) || return 1
  WINEPREFIX="$root/prefix" _wine_env_boot "$root/boot.log" || { _wine_env_remove_root "$root"; return 1; }
  export WINE_ENV_TEMPLATE="$root/prefix"
}

wine_env_drop_template() {
  [ -z "${WINE_ENV_TEMPLATE:-}" ] || _wine_env_remove_root "$(dirname "$WINE_ENV_TEMPLATE")"
  unset WINE_ENV_TEMPLATE
}

# A fresh prefix (a copy of the template when there is one) with a
# persistent wineserver, so that each program starts in a fraction of a
# second.
wine_env_start() {
  wine_env_stop
  WINE_ENV_ROOT=$(_wine_env_new_root corvane-wine) || return 1
  export WINEPREFIX="$WINE_ENV_ROOT/prefix"
  WINE_ENV_DRIVE_C="$WINEPREFIX/drive_c"
  local log="$WINE_ENV_ROOT/boot.log"
  if [ -n "${WINE_ENV_TEMPLATE:-}" ]; then
    cp -a -- "$WINE_ENV_TEMPLATE" "$WINEPREFIX" 2>>"$log" || { echo "wine_env: could not copy the prefix" >&2; return 1; }
  else
    _wine_env_boot "$log" || return 1
  fi
  _wine_env_exec "$WINE_ENV_SERVER" -p >>"$log" 2>&1 || { echo "wine_env: no wineserver" >&2; cat "$log" >&2; return 1; }
}

# Runs a Windows program (a Windows or Unix path) with the given arguments
# from C:\ and returns its exit code: the low 8 bits of the Windows one, 124
# when it was killed after WINE_ENV_TIMEOUT seconds.
wine_env_run() {
  (cd "$WINE_ENV_DRIVE_C" && _wine_env_exec timeout -k 5 "$WINE_ENV_TIMEOUT" "$WINE_ENV_LOADER" "$@")
}

wine_env_unix_path() {
  local path=${1#[Cc]:}
  printf '%s\n' "$WINE_ENV_DRIVE_C${path//\\//}"
}

# Safe to call twice and from an EXIT trap.
wine_env_stop() {
  [ -n "$WINE_ENV_ROOT" ] || return 0
  _wine_env_shutdown
  _wine_env_remove_root "$WINE_ENV_ROOT"
  WINE_ENV_ROOT=
  WINE_ENV_DRIVE_C=
  unset WINEPREFIX
}
