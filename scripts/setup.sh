#!/bin/sh
# Installs everything the build, the tests and the demo need on Debian 12 (run as root; a user
# with the packages already installed can skip it).
set -eu
packages="cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 fonts-wine xvfb xauth
          googletest libbenchmark-dev libcpp-httplib-dev libpugixml-dev imagemagick binutils-mingw-w64-x86-64
          clang libclang-rt-14-dev pkg-config curl nlohmann-json3-dev"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "Missing packages:$missing; run this as root to install them." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# wine64 alone: the 32-bit loader is not wanted (and cannot run on every kernel).
apt-get install -y -qq --no-install-recommends $missing >/dev/null
