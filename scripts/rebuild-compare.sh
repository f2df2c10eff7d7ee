#!/usr/bin/env bash
# Builds one commit of the Windows programs and package twice, unsigned, each
# time in a clean clone in a folder of its own, and compares every .exe,
# .dll, .drv and .msi the two builds made. The first build may take its
# objects from the compiler cache; the second compiles everything itself.
#
#   scripts/rebuild-compare.sh [COMMIT]     (HEAD by default)
#
# The last line names the first file that differs, or says how many are the
# same; the exit status is non-zero when one differs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse --verify "${1:-HEAD}^{commit}")
bash "$root/scripts/install-deps.sh" --all
work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-rebuild.XXXXXX")
trap 'rm -rf "$work"' EXIT

# build DIR [VAR=VALUE...]: a clean clone of the commit in DIR, built with
# VAR=VALUE in the environment and without a certificate.
build() {
  local dir=$1 start=$SECONDS
  shift
  git clone -q --no-checkout "$root" "$dir" && git -C "$dir" checkout -q "$commit"
  # shellcheck source=compiler_cache.sh disable=SC1091
  if ! (cd "$dir" && source scripts/compiler_cache.sh &&
    env -u CORVANE_SIGN_PKCS12 -u CORVANE_SIGN_PASSWORD_FILE "$@" bash -c \
      'cmake --preset windows && cmake --build --preset windows && cmake --build --preset windows --target msi') \
    >"$dir.log" 2>&1; then
    tail -n 20 "$dir.log"
    echo "rebuild: the build in $dir failed"
    exit 1
  fi
  echo "rebuild: $dir built in $((SECONDS - start)) s"
}

# Folder names of two lengths, so that no path of either is compiled in.
first=$work/one second=$work/second-build
build "$first"
build "$second" CCACHE_DISABLE=1

made() {
  (cd "$1/build/windows" && find . -path ./CMakeFiles -prune -o -type f \
    \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.drv' -o -iname '*.msi' \) -print | sort)
}
if [ "$(made "$first")" != "$(made "$second")" ]; then
  diff <(made "$first") <(made "$second") || true
  echo "rebuild: the two builds made different files"
  exit 1
fi
count=0
while read -r file; do
  if ! where=$(cmp "$first/build/windows/$file" "$second/build/windows/$file"); then
    echo "rebuild: ${file#./} differs between two clean builds of ${commit:0:12}: ${where##*: }"
    exit 1
  fi
  count=$((count + 1))
done < <(made "$first")
echo "rebuild: $count files the same in two clean builds of ${commit:0:12}"
