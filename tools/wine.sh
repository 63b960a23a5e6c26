#!/bin/sh
# Runs a Windows program under Wine in the project's own prefix (build/wineprefix),
# never the user's ~/.wine, creating the prefix on first use.
#
#     tools/wine.sh PROGRAM.exe [ARGUMENTS...]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
WINEPREFIX=${THOUSAND_WINEPREFIX:-$root/build/wineprefix}
WINEARCH=win32
WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: nothing here needs them, and their installers would ask.
WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot --init >/dev/null 2>&1
    wineserver --wait
fi

# THOUSAND_WINE_UNMANAGED=1: windows that no window manager looks after. On a display
# without one, hiding a managed window waits two seconds for the manager to answer.
if [ "${THOUSAND_WINE_UNMANAGED:-}" = 1 ] && ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg"; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver --wait
fi

exec wine "$@"
