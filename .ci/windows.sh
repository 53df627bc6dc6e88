#!/usr/bin/env bash
# The Windows half of CI: cross-compiles the programs and the whole test suite
# with mingw-w64 and runs the suite under wine (cmake --workflow --preset
# windows). Installs what is missing first; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

# g++-mingw-w64-x86-64: the cross compiler (posix thread model inside);
# wine64: runs the tests; googletest: the sources GoogleTest is built from.
.ci/install-missing.sh cmake make g++-mingw-w64-x86-64 wine64 googletest

echo "== windows: cmake --workflow --preset windows"
cmake --workflow --preset windows
echo "== windows: done in $(( $(date +%s) - start )) s"
