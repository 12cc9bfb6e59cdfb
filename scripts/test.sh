#!/bin/sh
# Installs what is needed, builds every preset and runs every test: the portable core natively,
# the Win32 layer and the end-to-end tests under Wine (on Xvfb when there is no display).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh

started=$(date +%s)
phase() { echo "== $1 ($(($(date +%s) - started)) s since the start)"; }

# The documentation first: it needs no build, and a dead link or a setting left out of the user
# guide should not wait for the rest.
phase "documentation"
scripts/check-docs.py

phase "native build and tests"
cmake --preset native
cmake --build --preset native
ctest --preset native

# A short demonstration of the bot server, for users who serve a bot to several machines: Kestro
# on the loopback, one conversation over the talk protocol.
demo=$(mktemp -d)
build/native/quorvanel-botserver --aiml aiml/bots/kestro --port 0 --port-file "$demo/port" >"$demo/log" 2>&1 &
server=$!
i=0
while [ ! -s "$demo/port" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
talk="http://127.0.0.1:$(cat "$demo/port")/pandora/talk?botid=5e0a7c31d94b2f68"
token=$(curl -s "$talk" | sed -n 's/.*name="botcust2" value="\([^"]*\)".*/\1/p')
for message in "My+name+is+Ann." "What+is+my+name%3F"; do
    echo "bot server: $message -> $(curl -s -d "botcust2=$token&message=$message" "$talk" |
        sed -n 's/.*<b>Kestro:<\/b> \(.*\) <br>.*/\1/p')"
done
kill "$server" 2>/dev/null || true
rm -rf "$demo"
# The server's page lists every option as its --help does.
scripts/check-docs.py --server-help build/native/quorvanel-botserver

phase "windows build"
cmake --preset windows
cmake --build --preset windows
# The 32-bit build too: it is not run (the machines here cannot run 32-bit code), but the tests
# under Wine read its manifest. Each build checks its executables' imports as it links them, the
# 32-bit one their instructions too (none a 486 lacks).
cmake --preset windows-i686
cmake --build --preset windows-i686

# The tests under Wine wait on real time far more than they compute, so they run in five lanes
# side by side, each in a Wine prefix and an X server of its own (windows of one lane cannot take
# the focus from another's), while the remaining builds go on at the lowest priority.
lanes="$PWD/build/lanes"
lane_names="main e2e soak xp win98"
rm -rf "$lanes"
mkdir -p "$lanes"
prefixes="$PWD/build/windows"
x() { xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"; }
lane_main() {
    x ctest --preset windows -LE e2e -E '^soak_under_wine$'
}
lane_e2e() {
    status=0
    QV_WINEPREFIX="$prefixes/wineprefix-e2e" x ctest --preset windows -L e2e || status=1
    # Every window laid out at 120 and 144 dots per inch (the other prefixes have 96).
    for dpi in 120 144; do
        QV_WINEPREFIX="$prefixes/wineprefix-dpi$dpi" QV_WINE_DPI=$dpi \
            x ctest --preset windows -R 'LaidOut|StartsTheConversation' || status=1
    done
    return $status
}
lane_soak() {
    QV_WINEPREFIX="$prefixes/wineprefix-soak" x ctest --preset windows -R '^soak_under_wine$'
}
# The tests of the windows and the end-to-end tests again, in a prefix imitating another Windows
# (a process per test suite rather than per test, to keep the run short): XP, and 98, where the
# program takes its 9x path (ANSI functions), which the main window's test checks.
lane_as() {
    status=0
    for program in qv_win32_tests qv_e2e_tests; do
        QV_WINE_VERSION=$1 x cmake/wine-run-suites.sh "$prefixes/wineprefix-$1" \
            "build/windows/$program.exe" || status=1
    done
    return $status
}
lane_xp() { lane_as winxp64; }
lane_win98() { lane_as win98; }
phase "tests under Wine (five lanes) beside the remaining builds"
# Whatever fails from here on, the lanes are let finish rather than left running behind.
trap wait EXIT
for lane in $lane_names; do
    # Started a few seconds apart: xvfb-run -a picks its display number racily.
    (set +e; "lane_$lane" >"$lanes/$lane.log" 2>&1; echo $? >"$lanes/$lane.status") &
    sleep 3
done

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
nice -n 19 cmake --preset sanitize
nice -n 19 cmake --build --preset sanitize
nice -n 19 ctest --preset sanitize
nice -n 19 cmake --preset fuzz
nice -n 19 cmake --build --preset fuzz
# The fuzz targets, each for a bounded short time from its seed corpus, beside the lanes too (run
# them longer by hand: see tests/fuzz).
for target in html_reader_fuzz message_detection_fuzz reply_page_fuzz settings_fuzz store_fuzz; do
    mkdir -p build/fuzz/corpus/$target
    cp tests/fuzz/corpus/$target/* build/fuzz/corpus/$target/
    nice -n 19 ./build/fuzz/$target -max_total_time="${QV_FUZZ_SECONDS:-20}" -max_len=4096 -timeout=10 \
        -rss_limit_mb=2048 build/fuzz/corpus/$target
done
for target in aiml_file aiml_message; do
    mkdir -p "build/fuzz/$target-corpus"
    cp aiml/tests/corpus/$target/* "build/fuzz/$target-corpus/"
    nice -n 19 "./build/fuzz/${target}_fuzz" -max_total_time="${QV_FUZZ_SECONDS:-20}" -max_len=8192 \
        -timeout=10 -rss_limit_mb=2048 "build/fuzz/$target-corpus"
done

phase "waiting for the lanes under Wine"
wait
failed=""
for lane in $lane_names; do
    echo "== Wine lane $lane: $(tail -n 3 "$lanes/$lane.log" | tr -s '\n' ' ')"
    if [ "$(cat "$lanes/$lane.status" 2>/dev/null)" != 0 ]; then
        cat "$lanes/$lane.log"
        failed="$failed $lane"
    fi
done
for prefix in "$prefixes"/wineprefix*/; do
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
done
[ -z "$failed" ] || { echo "Tests under Wine failed in lane(s):$failed" >&2; exit 1; }

# The release packages.
(cd build/windows && cpack)
(cd build/windows-i686 && cpack)
for zip in build/windows/quorvanel-1.11-win64.zip build/windows-i686/quorvanel-1.11-win32.zip; do
    contents=$(cmake -E tar tf "$zip")
    # Every file the user guide may send its reader to.
    for file in $(scripts/check-docs.py --zip-list); do
        echo "$contents" | grep -qx "$file" || { echo "$zip lacks $file" >&2; exit 1; }
    done
done
# The bot server's Debian package: the server, its service unit and its settings file.
(cd build/native && cpack -G DEB)
contents=$(dpkg-deb -c build/native/quorvanel-botserver_1.11_amd64.deb)
for file in ./usr/bin/quorvanel-botserver ./usr/lib/systemd/system/quorvanel-botserver.service \
            ./etc/quorvanel-botserver/botserver.conf ./usr/share/quorvanel-botserver/bots/kestro/bot.properties; do
    echo "$contents" | grep -q " $file\$" || { echo "the Debian package lacks $file" >&2; exit 1; }
done
phase "done"
echo "All tests passed."
