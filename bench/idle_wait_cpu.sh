#!/bin/sh
# Processor use of quorvanel.exe under Wine while it waits for a bot server that never answers
# (the talk page of its start-up hangs for the whole 20-second request limit). Prints the share
# of one core the program's process used over 16 seconds of that wait, read from /proc.
# Needs the native and windows builds (scripts/test.sh makes both).
set -eu
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
prefix="$PWD/build/windows/wineprefix"
work="$PWD/build/bench-idle"
mkdir -p "$work"
rm -f "$work/port"

build/native/quorvanel-botserver --aiml aiml/bots/kestro --port 0 --port-file "$work/port" \
    --lifetime 120 --fault talk-get=hang >/dev/null 2>&1 &
server=$!
cleanup() {
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    kill "$server" 2>/dev/null || true
}
trap cleanup EXIT
i=0
while [ ! -s "$work/port" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
port=$(cat "$work/port")

# The settings file in the prefix's Windows directory, pointing at the hanging server.
cmake/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true  # creates the prefix if needed
printf '[ConnectionSettings]\r\nBotServer=127.0.0.1:%s\r\n' "$port" \
    >"$prefix/drive_c/windows/quorvanel11.ini"

cmake/wine-run.sh "$prefix" build/windows/quorvanel.exe >/dev/null 2>&1 &
pid=""
i=0
while [ -z "$pid" ] && [ $i -lt 100 ]; do
    sleep 0.1
    pid=$(pgrep -f 'quorvanel\.exe' | head -n 1 || true)
    i=$((i + 1))
done
[ -n "$pid" ] || { echo "quorvanel.exe did not start" >&2; exit 1; }

echo "measuring process $pid ($(tr "\\0" " " <"/proc/$pid/cmdline"))" >&2
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
sleep 2
before=$(ticks)
sleep 16
after=$(ticks)
hz=$(getconf CLK_TCK)
rm -f "$prefix/drive_c/windows/quorvanel11.ini"
awk -v t=$((after - before)) -v hz="$hz" \
    'BEGIN { printf "quorvanel.exe used %.2f%% of one core while waiting 16 s for the bot server\n", 100 * t / hz / 16 }'
