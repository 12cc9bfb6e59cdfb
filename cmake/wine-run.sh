#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...]
# One Wine prefix per build tree, created on first use. Mono and Gecko are never installed, so
# nothing waits for their download dialogs. Without a display, an Xvfb server is started for the
# duration of the program.
#
# QV_WINEPREFIX, when set, names another prefix to use instead (so that a whole test run can be
# repeated in it); a new prefix imitates the Windows version QV_WINE_VERSION (for example
# winxp64) and has QV_WINE_DPI dots per inch, when these are set.
set -eu
prefix=${QV_WINEPREFIX:-$1}
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# The 64-bit loader directly: a machine may have the 32-bit one installed but unable to run.
if [ -x /usr/lib/wine/wine64 ]; then
    export WINELOADER=/usr/lib/wine/wine64
    wine=$WINELOADER
else
    wine=wine
fi

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$prefix" "$@"
fi

# Wine's own fonts (Debian: fonts-wine) are not found where the package puts them; in the
# prefix's Fonts folder they are, so that dialogs get Tahoma, as on Windows, rather than whatever
# wider face fontconfig offers instead.
fonts="$prefix/drive_c/windows/Fonts"
fonts_missing() { [ -f /usr/share/wine/fonts/tahoma.ttf ] && [ ! -f "$fonts/tahoma.ttf" ]; }

if [ ! -f "$prefix/system.reg" ] || fonts_missing; then
    mkdir -p "$(dirname "$prefix")"
    # Several tests may start at once: only one of them creates the prefix.
    (
        flock 9
        if [ ! -f "$prefix/system.reg" ]; then
            "$wine" wineboot -i >/dev/null 2>&1 || true
            # Every program of the prefix shares one virtual desktop: windows get real frames and
            # close at once even on an X server without a window manager.
            "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
            "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
                >/dev/null 2>&1 || true
            if [ -n "${QV_WINE_VERSION:-}" ]; then
                "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$QV_WINE_VERSION" /f \
                    >/dev/null 2>&1 || true
            fi
            if [ -n "${QV_WINE_DPI:-}" ]; then
                for key in 'HKCU\Control Panel\Desktop' \
                    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
                    "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d "$QV_WINE_DPI" /f \
                        >/dev/null 2>&1 || true
                done
            fi
            wineserver -w
        fi
        if fonts_missing; then
            mkdir -p "$fonts"
            cp /usr/share/wine/fonts/*.ttf "$fonts/"
        fi
    ) 9>"$prefix.lock"
fi

exec "$wine" "$@"
