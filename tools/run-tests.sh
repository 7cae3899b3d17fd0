#!/usr/bin/env bash
# Runs the whole suite with CTest; meant to be started by test-session.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
. tools/wine-env.sh
if [ "$ZPK_WIN32_RUNS" != 1 ]; then
  echo "note: this machine cannot run 32-bit programs; the suite runs the 64-bit build of the same sources"
fi
ctest --test-dir build/win64 --output-on-failure -j "${JOBS:-2}" "$@"
status=$?
if [ "$ZPK_WIN32_RUNS" != 1 ]; then
  # Last, where nobody can miss it: the package's programs are 32-bit.
  echo "*** THE 32-BIT SUITE DID NOT RUN: this machine cannot run 32-bit programs (is wine32:i386 installed?) ***"
fi
exit $status
