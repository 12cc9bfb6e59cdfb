#!/bin/sh
# The soak test, run by hand for longer than in CI: scripts/soak.sh [SECONDS [SEED]]
# (default one hour, seed 7). It runs copies of the programs in build/soak with a Wine prefix of
# its own, so the build tree and the other tests can go on meanwhile.
set -eu
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target quorvanel-botserver
cmake --preset windows >/dev/null
cmake --build --preset windows --target qv_soak_tests
mkdir -p build/soak
cp build/windows/qv_soak_tests.exe build/windows/quorvanel.exe build/windows/test-messenger.exe build/soak/
QV_SOAK_SECONDS="${1:-3600}" QV_SOAK_SEED="${2:-7}" \
    exec cmake/wine-run.sh "$PWD/build/soak/wineprefix" build/soak/qv_soak_tests.exe
