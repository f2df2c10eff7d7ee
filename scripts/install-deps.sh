#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian machine (as root).
# Does nothing when everything is there already.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev python3 ccache)
if [ "${1:-}" = "--all" ]; then
  # The Windows build and Wine, wixl and msibuild (msitools) for the
  # Windows Installer package with faketime to date it, osslsigncode and
  # openssl to sign and check it, and clang with libFuzzer for the fuzz
  # targets.
  packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wixl msitools faketime
    osslsigncode openssl clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
