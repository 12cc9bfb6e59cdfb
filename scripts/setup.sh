#!/bin/sh
# Installs everything the build, the tests and the demo need on Debian 12 (run as root; a user
# with the packages already installed can skip it).
set -eu
packages="cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 fonts-wine xvfb xauth
          googletest libbenchmark-dev libboost1.81-dev libpugixml-dev imagemagick binutils-mingw-w64-x86-64
          clang libclang-rt-14-dev pkg-config curl nlohmann-json3-dev libsqlite3-dev tcl"
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
[ -z "$missing" ] && [ -f "$pugixml_source/src/pugixml.cpp" ] && [ -f "$sqlite_source/sqlite3.c" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "Missing packages:$missing (or $pugixml_source, $sqlite_source); run this as root to install them." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [ -n "$missing" ]; then
    apt-get update -qq
    # wine64 alone: the 32-bit loader is not wanted (and cannot run on every kernel).
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
# Debian's own source of a library, for the Windows programs that compile it in: the machine's
# package sources, as source-package indexes, in a list of their own (the system's apt
# configuration is left as it was); apt checks the download against the signed index. Downloads
# the source package PACKAGE of the version the Linux build links (that of DEV_PACKAGE) into $work.
fetch_source() {
    if [ -z "${options:-}" ]; then
        mkdir -p "$work/lists/partial"
        for list in /etc/apt/sources.list.d/*.sources; do
            [ -f "$list" ] && sed 's/^Types:.*/Types: deb-src/' "$list" >>"$work/src.sources" && echo >>"$work/src.sources"
        done
        for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$list" ] && sed -n 's/^deb /deb-src /p' "$list" >>"$work/src.list"
        done
        [ -f "$work/src.sources" ] && options="-o Dir::Etc::sourcelist=$work/src.sources" ||
            options="-o Dir::Etc::sourcelist=$work/src.list"
        options="$options -o Dir::Etc::sourceparts=- -o Dir::State::lists=$work/lists"
        apt-get $options update -qq
    fi
    version=$(dpkg-query -W -f='${Version}' "$2")
    (cd "$work" && apt-get $options source --download-only -qq "$1=$version" 2>/dev/null)
}
work=$(mktemp -d)
chmod 755 "$work"  # apt downloads as its own user
trap 'rm -rf "$work"' EXIT
if [ ! -f "$pugixml_source/src/pugixml.cpp" ]; then
    fetch_source pugixml libpugixml-dev
    mkdir -p "$pugixml_source"
    tar -xzf "$work"/pugixml_*.orig.tar.gz -C "$pugixml_source" --strip-components=1
    [ -f "$pugixml_source/src/pugixml.cpp" ]
fi
if [ ! -f "$sqlite_source/sqlite3.c" ]; then
    # The package holds SQLite's full source tree: its own build makes the one-file amalgamation
    # (with tclsh), made here once per machine.
    fetch_source sqlite3 libsqlite3-dev
    mkdir -p "$work/sqlite" "$work/sqlite-build"
    tar -xf "$work"/sqlite3_*.orig.tar.* -C "$work/sqlite" --strip-components=1
    (cd "$work/sqlite-build" && ../sqlite/configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
    mkdir -p "$sqlite_source"
    cp "$work/sqlite-build/sqlite3.c" "$work/sqlite-build/sqlite3.h" "$sqlite_source/"
    [ -f "$sqlite_source/sqlite3.c" ]
fi
