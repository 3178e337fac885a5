#!/bin/sh
# Runs a Windows program under Wine with a throwaway prefix and no debug
# chatter. Programs that draw need a display: without one, run under Xvfb.
export WINEDEBUG=-all
export WINEPREFIX="${KARSTEL_WINEPREFIX:-${TMPDIR:-/tmp}/karstel-wineprefix-$(id -u)}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "$DISPLAY" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
# Once per prefix (and again when the file changes): the font and window
# settings of wine-prefix.reg, which make the dialog look as on Windows.
here=$(cd "$(dirname "$0")" && pwd)
stamp="$WINEPREFIX/karstel-prefix-configured"
if [ ! -f "$stamp" ] || [ "$here/wine-prefix.reg" -nt "$stamp" ]; then
  wine regedit /S "Z:$(echo "$here/wine-prefix.reg" | tr / '\\')" &&
    touch "$stamp"
fi
exec wine "$@"
