#!/usr/bin/env bash
# The Wine prefix of a windows-* build tree, as CTest fixtures use it.
#   wine-prefix.sh start PREFIX  brings the prefix up to date (wineboot -u) and
#                                keeps its wineserver running, so that each test
#                                program starts in a fraction of a second; the
#                                network name \\tarnwick-host\share names the
#                                prefix's C:\tarnwick-share;
#   wine-prefix.sh stop PREFIX   ends the wineserver and everything under it.
# The server and Wine's own services outlive this script: their output goes to
# /dev/null, or CTest would wait for them to close its pipe.
set -euo pipefail
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
case "$action" in
  start)
    mkdir -p "$WINEPREFIX"
    # A server left from a discovery run goes away within its linger time;
    # then one that stays.
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot -u </dev/null >/dev/null 2>&1
    # Wine takes \\server\share from dosdevices/unc/server/share.
    mkdir -p "$WINEPREFIX/drive_c/tarnwick-share" "$WINEPREFIX/dosdevices/unc/tarnwick-host"
    ln -sfn ../../../drive_c/tarnwick-share "$WINEPREFIX/dosdevices/unc/tarnwick-host/share"
    echo "wine prefix ready: $WINEPREFIX"
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    echo "wine prefix stopped: $WINEPREFIX"
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 64
    ;;
esac
