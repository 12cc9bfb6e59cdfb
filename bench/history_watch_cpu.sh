#!/bin/sh
# Processor use while Quorvanel watches ticked conversations in which nobody writes:
#   bench/history_watch_cpu.sh [conversations [kilobytes [seconds]]]    (defaults 10 1000 60)
# quorvanel.exe and test-messenger run under Wine; "Enable on newly opened windows" is ticked,
# the conversations are opened and filled to the given size, each gets its one answer, and then
# the share of one core used by the messenger, quorvanel.exe and wineserver is read from /proc
# over the given number of seconds. Needs the native and windows builds. QV_BENCH_EXE names another
# quorvanel.exe to measure (an older build, say), QV_BENCH_PREFIX another Wine prefix.
set -eu
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
count=${1:-10}
kb=${2:-1000}
seconds=${3:-60}
work="$PWD/build/bench-watch${QV_BENCH_PREFIX:+-$(basename "$QV_BENCH_PREFIX")}"
. bench/wine_messenger.sh

rm -f "$work/port"
build/native/quorvanel-botserver --aiml aiml/bots/kestro --port 0 --port-file "$work/port" >/dev/null 2>&1 &
server=$!
i=0
while [ ! -s "$work/port" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
printf '[BotBehaviour]\r\nTypeSpeed=instant\r\n[ConnectionSettings]\r\nBotServer=127.0.0.1:%s\r\n' \
    "$(cat "$work/port")" >"$settings"

cmake/wine-run.sh "$prefix" "${QV_BENCH_EXE:-build/windows/quorvanel.exe}" >/dev/null 2>&1 &
i=0
while [ $i -lt 120 ]; do
    sleep 0.5
    command "peek QuorvanelMainForm 103"
    case "$reply" in *"chat window(s) open") break ;; esac
    i=$((i + 1))
done
command "click QuorvanelMainForm 102"
started=$(date +%s)
open_filled "$count" "$kb"
echo "$count conversations of $kb KB opened and filled in $(($(date +%s) - started)) s" >&2

# Every conversation is answered once (speed "instant"); wait until no history has grown for 5 s.
last=""
same=0
while [ $same -lt 5 ]; do
    now=""
    n=1
    while [ $n -le "$count" ]; do command "length c$n"; now="$now $reply"; n=$((n + 1)); done
    if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0; fi
    last=$now
    sleep 1
done

messenger=$(process 'test-messenger\.exe')
program=$(process "$(basename "${QV_BENCH_EXE:-quorvanel.exe}" | sed 's/\./\\./')")
wineserver=$(process '^/usr/lib/wine/wineserver|^wineserver')
m0=$(ticks "$messenger"); p0=$(ticks "$program"); s0=$(ticks "$wineserver")
sleep "$seconds"
m1=$(ticks "$messenger"); p1=$(ticks "$program"); s1=$(ticks "$wineserver")
command "peek QuorvanelMainForm 103"
echo "$count ticked conversations of $kb KB, nobody writing, over $seconds s (${reply#ok }):"
echo "  messenger $(share $((m1 - m0)) "$seconds"), quorvanel.exe $(share $((p1 - p0)) "$seconds")," \
    "wineserver $(share $((s1 - s0)) "$seconds") of one core"
