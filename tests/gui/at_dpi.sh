#!/usr/bin/env bash
# Runs a cross-built test program under Wine at another screen DPI, in a prefix of its own
# beside the build's usual one, so the tests running next to it keep theirs. Wine 8 takes the
# DPI from HKCU\Control Panel\Desktop\LogPixels when a program starts.
#   at_dpi.sh DPI PREFIX LOADER PROGRAM [ARGS...]
# LOADER is the Wine loader of the build (wine, or /usr/lib/wine/wine64 for the x86-64 one).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dpi=$1 prefix=$2 loader=$3
shift 3
export WINEPREFIX=$prefix QUILLON_WINE=$loader WINELOADER=$loader
# The first run creates the prefix (through wine-run) before the value can be set in it.
"$here/../../scripts/wine-run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$dpi" /f >/dev/null 2>&1
# Programs read it when they start; let the prefix's server settle before the test starts one.
wineserver -w
status=0
"$here/../../scripts/wine-run" "$@" || status=$?
# This prefix's server would otherwise outlive the display the run was given.
wineserver -w
exit $status
