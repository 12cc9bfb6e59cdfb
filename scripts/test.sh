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
if [ -z "${DISPLAY:-}" ]; then
    # One X server for the whole Windows run, so that the test programs share a display.
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" ctest --preset windows
else
    ctest --preset windows
fi
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true

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

# The release packages, and the 32-bit build, which must compile too (it is not run).
(cd build/windows && cpack)
cmake --preset windows-i686
cmake --build --preset windows-i686
(cd build/windows-i686 && cpack)
for zip in build/windows/quorvanel-1.11-win64.zip build/windows-i686/quorvanel-1.11-win32.zip; do
    contents=$(cmake -E tar tf "$zip")
    for file in quorvanel.exe user-guide.txt; do
        echo "$contents" | grep -qx "$file" || { echo "$zip lacks $file" >&2; exit 1; }
    done
done
sh cmake/check-imports.sh i686-w64-mingw32-objdump build/windows-i686/quorvanel.exe
echo "All tests passed."
