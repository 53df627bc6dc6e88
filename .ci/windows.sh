#!/usr/bin/env bash
# The Windows half of CI: cross-compiles the programs and the whole test suite
# with mingw-w64 and runs the suite under wine (cmake --workflow --preset
# windows). Installs what is missing first; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

# g++-mingw-w64-x86-64: the cross compiler (posix thread model inside);
# wine64: runs the tests; googletest: the sources GoogleTest is built from.
packages=(cmake make g++-mingw-w64-x86-64 wine64 googletest)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

echo "== windows: cmake --workflow --preset windows"
cmake --workflow --preset windows
echo "== windows: done in $(( $(date +%s) - start )) s"
