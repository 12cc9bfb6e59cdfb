#!/bin/sh
# quorvanel-botserver.exe under Wine: its HTTP server and XmlLite with the starter bot. Starts it
# on a free port, asks for a token, has a conversation that must remember a name, sends a body
# over the limit, and stops it with its control request.
# Usage: botserver_exe_test.sh EXE PREFIX STARTER_BOT_DIR
set -eu
exe=$1 prefix=$2 bot=$3
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
"$(dirname "$0")/../../cmake/wine-run.sh" "$prefix" "$exe" --aiml "Z:$bot" --port 0 \
    --port-file "Z:$work/port" --test-control --lifetime 120 >"$work/out" 2>&1 &
pid=$!
i=0
while [ ! -s "$work/port" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
port=$(tr -d '\r\n' <"$work/port")
url="http://127.0.0.1:$port/pandora/talk?botid=5e0a7c31d94b2f68"
fail() { echo "FAIL: $*" >&2; cat "$work/out" >&2; exit 1; }
say() { curl -s --max-time 10 --data "botcust2=tk&message=$1" "$url"; }

grep -q "^loaded 3[0-9][0-9] categories from 6 files (0 replaced); listening on 127.0.0.1:$port" \
    "$work/out" || fail "start line"
curl -s --max-time 10 "$url" | grep -q 'name="botcust2" value="[0-9a-f]\{16\}"' || fail "talk page"
say "My%20name%20is%20Ann" | grep -q "<b>Kestro:</b> Nice to meet you, Ann. <br>" || fail "name"
say "What%20is%20my%20name%3F" | grep -q "<b>Kestro:</b> Your name is Ann. <br>" || fail "recall"
big=$(head -c 70000 /dev/zero | tr '\0' x)
code=$(curl -s --max-time 10 -o /dev/null -w '%{http_code}' --data "message=$big" "$url" || true)
[ "$code" = 413 ] || fail "body limit: $code"
curl -s --max-time 10 -X POST "http://127.0.0.1:$port/__quit" | grep -q ok || fail "quit"
wait "$pid" || fail "exit status"
echo "quorvanel-botserver.exe answered and stopped"
