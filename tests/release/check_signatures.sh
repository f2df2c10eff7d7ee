#!/usr/bin/env bash
# The signed Windows build verifies against the authority that issued its
# certificate, and a copy with one byte of corvane-setup.exe changed is
# refused, that file alone.
#
#   tests/release/check_signatures.sh BUILD_DIR CA_FILE
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1 ca=$2
verify() { bash "$root/scripts/verify-signatures.sh" "$@"; }
signed=$(verify "$build" "$ca") || { printf '%s\n' "$signed"; exit 1; }
printf '%s\n' "$signed"

copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -r "$build/dist" "$copy/"
file=$copy/dist/Corvane/Setup/corvane-setup.exe
at=$(($(stat -c %s "$file") / 2))
byte=$(od -An -tu1 -j "$at" -N 1 "$file")
printf '%b' "\\$(printf %03o $((255 - byte)))" | dd of="$file" bs=1 seek="$at" conv=notrunc status=none
total=${signed##*signatures: } total=${total%% *}
want="not verified: dist/Corvane/Setup/corvane-setup.exe"
got=$(verify "$copy" "$ca")
if [[ $got == "$want ("*$'\n'"signatures: $((total - 1)) passed, 1 failed" ]]; then
  echo "signatures: one byte changed in corvane-setup.exe after signing: refused"
else
  printf 'signatures: with one byte of corvane-setup.exe changed, expected\n  %s\n  signatures: %d passed, 1 failed\ngot\n%s\n' \
    "$want (...)" $((total - 1)) "$got"
  exit 1
fi
