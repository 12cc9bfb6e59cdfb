# Sourced by the benchmark scripts: test-messenger under Wine in build/windows/wineprefix (or the
# prefix QV_BENCH_PREFIX names), fed commands through a pipe that the script keeps open. Needs $work
# (a directory of the script's own) and a display. Defines command, open_filled, process, ticks
# and share; the EXIT trap ends everything started here.
prefix="${QV_BENCH_PREFIX:-$PWD/build/windows/wineprefix}"
settings="$prefix/drive_c/windows/quorvanel11.ini"
mkdir -p "$work"
rm -f "$work/messenger.in" "$work/messenger.out"
mkfifo "$work/messenger.in"
cleanup() {
    echo quit >&3 2>/dev/null || true
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    [ -z "${server:-}" ] || kill "$server" 2>/dev/null || true
    rm -f "$settings"
}
trap cleanup EXIT
cmake/wine-run.sh "$prefix" cmd /c exit >/dev/null 2>&1 || true  # creates the prefix if needed
cmake/wine-run.sh "$prefix" build/windows/test-messenger.exe <"$work/messenger.in" \
    >"$work/messenger.out" 2>/dev/null &
exec 3>"$work/messenger.in"

# command sets reply to the messenger's answer; it runs in the script's shell, never in a
# subshell, so that the count of answers stays right.
replies=0
reply=""
command() {
    echo "$*" >&3
    replies=$((replies + 1))
    i=0
    while [ "$(wc -l <"$work/messenger.out")" -lt "$replies" ] && [ $i -lt 3000 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    reply=$(tail -n 1 "$work/messenger.out")
}

# Opens conversations c1..c<count> named Contact1.. and fills each with <kb> KB of chat.
open_filled() {
    n=1
    while [ $n -le "$1" ]; do
        command "open c$n Contact$n"
        [ "$2" -gt 0 ] && command "fill c$n $2"
        n=$((n + 1))
    done
}

# The process of this prefix whose command line matches: other prefixes may run the same programs.
process() {
    for pid in $(pgrep -f "$1"); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then
            echo "$pid"
            return
        fi
    done
}
# User and system time of a process in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# share TICKS SECONDS: the share of one core those ticks are.
share() { awk -v t="$1" -v hz="$(getconf CLK_TCK)" -v s="$2" 'BEGIN { printf "%.2f%%", 100 * t / hz / s }'; }
