#!/usr/bin/env bash
# Configures and builds both widths with the CMake presets. The 32-bit test
# programs are built everywhere, so that the 32-bit build of the tests keeps
# compiling; they run only where 32-bit programs can run (see wine-env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/wine-env.sh
cmake --preset win32 -DZPK_BUILD_TESTS=ON >/dev/null
cmake --build --preset win32 -j "${JOBS:-2}"
cmake --preset win64 -DZPK_BUILD_TESTS=ON >/dev/null
cmake --build --preset win64 -j "${JOBS:-2}"
