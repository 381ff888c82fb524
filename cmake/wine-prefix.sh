#!/bin/sh
# Makes the wine64 prefix that the test run shares (about 8 s when new).
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver -w 2>/dev/null || true
test -d "$WINEPREFIX/drive_c"
