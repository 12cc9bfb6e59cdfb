#!/bin/sh
# Builds Quorvanel and runs it under Wine beside the stand-in messenger (tools/test-messenger)
# with two conversations open. On a display both stay up and the lines you type here go to the
# stand-in messenger as commands; without a display it runs under Xvfb, saves a screenshot and
# prints what Quorvanel's status label shows.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target quorvanel test-messenger

if [ -z "${DISPLAY:-}" ]; then
    QV_HEADLESS=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

prefix="$PWD/build/windows/wineprefix"
demo="$PWD/build/demo"
mkdir -p "$demo"
rm -f "$demo/messenger.in" "$demo/messenger.out"
mkfifo "$demo/messenger.in"
wine_run() { cmake/wine-run.sh "$prefix" "$@"; }

# The stand-in messenger reads its commands from a pipe that this script keeps open.
wine_run build/windows/test-messenger.exe <"$demo/messenger.in" >"$demo/messenger.out" 2>/dev/null &
exec 3>"$demo/messenger.in"
replies=0
command() {
    echo "$*" >&3
    replies=$((replies + 1))
    i=0
    while [ "$(wc -l <"$demo/messenger.out")" -lt "$replies" ] && [ $i -lt 300 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    tail -n 1 "$demo/messenger.out"
}
finish() {
    echo quit >&3 2>/dev/null || true
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
}
trap finish EXIT

command "open a Ann" >/dev/null
command "open b Bob" >/dev/null
command "say a Hello, is anybody there?" >/dev/null
command "say b Good morning!" >/dev/null

wine_run build/windows/quorvanel.exe >/dev/null 2>&1 &

if [ -n "${QV_HEADLESS:-}" ]; then
    # Give the program its first poll ticks, then look at it as a person would.
    label=""
    i=0
    while [ $i -lt 60 ]; do
        sleep 0.5
        label=$(command "peek QuorvanelMainForm 103" | sed -n 's/^ok //p')
        case "$label" in *"chat window(s) open") break ;; esac
        i=$((i + 1))
    done
    sleep 1
    import -window root "$demo/screenshot.png"
    echo "Quorvanel's label shows: $label"
    echo "Screenshot: $demo/screenshot.png"
else
    echo "Quorvanel runs beside two conversations (Ann and Bob)."
    echo "Type commands for the stand-in messenger, e.g. 'say a How are you?', 'open c Carol',"
    echo "'close b' (see tools/test-messenger/README.md); Ctrl-D ends the demo."
    while IFS= read -r line; do
        command "$line"
    done
fi
