#!/usr/bin/env bash
# setup DIR: one wine prefix (made once) and one 24-bit Xvfb for all Windows
# tests; cleanup DIR: stops them again.
set -eu
action=$1
dir=$2
mkdir -p "$dir"
# shellcheck source=tests/win32/wine_env.sh
. "$(dirname "$0")/wine_env.sh"

case $action in
setup)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # Without DISPLAY, so the prefix never waits for a screen; the server
        # must be gone before any run with a display.
        if ! DISPLAY='' WINEDEBUG=-all "$wine" wineboot -i >"$dir/wineboot.log" 2>&1; then
            echo "making the wine prefix failed ($wine wineboot -i, WINEARCH=$WINEARCH); its log:" >&2
            tail -20 "$dir/wineboot.log" >&2
            exit 1
        fi
        DISPLAY='' wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -f "$dir/xvfb.pid" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
        exit 0
    fi
    rm -f "$dir/xvfb.display"
    # setsid and closed stdio: CTest must not wait on a background process.
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/xvfb.display" \
        </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 100); do
        [ -s "$dir/xvfb.display" ] && break
        sleep 0.1
    done
    [ -s "$dir/xvfb.display" ] || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
    DISPLAY=:$(tr -d '[:space:]' <"$dir/xvfb.display")
    export DISPLAY WINEDEBUG=-all
    # No window manager: without this, destroying an unowned popup waits 2 s.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
        { echo "setting the wine registry failed ($wine reg add)" >&2; exit 1; }
    "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
        { echo "setting the wine registry failed ($wine reg add)" >&2; exit 1; }
    echo "wine prefix $WINEPREFIX, Xvfb on $DISPLAY"
    ;;
cleanup)
    if [ -s "$dir/xvfb.display" ]; then
        DISPLAY=:$(tr -d '[:space:]' <"$dir/xvfb.display") wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$dir/xvfb.pid"
    fi
    ;;
esac
