#!/usr/bin/env bash
# Runs the Windows parity tests of build/windows under Wine: prepares the Wine prefix inside the
# build tree once, keeps one wineserver running for the whole run (a test program then starts in
# a fraction of a second), runs CTest's preset windows, and stops the server again.
#   scripts/windows-tests.sh [more ctest arguments...]
set -uo pipefail
cd "$(dirname "$0")/.."

export WINEPREFIX="$PWD/build/windows/wineprefix"
export WINEDEBUG=-all
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver

# The first start of a program makes the prefix. (Made by `wineboot --init` instead, the prefix
# came up without a working RPC service, and every Running Object Table call failed with
# RPC_S_SERVER_UNAVAILABLE.)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "windows-tests: preparing the Wine prefix in $WINEPREFIX"
    "$wine" cmd.exe /c exit >/dev/null 2>&1
fi
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null' EXIT
# Wine's own services start with the first program and stay; started here, they do not hold on
# to the output pipe of the first test program that CTest reads.
"$wine" cmd.exe /c exit >/dev/null 2>&1

# One test at a time: on Windows the Running Object Table is one per machine, and the tests
# register the same names, so two test programs side by side would find each other's objects.
ctest --preset windows "$@"
