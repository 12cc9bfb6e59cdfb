#!/bin/sh
# Many bots and conversations in Redis, driven over HTTP: two instances of the server and a
# redis-server of the test's own (a free loopback port, a temporary folder, the append-only file
# on). Bot choice by botid; one conversation told on one instance and asked on the other; two
# answers of one conversation at once on both, neither lost; the expiry; Redis gone (a quick 503,
# then answers again) and back from its append-only file; an instance killed under load and
# started again; bots reloaded under load; a stop that lets the requests in flight finish.
# Usage: botserver_redis_test.sh EXE STARTER_BOT_DIR
set -eu
exe=$1 starter=$2
work=$(mktemp -d)
pids=
trap 'for p in $pids; do kill -9 $p 2>/dev/null || true; done; rm -rf "$work"' EXIT
export LC_ALL=C
fail() { echo "FAIL: $*" >&2; for f in "$work"/*.out "$work"/*.err; do echo "== $f" >&2; tail -n 20 "$f" >&2; done; exit 1; }
wait_for() {  # SECONDS COMMAND...: until the command succeeds
    limit=$(($1 * 10)); shift
    i=0
    until "$@" >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -lt $limit ] || return 1; sleep 0.1
    done
}

# Redis, on a free port: a random one, again while another program holds it.
redis() {
    redis-server --bind 127.0.0.1 --port "$rport" --dir "$work" --save "" --appendonly yes \
        --appendfsync always >"$work/redis.out" 2>&1 &
    rpid=$!
    pids="$pids $rpid"
    wait_for 20 sh -c "redis-cli -p $rport ping | grep -q PONG || ! kill -0 $rpid"
    redis-cli -p "$rport" ping 2>/dev/null | grep -q PONG
}
for attempt in 1 2 3 4 5 6 7 8; do
    rport=$((20000 + $(od -An -N2 -tu2 /dev/urandom) % 40000))
    ! redis || break
done
kill -0 "$rpid" || fail "no redis-server"

# Two bots: the starter bot and one that notes words in a predicate, or says what it noted.
mkdir -p "$work/bots/b"
cp -r "$starter" "$work/bots/a"
printf 'botid = b0b\nname = Bobbin\n' >"$work/bots/b/bot.properties"
cat >"$work/bots/b/notes.aiml" <<'AIML'
<?xml version="1.0" encoding="UTF-8"?>
<aiml version="1.0.1">
<category><pattern>NOTE *</pattern><template><think><set name="log"><get name="log"/> <star/></set></think>noted</template></category>
<category><pattern>LOG</pattern><template>log:<get name="log"/></template></category>
</aiml>
AIML

start() {  # NAME OPTIONS...: an instance on a free port
    name=$1; shift
    rm -f "$work/$name.port"
    "$exe" --bots "$work/bots" --port 0 --port-file "$work/$name.port" --lifetime 300 "$@" \
        >"$work/$name.out" 2>"$work/$name.err" &
    eval "pid_$name=$!"
    pids="$pids $!"
    wait_for 60 test -s "$work/$name.port" || fail "$name did not start"
    eval "port_$name=$(cat "$work/$name.port")"
}
post() {  # INSTANCE BOTID TOKEN MESSAGE: the status; the page in $work/page.INSTANCE
    eval "p=\$port_$1"
    curl -s --max-time 10 -o "$work/page.$1" -w '%{http_code}' \
        --data "botcust2=$3&message=$4" "http://127.0.0.1:$p/pandora/talk?botid=$2" || true
}
say() { post "$@" >/dev/null; sed -n 's/.*<b>[A-Za-z]*:<\/b> \([^<]*\) <br>.*/\1/p' "$work/page.$1" | tail -n 1; }
store="--store redis://127.0.0.1:$rport"

start one $store
start two $store --default-bot b0b
[ "$(say one b0b t1 'note%20x')" = noted ] || fail "bot by botid"
[ "$(say one 5e0a7c31d94b2f68 t1 'hello')" = "Hello there." ] || fail "the other bot"
[ "$(say one nobody t2 'hello')" = "Hello there." ] || fail "unknown botid: the first bot"
[ "$(say two nobody t2 'log')" = "log:" ] || fail "unknown botid: the default bot"
say one nobody t2 hello >/dev/null
[ "$(grep -c 'unknown botid "nobody"' "$work/one.err")" = 1 ] || fail "unknown botid noted once"
grep -q '^2[0-9.TZ:-]* POST /pandora/talk botid="b0b" 200 [0-9.]*ms$' "$work/one.out" || fail "access log"
! grep -q "note" "$work/one.out" || fail "message text in the access log"

say one 5e0a7c31d94b2f68 ann 'My%20name%20is%20Ann' >/dev/null
[ "$(say two 5e0a7c31d94b2f68 ann 'What%20is%20my%20name%3F')" = "Your name is Ann." ] || fail "told one, asked two"
ttl=$(redis-cli -p "$rport" --scan --pattern '*:ann' | head -n 1 | xargs redis-cli -p "$rport" pttl)
[ "$ttl" -gt 2591000000 ] && [ "$ttl" -le 2592000000 ] || fail "expiry $ttl ms"

# Both instances at once on one conversation: every note lands.
# Three clients on each, so that answers collide often.
notes() { for i in $(seq 1 10); do [ "$(post "$1" b0b both "note%20$2$i")" = 200 ] || echo "$2$i: busy"; done; }
clients=
for c in a b c d e f; do
    case $c in [abc]) on=one ;; *) on=two ;; esac
    notes $on $c >"$work/$c.busy" &
    clients="$clients $!"
