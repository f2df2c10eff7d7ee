#!/usr/bin/env bash
# Builds both programs and runs every test: the native suite on simulated
# machines (plainly and under sanitizers, with the fault matrix), a short run
# of each fuzz target, then the Windows build signed with a throwaway
# certificate and checked, its executable and package under Wine, the
# differential check of the simulated machine against Wine, and two clean
# builds of the commit compared.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --all
# shellcheck source=compiler_cache.sh
source scripts/compiler_cache.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

# The whole native suite again under the address, undefined-behaviour and
# leak sanitizers.
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

# A short run of every fuzz target from its seed corpus.
bash scripts/run-fuzz.sh

# Signed with a code-signing certificate from a throwaway authority, made
# anew for every run.
signer=$PWD/build/test-signer
bash tests/release/throwaway_signer.sh "$signer"
cmake --preset windows -DCORVANE_SIGN_PKCS12="$signer/signer.p12" \
  -DCORVANE_SIGN_PASSWORD_FILE="$signer/password" >/dev/null
cmake --build --preset windows
# The Windows Installer package, which the Wine suite installs too.
cmake --build --preset windows --target msi
bash tests/release/check_signatures.sh build/windows "$signer/ca.crt"
bash tests/e2e/run_wine_tests.sh build/windows
# The same stories under Wine and on the simulated machine, each started
# from a capture of the Wine prefix, compared.
bash tests/differential.sh
# Two clean builds of this commit, the second without the compiler cache.
bash scripts/rebuild-compare.sh
