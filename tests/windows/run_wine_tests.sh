#!/bin/sh
# Runs the end-to-end suite and the Windows port checks against the
# cross-built tavrel-play.exe (and tavrel.exe) under Wine.
#
# Usage: tests/windows/run_wine_tests.sh <native build dir> <windows build dir>
#
# The Wine prefix lives in the Windows build dir and is made on first use.
# One Wine server is kept running for the whole run: without it every test
# would pay the start of Wine's background services, and those services
# would hold the test's output pipes open for seconds after the player ends.
set -eu

native=$(cd "$1" && pwd)
win=$(cd "$2" && pwd)

# Tests left out under Wine, each for a reason that lies in Wine or in
# Windows, not in the player (docs/windows.md has the details):
#  - the device hanging up: Wine reads a hung-up pty as a silent line (empty
#    reads until the time-out), never as a failed read;
#  - a file or port held by another process: Wine checks share modes only
#    among its own processes and not at all on serial devices, and does not
#    see the POSIX locks that the harness takes.
: "${TAVREL_WINE_GTEST_FILTER:=-Faults.DeviceHangingUpMidPlaybackEndsTheRunAtOnce:\
Faults.FilesHeldByAnotherProcessAreNotOpened:\
PortOpen.PortHeldByAnotherProgramIsNotOpened:\
PortOpen.PortInUseByAnotherPlayerIsNotOpened}"

WINEPREFIX="$win/wineprefix"
WINEDEBUG=-all
# No prompts to install Mono or Gecko: the player needs neither.
WINEDLLOVERRIDES="mscoree,mshtml="
WINEARCH=win64
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH

stop_server() { wineserver -k 2>/dev/null || true; }
trap stop_server EXIT
trap 'exit 130' INT TERM

started=$(date +%s)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
fi
# Stale port links of an interrupted run would take COM names from this one.
find "$WINEPREFIX/dosdevices" -maxdepth 1 -name 'com*' -type l -lname '/dev/pts/*' -delete
wineserver -p </dev/null >/dev/null 2>&1
# Starts the background services now, with nothing of ours inherited.
wine wineboot </dev/null >/dev/null 2>&1
echo "Wine ready after $(($(date +%s) - started)) s"

TAVREL_PLAYER="$win/tavrel-play.exe"
TAVREL_PLAYER_LAUNCHER=wine
TAVREL_WINE_PREFIX="$WINEPREFIX"
TAVREL_TIME_SCALE="${TAVREL_TIME_SCALE:-2}"
TAVREL_COMM_READBACK="$win/tests/windows/comm_readback.exe"
export TAVREL_PLAYER TAVREL_PLAYER_LAUNCHER TAVREL_WINE_PREFIX TAVREL_TIME_SCALE TAVREL_COMM_READBACK
# The toolbox's own end-to-end tests run its .exe too, where it was built.
if [ -f "$win/tools/tavrel/tavrel.exe" ]; then
    TAVREL_TOOLBOX="$win/tools/tavrel/tavrel.exe"
    export TAVREL_TOOLBOX
fi

status=0
"$native/tests/e2e_tests" --gtest_filter="$TAVREL_WINE_GTEST_FILTER" || status=1
"$native/tests/windows/wine_port_tests" || status=1
echo "Wine run took $(($(date +%s) - started)) s"
exit $status
