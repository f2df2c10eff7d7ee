#!/usr/bin/env bash
# Checks the Authenticode signatures of a Windows build against a
# certificate authority: every .exe and .dll it ships (the layout under
# dist/, the files and the custom-action DLL inside the package) and the
# package itself.
#
#   scripts/verify-signatures.sh BUILD_DIR CA_FILE
#
# Names each file that is unsigned or whose signature does not verify; the
# last line counts them, and the exit status is non-zero when one fails.
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR CA_FILE" >&2; exit 2; }
build=$(cd "$1" && pwd) ca=$2
packages=("$build"/dist/Corvane-*.msi)
[ -f "${packages[0]}" ] || { echo "signatures: no package in $build/dist" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for package in "${packages[@]}"; do
  unpacked=$work/${package##*/}
  if ! { mkdir -p "$unpacked" && msiextract -C "$unpacked" "$package" >/dev/null &&
    (cd "$unpacked" && msidump -s "$package" >/dev/null); }; then
    echo "signatures: cannot unpack $package" >&2
    exit 2
  fi
done

passed=0 failed=0
while read -r file; do
  if osslsigncode verify -CAfile "$ca" -in "$file" >"$work/verify.log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    name=${file#"$build"/}
    echo "not verified: ${name#"$work"/} ($(grep -m 1 -i -E 'fail|error|no signature|mismatch' "$work/verify.log"))"
  fi
done < <(
  find "$build/dist" "$work" -type f \( -iname '*.exe' -o -iname '*.dll' -o -path '*/_Streams/Binary.*' \)
  printf '%s\n' "${packages[@]}")
echo "signatures: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
