#!/bin/sh
# Runs a Windows program under Wine with a throwaway prefix and no debug
# chatter. Programs that draw need a display: without one, run under Xvfb.
export WINEDEBUG=-all
export WINEPREFIX="${KARSTEL_WINEPREFIX:-${TMPDIR:-/tmp}/karstel-wineprefix-$(id -u)}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "$DISPLAY" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$@"
fi
exec wine "$@"
