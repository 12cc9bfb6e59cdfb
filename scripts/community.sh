#!/bin/sh
# The bot service of docs/botserver.md ("Several instances sharing Redis") on one machine: a
# redis-server of its own (append-only file on, in build/community), two instances sharing it on
# ports 8091 and 8092, and haproxy in front on 8090 when it is installed. Ctrl+C stops them all.
# Usage: scripts/community.sh [BOTS_DIR]   (every subfolder a bot; default: the starter bot)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build/native/quorvanel-botserver
work=$root/build/community
[ -x "$exe" ] || { echo "build it first: cmake --preset native && cmake --build --preset native" >&2; exit 1; }
mkdir -p "$work"
if [ -n "${1:-}" ]; then bots="--bots $1"; else bots="--aiml $root/aiml/bots/kestro"; fi
pids=
trap 'kill $pids 2>/dev/null || true' EXIT INT TERM

redis-server --bind 127.0.0.1 --port 6390 --dir "$work" --save "" --appendonly yes \
    --appendfsync everysec >"$work/redis.log" 2>&1 &
pids="$pids $!"
i=0
until redis-cli -p 6390 ping >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "redis-server did not start: see $work/redis.log" >&2; exit 1; }
    sleep 0.1
done
for port in 8091 8092; do
    # shellcheck disable=SC2086  # $bots is two words
    "$exe" $bots --store redis://127.0.0.1:6390 --port $port >"$work/botserver-$port.log" 2>&1 &
    pids="$pids $!"
done
if command -v haproxy >/dev/null; then
    haproxy -f "$root/server/packaging/haproxy.cfg" >"$work/haproxy.log" 2>&1 &
    pids="$pids $!"
    echo "the bot service: http://127.0.0.1:8090/pandora/talk?botid=... (haproxy over 8091 and 8092)"
else
    echo "the bot service: http://127.0.0.1:8091/... and :8092/... (install haproxy for one address)"
fi
echo "logs in $work; Ctrl+C stops everything"
wait
