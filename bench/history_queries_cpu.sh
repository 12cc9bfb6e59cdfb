#!/bin/sh
# What each way of looking at a history costs the messenger under Wine:
#   bench/history_queries_cpu.sh [conversations [kilobytes [seconds [kinds]]]]
# (defaults 5 1000 20 "none find length-w length-a head full")
# Opens the conversations in test-messenger, fills them, and then for each query kind runs
# history_queries.exe, which sends that query to every history once a second; prints the share of
# one core the messenger and wineserver used meanwhile, and history_queries' own processor time.
set -eu
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
count=${1:-5}
kb=${2:-1000}
seconds=${3:-20}
kinds=${4:-none find length-w length-a head full}
work="$PWD/build/bench-queries"
. bench/wine_messenger.sh
open_filled "$count" "$kb"
command "length c$count"
messenger=$(process 'test-messenger\.exe')
wineserver=$(process '^/usr/lib/wine/wineserver|^wineserver')
echo "$count histories of $kb KB (${reply#ok } characters each), one query each a second, $seconds s:"
for kind in $kinds; do
    m0=$(ticks "$messenger"); s0=$(ticks "$wineserver")
    own=$(cmake/wine-run.sh "$prefix" build/windows/history_queries.exe "$kind" "$seconds" | tr -d '\r')
    m1=$(ticks "$messenger"); s1=$(ticks "$wineserver")
    echo "  $kind: messenger $(share $((m1 - m0)) "$seconds"), wineserver $(share $((s1 - s0)) "$seconds"); $own"
done
