#!/bin/sh
# Installs everything the build, the tests and the demo need on Debian 12 (run as root; a user
# with the packages already installed can skip it).
set -eu
packages="cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 fonts-wine xvfb xauth
          googletest libbenchmark-dev libboost1.81-dev libpugixml-dev imagemagick binutils-mingw-w64-x86-64
          clang libclang-rt-14-dev pkg-config curl nlohmann-json3-dev libhiredis-dev libcli11-dev
          redis-server"
# The XML parser compiled into the Windows programs: Debian's libpugixml-dev holds only a Linux
# build, so its source package is unpacked here (the version the Linux build links).
pugixml_source=/usr/local/src/pugixml
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && [ -f "$pugixml_source/src/pugixml.cpp" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "Missing packages:$missing (or $pugixml_source); run this as root to install them." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [ -n "$missing" ]; then
    apt-get update -qq
    # wine64 alone: the 32-bit loader is not wanted (and cannot run on every kernel).
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
if [ ! -f "$pugixml_source/src/pugixml.cpp" ]; then
    # The machine's own package sources, as source-package indexes, in a list of their own: the
    # system's apt configuration is left as it was. apt checks the download against the signed
    # index.
    work=$(mktemp -d)
    chmod 755 "$work"  # apt downloads as its own user
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
    version=$(dpkg-query -W -f='${Version}' libpugixml-dev)
    (cd "$work" && apt-get $options source --download-only -qq "pugixml=$version" 2>/dev/null)
    mkdir -p "$pugixml_source"
    tar -xzf "$work"/pugixml_*.orig.tar.gz -C "$pugixml_source" --strip-components=1
    rm -rf "$work"
    [ -f "$pugixml_source/src/pugixml.cpp" ]
fi
