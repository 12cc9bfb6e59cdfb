#!/bin/sh
# Installs everything the build, the tests and the demo need on Debian 12 (run as root; a user
# with the packages and the 32-bit runtime already in place can skip it).
set -eu
packages="cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 fonts-wine xvfb xauth
          googletest libbenchmark-dev libboost1.81-dev libpugixml-dev imagemagick binutils-mingw-w64-x86-64
          clang libclang-rt-14-dev pkg-config curl nlohmann-json3-dev
          dpkg-dev bzip2 xz-utils libmpfr-dev libmpc-dev libsqlite3-dev tcl libhiredis-dev libcli11-dev
          redis-server python3"
# The XML parser compiled into the Windows programs: Debian's libpugixml-dev holds only a Linux
# build, so its source package is unpacked here (the version the Linux build links).
pugixml_source=/usr/local/src/pugixml
# SQLite, compiled into the Windows programs, from Debian's source package too (libsqlite3-dev is
# the Linux build's); see below.
sqlite_source=/usr/local/src/sqlite3
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ] || [ ! -f "$pugixml_source/src/pugixml.cpp" ] || [ ! -f "$sqlite_source/sqlite3.c" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages:$missing (or $pugixml_source, $sqlite_source); run this as root to install them." >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
fi
if [ -n "$missing" ]; then
    apt-get update -qq
    # wine64 alone: the 32-bit loader is not wanted (and cannot run on every kernel).
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
if [ ! -f "$pugixml_source/src/pugixml.cpp" ]; then
    work=$(mktemp -d)
    . "$(dirname "$0")/debian-sources.sh"
    debian_sources "$work"
    version=$(dpkg-query -W -f='${Version}' libpugixml-dev)
    (cd "$work" && apt-get $apt_private source --download-only -qq "pugixml=$version" 2>/dev/null)
    mkdir -p "$pugixml_source"
    tar -xzf "$work"/pugixml_*.orig.tar.gz -C "$pugixml_source" --strip-components=1
    rm -rf "$work"
    [ -f "$pugixml_source/src/pugixml.cpp" ]
fi
if [ ! -f "$sqlite_source/sqlite3.c" ]; then
    # The package holds SQLite's full source tree: its own build makes the one-file amalgamation
    # (with tclsh), made here once per machine.
    work=$(mktemp -d)
    . "$(dirname "$0")/debian-sources.sh"
    debian_sources "$work"
    version=$(dpkg-query -W -f='${Version}' libsqlite3-dev)
    (cd "$work" && apt-get $apt_private source --download-only -qq "sqlite3=$version" 2>/dev/null)
    mkdir -p "$work/sqlite" "$work/sqlite-build" "$sqlite_source"
    tar -xf "$work"/sqlite3_*.orig.tar.* -C "$work/sqlite" --strip-components=1
    (cd "$work/sqlite-build" && ../sqlite/configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
    cp "$work/sqlite-build/sqlite3.c" "$work/sqlite-build/sqlite3.h" "$sqlite_source/"
    rm -rf "$work"
    [ -f "$sqlite_source/sqlite3.c" ]
fi
# The runtime the 32-bit build links, rebuilt for the 486 once per machine (the last line of
# packages above is for it).
"$(dirname "$0")/build-i486-runtime.sh"
