#!/bin/sh
# Installs what is needed, builds every preset and runs every test: the portable core natively,
# the Win32 layer and the end-to-end tests under Wine (on Xvfb when there is no display).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

cmake --preset windows
cmake --build --preset windows
# The 32-bit build too: it is not run (the machines here cannot run 32-bit code), but the tests
# read its manifest.
cmake --preset windows-i686
cmake --build --preset windows-i686
windows_ctest() {
    if [ -z "${DISPLAY:-}" ]; then
        # One X server for the whole Windows run, so that the test programs share a display.
        xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" ctest --preset windows "$@"
    else
        ctest --preset windows "$@"
    fi
}
windows_ctest
# The tests of the windows and the end-to-end tests again, in a prefix imitating Windows XP
# (a process per test suite rather than per test, to keep the run short).
for program in qv_win32_tests qv_e2e_tests; do
    QV_WINE_VERSION=winxp64 cmake/wine-run-suites.sh "$PWD/build/windows/wineprefix-winxp64" \
        "build/windows/$program.exe"
done
# Every window laid out at 120 and 144 dots per inch (the prefixes above have 96).
for dpi in 120 144; do
    export QV_WINEPREFIX="$PWD/build/windows/wineprefix-dpi$dpi" QV_WINE_DPI=$dpi
    windows_ctest -R 'LaidOut|StartsTheConversation'
done
unset QV_WINEPREFIX QV_WINE_DPI
for prefix in wineprefix wineprefix-winxp64 wineprefix-dpi120 wineprefix-dpi144; do
    WINEPREFIX="$PWD/build/windows/$prefix" wineserver -k 2>/dev/null || true
done

# The fuzz targets, each for a bounded short time from its seed corpus (run them longer by hand:
# see tests/fuzz).
cmake --preset fuzz
cmake --build --preset fuzz
for target in html_reader_fuzz message_detection_fuzz reply_page_fuzz settings_fuzz; do
    mkdir -p build/fuzz/corpus/$target
    cp tests/fuzz/corpus/$target/* build/fuzz/corpus/$target/
    ./build/fuzz/$target -max_total_time="${QV_FUZZ_SECONDS:-20}" -max_len=4096 -timeout=10 \
        -rss_limit_mb=2048 build/fuzz/corpus/$target
done
for target in aiml_file aiml_message; do
    mkdir -p "build/fuzz/$target-corpus"
    cp server/tests/corpus/$target/* "build/fuzz/$target-corpus/"
    "./build/fuzz/${target}_fuzz" -max_total_time="${QV_FUZZ_SECONDS:-20}" -max_len=8192 \
        -timeout=10 -rss_limit_mb=2048 "build/fuzz/$target-corpus"
done

# The release packages.
(cd build/windows && cpack)
(cd build/windows-i686 && cpack)
for zip in build/windows/quorvanel-1.11-win64.zip build/windows-i686/quorvanel-1.11-win32.zip; do
    contents=$(cmake -E tar tf "$zip")
    for file in quorvanel.exe user-guide.txt quorvanel-botserver.exe kestro/bot.properties \
                kestro/contact.aiml; do
        echo "$contents" | grep -qx "$file" || { echo "$zip lacks $file" >&2; exit 1; }
    done
done
# Both executables import nothing newer than the oldest Windows each is built for.
sh cmake/check-imports.sh i686-w64-mingw32-objdump build/windows-i686/quorvanel.exe \
    cmake/windows-imports.txt
sh cmake/check-imports.sh x86_64-w64-mingw32-objdump build/windows/quorvanel.exe \
    cmake/windows-imports.txt
echo "All tests passed."
