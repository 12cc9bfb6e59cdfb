#!/bin/sh
# The bot server executable driven over HTTP: its start line, the talk page and its token, answers
# per conversation, the body limit, the faults tests order, the UTF-8 page, the test
# options and the stop request. The same checks serve the Linux build and, under Wine, the
# Windows one. On Linux also: accept errors (too few descriptors) do not stop it. With
# QV_MODEL_STANDIN (the stand-in model program), a bot whose last category asks a model.
# Usage: botserver_test.sh EXE STARTER_BOT_DIR [WINEPREFIX]   (a prefix runs EXE under Wine)
set -eu
exe=$1 bot=$2 prefix=${3:-}
work=$(mktemp -d)
pid=
# Under Wine the process started is Wine's, not the server's: the prefix's Wine is stopped instead.
trap 'kill $pid ${model:-} 2>/dev/null || true; [ -z "$prefix" ] || WINEPREFIX="${QV_WINEPREFIX:-$prefix}" wineserver -k 2>/dev/null || true
      rm -rf "$work"' EXIT
export LC_ALL=C
z=${prefix:+Z:}  # Wine shows the Linux root as drive Z:
fail() { echo "FAIL: $*" >&2; cat "$work/out" >&2; exit 1; }
run() {  # in place of the calling shell, so a background run's process id is the server's
    [ -z "${fd_limit:-}" ] || ulimit -n "$fd_limit"
    if [ -n "$prefix" ]; then exec "$(dirname "$0")/../../cmake/wine-run.sh" "$prefix" "$exe" "$@"; fi
    exec "$exe" "$@"
}
start() {  # OPTIONS...: a server with the starter bot on a free port
    rm -f "$work/port"
    run --aiml "$z${aiml:-$bot}" --port 0 --port-file "$z$work/port" --lifetime 120 "$@" >"$work/out" 2>&1 &
    pid=$!
    i=0
    while [ ! -s "$work/port" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    port=$(tr -d '\r\n' <"$work/port")
    base="http://127.0.0.1:$port" talk="http://127.0.0.1:$port/pandora/talk?botid=5e0a7c31d94b2f68"
}
get() { curl -s --max-time 10 -o "$work/page" -w '%{http_code}' "$1" || true; }
post() { curl -s --max-time 10 -o "$work/page" -w '%{http_code}' --data "$1" "${2:-$talk}" || true; }
say() { post "botcust2=${2:-tk}&message=$1" >/dev/null; cat "$work/page"; }
token() { sed -n 's/.*<form[^>]*><input type="hidden" name="botcust2" value="\([^"]*\)".*/\1/p' | head -n 1; }

start --test-control
grep -q "^loaded 3[0-9][0-9] categories from 6 files (0 replaced); listening on 127.0.0.1:$port" \
    "$work/out" || fail "start line"
first=$(curl -s --max-time 10 -D "$work/head" "$talk" | token)
echo "$first" | grep -q '^[0-9a-f]\{16\}$' || fail "talk page token: $first"
grep -qi '^Content-Type: text/html; charset=ISO-8859-1' "$work/head" || fail "charset"
[ "$(curl -s --max-time 10 "$talk" | token)" != "$first" ] || fail "a token given twice"
say "Hello%3F" "$first" | grep -qF "<b>You:</b> Hello? <br><b>Kestro:</b> Hello there. <br>" || fail "hello"
say "My%20name%20is%20Ann" | grep -q "<b>Kestro:</b> Nice to meet you, Ann. <br>" || fail "name"
say "What%20is%20my%20name%3F" | grep -q "<b>Kestro:</b> Your name is Ann. <br>" || fail "recall"
! say "What%20is%20my%20name%3F" other | grep -q "Ann" || fail "conversations mixed"

# Fault order | status of the next talk POST | text the page must hold | text it must not hold
while IFS='|' read -r order status must mustnot; do
    [ "$(post "$order" "$base/__control")" = 200 ] || fail "order $order"
    [ "$(post "botcust2=tk&message=hello")" = "$status" ] || fail "status after $order"
    [ -z "$must" ] || grep -qF "$must" "$work/page" || fail "$order: no $must"
    ! grep -qF "$mustnot" "$work/page" || fail "$order: $mustnot"
done <<LIST
scope=talk-post&fault=500&count=1|500|Internal Server Error|Kestro:
scope=talk-post&fault=empty&count=1|200||<html>
scope=all&fault=noanswer&count=1|200|<b>You:</b> hello <br>|Kestro:
scope=talk-post&fault=nomarker&count=1|200|botcust2|Kestro:
scope=talk-post&fault=noform&count=1|200|Kestro:|<form
scope=talk-post&fault=garbage&count=1|200|$(printf '\377')|Kestro:
scope=news&fault=500|200|Kestro:</b> Hello there.|<none>
LIST
[ "$(get "$base/public/quorvanel/index.php?progversion=1.11")" = 500 ] || fail "news fault"
for bad in "scope=news&fault=noanswer" "fault=boom" "fault=500&count=0"; do
    [ "$(post "$bad" "$base/__control")" = 400 ] || fail "bad order $bad"
done
[ "$(post "" "$base/__quit")" = 200 ] || fail "quit"
wait "$pid" || fail "exit status"

# Without the test options nobody can read the conversations or stop the server.
start --charset utf-8
say "say%20caf%C3%A9" | grep -q "<b>Kestro:</b> caf$(printf '\303\251') <br>" || fail "UTF-8 page"
[ "$(get "$base/__log")" = 404 ] && [ "$(post "" "$base/__quit")" = 404 ] || fail "test control"
! (run --aiml "$z$bot" --port 7x) >/dev/null 2>&1 || fail "a bad port accepted"
kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true

# Tokens come from the system's random source: two servers started alike hand out different ones.
start
one=$(curl -s --max-time 10 "$talk" | token)
kill "$pid"; wait "$pid" 2>/dev/null || true
start
[ "$(curl -s --max-time 10 "$talk" | token)" != "$one" ] || fail "the same first token twice"
kill "$pid"; wait "$pid" 2>/dev/null || true

# A bot in AIML 2.0 (sets, maps, learn, learnf, dates) from a copy, as <learnf> writes into it.
cp -R "$(dirname "$0")/../../aiml/tests/data/aiml2-bot" "$work/bot2"
aiml=$work/bot2
vela() { say "$1" "${2:-tk}" | grep -qF "<b>Vela:</b> $3 <br>" || fail "2.0 bot: $1"; }
start --allow-learnf
vela "Hello%20there" tk "Hi, I am Vela."
vela "I%20like%20dark%20red" tk "dark red is a fine colour."
vela "What%20is%20the%20capital%20of%20Italy%3F" tk "Rome."
vela "What%20does%20a%20big%20dog%20say" tk "WOOF!"
vela "My%20name%20is%20Ann" ann "Nice to meet you, Ann."
vela "Who%20am%20I" ann "You are Ann."
vela "Who%20am%20I" bob "Tell me more."
vela "What%20year%20is%20it" tk "It is $(date +%Y)."
vela "Remember%20blue%20moon%20means%20rare" tk "Noted."
vela "blue%20moon" tk "rare"
vela "blue%20moon" bob "Tell me more."
kill "$pid"; wait "$pid" 2>/dev/null || true
start
vela "blue%20moon" bob "rare"
vela "Remember%20red%20means%20stop" tk "Noted."
kill "$pid"; wait "$pid" 2>/dev/null || true
! grep -q STOP "$work/bot2/learnf.aiml" || fail "learnf written without --allow-learnf"
unset aiml

if [ -n "${QV_MODEL_STANDIN:-}" ]; then
    # The starter bot with a last category that asks the tests' stand-in model, through the
    # server's own client: the model's answer, and on its failure the default.
    "$QV_MODEL_STANDIN" "$work/model-port" 0 60 & model=$!
    i=0
    while [ ! -s "$work/model-port" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    mkdir "$work/modelbot" && cp "$bot"/*.aiml "$bot/bot.properties" "$work/modelbot/"
    printf '<aiml><category><pattern>*</pattern><template><sraix service="m" default="No model."><star/></sraix></template></category></aiml>' >"$work/modelbot/zz.aiml"
    printf '{"services": {"m": {"url": "http://127.0.0.1:%s/v1/chat/completions", "model": "standin"}}}' \
        "$(tr -d '\n' <"$work/model-port")" >"$work/modelbot/services.json"
    starter=$bot bot=$work/modelbot
    start --max-model-requests 4
    say "zorvak%20blimp" m1 | grep -q "<b>Kestro:</b> heard: zorvak blimp <br>" || fail "model answer"
    say "fail%20zorvak" m1 | grep -q "<b>Kestro:</b> No model. <br>" || fail "model failure"
    kill "$pid" "$model"; wait "$pid" 2>/dev/null || true
    bot=$starter
fi

if [ -z "$prefix" ]; then
    # With a dozen descriptors a burst of clients makes accepting fail: the server says so, goes
    # on, and answers once the burst has passed.
    fd_limit=12 start
    clients=""
    for i in $(seq 30); do
        curl -s --max-time 2 -o /dev/null "$talk" &
        clients="$clients $!"
    done
    for client in $clients; do wait "$client" || true; done
    grep -q "accept failed" "$work/out" || fail "no accept error met"
    [ "$(get "$talk")" = 200 ] || fail "stopped by accept errors"
fi
echo "the bot server answered and stopped"