done
for c in $clients; do wait "$c"; done
! grep busy "$work"/*.busy || fail "answers refused"
log=$(say one b0b both log)
for i in $(seq 1 10); do
    for w in "a$i" "b$i" "c$i" "d$i" "e$i" "f$i"; do echo "$log" | grep -qw "$w" || fail "lost $w: $log"; done
done

# Redis hanging: a refusal within a few store timeouts, not a hang; answers once it goes on.
kill -STOP "$rpid"
s=$(post one b0b t1 log); [ "$s" = 503 ] || fail "no 503 with Redis hanging: $s"
kill -CONT "$rpid"
wait_for 3 sh -c "curl -s -f http://127.0.0.1:$port_one/healthz" || fail "not back after the hang"

# Redis killed: quick refusals, then answers once it is back, from its append-only file.
kill -9 "$rpid"; wait "$rpid" 2>/dev/null || true
curl -s -D - -o /dev/null --max-time 10 --data "message=x" "http://127.0.0.1:$port_one/pandora/talk" |
    tr -d '\r' | sed -n '1p;/^Retry-After/p' | tr '\n' ' ' | grep -q '503 .*Retry-After: 1' || fail "no 503 without Redis"
took=$(curl -s -o /dev/null -w '%{time_total}' --max-time 10 "http://127.0.0.1:$port_two/healthz")
[ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port_two/healthz")" = 503 ] || fail "healthz without Redis"
awk "BEGIN { exit !($took < 1.5) }" || fail "slow refusal: $took s"
redis || fail "redis restart"
wait_for 3 sh -c "curl -s -f http://127.0.0.1:$port_one/healthz" || fail "not back within a second or so"
[ "$(say one 5e0a7c31d94b2f68 ann 'What%20is%20my%20name%3F')" = "Your name is Ann." ] || fail "lost with Redis"

# An instance killed under load and started again: every note it answered is kept.
: >"$work/noted"
(for i in $(seq 1 400); do [ "$(post one b0b kill "note%20k$i")" != 200 ] || echo "k$i" >>"$work/noted"; done) &
load=$!
wait_for 30 test -s "$work/noted"
kill -9 "$pid_one"
wait "$load" || true
start one $store
log=$(say one b0b kill log)
[ -s "$work/noted" ] || fail "nothing noted"
while read -r w; do echo "$log" | grep -qw "$w" || fail "lost $w with the instance"; done <"$work/noted"

# Reload under load: the new category answers, a broken bot keeps its old one, nothing fails.
cat >"$work/bots/b/new.aiml" <<'AIML'
<aiml><category><pattern>NEWS</pattern><template>fresh</template></category></aiml>
AIML
printf '<aiml>\n<category><pattern>X</pattern>\n<template>broken</aiml>\n' >"$work/bots/a/broken.aiml"
(for i in $(seq 1 150); do post two b0b reload "note%20r$i"; echo; done >"$work/statuses") &
load=$!
kill -HUP "$pid_two"
wait_for 60 grep -q "^reloaded 1 bot" "$work/two.out" || fail "no reload"
wait "$load"
[ "$(grep -cv '^200$' "$work/statuses")" = 0 ] || fail "failed requests during the reload"
[ "$(say two b0b reload news)" = fresh ] || fail "new category"
grep -q "broken.aiml:[0-9]" "$work/two.err" || fail "the broken file not named"
[ "$(say two 5e0a7c31d94b2f68 x hello)" = "Hello there." ] || fail "broken bot not kept"
say two b0b reload log | grep -qw r150 || fail "conversation lost in the reload"

# SIGTERM: no new connections, the request in flight answered, exit 0.
"$exe" --aiml "$starter" --port 0 --port-file "$work/slow.port" --test-control --fault talk-post=delay:1500 \
    >"$work/slow.out" 2>&1 &
slow=$!
pids="$pids $slow"
wait_for 60 test -s "$work/slow.port" || fail "slow instance"
port_slow=$(cat "$work/slow.port")
post slow x t hello >"$work/slow.status" &
client=$!
wait_for 10 sh -c "curl -s http://127.0.0.1:$port_slow/__log | grep -q botcust2"
kill -TERM "$slow"
wait "$client"
[ "$(cat "$work/slow.status")" = 200 ] || fail "request in flight not answered"
wait "$slow" || fail "exit status after SIGTERM"
echo "many bots and conversations in Redis held"
