#!/bin/sh
# Builds Quorvanel and runs it under Wine beside the stand-in messenger (tools/test-messenger), as a
# fresh install: no settings file and no bot server, so the bot built into the program answers.
# "Enable on newly opened windows" is ticked, two conversations open, and the other parties say a
# few lines; the robot answers them, remembering each contact apart.
# On a display everything stays up and the lines you type here go to the stand-in messenger as
# commands; without a display it runs under Xvfb, prints the conversations and saves a screenshot.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target quorvanel test-messenger

if [ -z "${DISPLAY:-}" ]; then
    QV_HEADLESS=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

prefix="${QV_WINEPREFIX:-$PWD/build/windows/wineprefix}"
demo="$PWD/build/demo"
mkdir -p "$demo"
rm -f "$demo/messenger.in" "$demo/messenger.out" "$demo/port"
mkfifo "$demo/messenger.in"
wine_run() { cmake/wine-run.sh "$prefix" "$@"; }

# The settings file lives in the Windows directory of the prefix: a fresh install has none (one
# left there is put back afterwards).
wine_run cmd /c exit >/dev/null 2>&1 || true
settings="$prefix/drive_c/windows/quorvanel11.ini"
rm -f "$demo/quorvanel11.ini.before"
[ -f "$settings" ] && mv "$settings" "$demo/quorvanel11.ini.before"

# The stand-in messenger reads its commands from a pipe that this script keeps open.
wine_run build/windows/test-messenger.exe <"$demo/messenger.in" >"$demo/messenger.out" 2>/dev/null &
exec 3>"$demo/messenger.in"
# Sends a command and prints its reply: the line the messenger writes after it. Nothing is kept
# between calls, so it also works inside $(...) and pipelines, which run in subshells.
command() {
    before=$(wc -l <"$demo/messenger.out")
    echo "$*" >&3
    i=0
    while [ "$(wc -l <"$demo/messenger.out")" -le "$before" ] && [ $i -lt 300 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    tail -n 1 "$demo/messenger.out"
}
finish() {
    echo quit >&3 2>/dev/null || true
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    rm -f "$settings"
    [ -f "$demo/quorvanel11.ini.before" ] && mv "$demo/quorvanel11.ini.before" "$settings"
    return 0
}
trap finish EXIT

wine_run build/windows/quorvanel.exe >/dev/null 2>&1 &
label=""
i=0
while [ $i -lt 120 ]; do
    sleep 0.5
    label=$(command "peek QuorvanelMainForm 103" | sed -n 's/^ok //p')
    case "$label" in *"chat window(s) open") break ;; esac
    i=$((i + 1))
done
command "click QuorvanelMainForm 102" >/dev/null
command "open a Ann" >/dev/null
command "open b Bob" >/dev/null
command "say a Hello, is anybody there?" >/dev/null
command "say b How are you today?" >/dev/null

# Waits until conversation $1 holds $2 answers (each comes within the reading and typing times
# of "medium", the speed of a fresh install: at most about 35 s).
answers() {
    i=0
    while [ $i -lt 60 ]; do
        [ "$(command "dump $1" | grep -o 'Me says:' | wc -l)" -ge "$2" ] && return 0
        sleep 1
        i=$((i + 1))
    done
}

if [ -n "${QV_HEADLESS:-}" ]; then
    answers a 1
    answers b 1
    # Ann tells the bot her name; it says it back to her, but not to Bob.
    command "say a My name is Ann." >/dev/null
    command "say b Tell me a joke." >/dev/null
    answers a 2
    answers b 2
    command "say a What is my name?" >/dev/null
    command "say b What is my name?" >/dev/null
    answers a 3
    answers b 3
    import -window root "$demo/screenshot.png"
    # The windows of the main window's menus, one after the other.
    for item in 201 203 204; do
        command "menu QuorvanelMainForm $item" >/dev/null
        sleep 1.5
        import -window root "$demo/screenshot-menu-$item.png"
        case $item in
            201) command "click QuorvanelOptions 2" >/dev/null ;;
            203) command "click QuorvanelHelpForm 302" >/dev/null ;;
            204) command "click QuorvanelAboutForm 1" >/dev/null ;;
        esac
        sleep 0.5
    done
    for id in a b; do
        echo "--- conversation $id ---"
        command "dump $id" | sed -e 's/^ok //' -e 's/\\r\\n/\n/g' -e 's/\\xA0//g'
    done
    echo "Quorvanel's label shows: $(command "peek QuorvanelMainForm 103" | sed -n 's/^ok //p')"
    echo "Screenshot: $demo/screenshot.png"
else
    echo "Quorvanel answers two conversations (Ann and Bob) with its built-in bot, Kestro."
    echo "Type commands for the stand-in messenger, e.g. 'say a How are you?', 'open c Carol',"
    echo "'close b' (see tools/test-messenger/README.md), or type in the conversation windows;"
    echo "Ctrl-D ends the demo."
    while IFS= read -r line; do
        command "$line"
    done
fi
