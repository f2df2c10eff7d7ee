# Sourced by the build scripts: compiles go through ccache, keyed on paths
# relative to the checkout, so a fresh clone elsewhere (CI's) reuses what an
# earlier build of the same sources compiled. Only a new build tree picks
# the launcher up; an existing one keeps what it was configured with.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
