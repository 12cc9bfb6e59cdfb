#!/bin/sh
# build-i486-runtime.sh [--check]: the runtime that the 32-bit Windows build links, built for the
# 486. Debian's prebuilt mingw-w64 C runtime, libgcc and libstdc++ are compiled for a Pentium Pro
# (CMOV, FCOMI), which crashes the program at start on a 486, Pentium, K6 or 6x86. This rebuilds
# them from Debian's own sources, with the installed i686 cross compiler and -march=i486: the C
# runtime's start-up object, libmingw32, libmingwex, libmsvcrt, libmoldname and the import
# libraries of the system DLLs the programs link (some hold code too), libgcc, libgcc_eh and the
# start and end objects, libstdc++ and libsupc++.
#
# The folder is $QV_I486_RUNTIME, by default /var/cache/quorvanel/i486-runtime: data that can be
# made again, outside every clone and build tree so that a fresh clone or a clean build reuses
# it, and one for the machine, like the cross compiler it belongs with. Its stamp names the
# versions of the Debian packages it was built from and this script's checksum; while they match,
# a run does nothing. --check only tells whether they match. The build takes about ten minutes of
# both cores, at the lowest priority.
set -eu
runtime=${QV_I486_RUNTIME:-/var/cache/quorvanel/i486-runtime}
compiler=i686-w64-mingw32
packages="gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32 mingw-w64-i686-dev mingw-w64-common
          binutils-mingw-w64-i686"
if ! versions=$(dpkg-query -W -f='${Package}=${Version}\n' $packages 2>&1); then
    echo "$versions" >&2
    echo "The i686 cross compiler is not installed: run scripts/setup.sh as root." >&2
    exit 1
fi
stamp="$versions
$(sha256sum <"$0" | cut -d' ' -f1)"
current() { [ "$(cat "$runtime/stamp" 2>/dev/null)" = "$stamp" ]; }
if [ "${1:-}" = --check ]; then
    current && exit 0
    echo "$runtime is missing, or was built from other packages or by another version of" \
         "scripts/build-i486-runtime.sh: run it (as root, or with QV_I486_RUNTIME set to a folder" \
         "of your own)." >&2
    exit 1
fi
current && exit 0

mkdir -p "$(dirname "$runtime")"
# One build at a time; a second run waits, then finds the folder current.
exec 9>"$runtime.lock"
flock 9
current && exit 0
jobs=$(nproc)
work=$(mktemp -d "${TMPDIR:-/var/tmp}/i486-runtime.XXXXXX")
chmod 755 "$work"  # apt downloads as its own user
trap 'rm -rf "$work" "$runtime.new"' EXIT
started=$(date +%s)
step() { echo "i486 runtime: $1 ($(($(date +%s) - started)) s)"; }
log=$work/log
# A step runs at the lowest priority; its output goes to the log, shown when the step fails.
quiet() { nice -n 19 "$@" >"$log" 2>&1 || { tail -n 40 "$log" >&2; exit 1; }; }

# The sources of the installed packages: the C runtime's source package of the same version, and
# gcc's source as Debian ships it for building the cross compilers (the compiler package names the
# gcc source it was built from). The patches Debian applies to gcc concern other systems, the
# driver, the manuals and the tests, none the code of libgcc or libstdc++ for Windows.
step "downloading the sources"
. "$(dirname "$0")/debian-sources.sh"
debian_sources "$work/apt"
crt_version=$(dpkg-query -W -f='${Version}' mingw-w64-i686-dev)
gcc_source=$(dpkg-query -W -f='${Built-Using}' gcc-mingw-w64-i686-win32 |
             sed -n 's/.*\(gcc-[0-9][0-9]*\) (= \([^)]*\)).*/\1-source=\2/p')
[ -n "$gcc_source" ] || { echo "gcc-mingw-w64-i686-win32 names no gcc source" >&2; exit 1; }
cd "$work"
quiet apt-get $apt_private source --download-only "mingw-w64=$crt_version"
quiet apt-get $apt_private download "$gcc_source"
# Checked by apt against the signed index already; dpkg-source has no keyring to check it again.
quiet dpkg-source -x mingw-w64_*.dsc crt-source
dpkg-deb --fsys-tarfile gcc-*-source_*.deb | tar -x --wildcards './usr/src/gcc-*/gcc-*.tar.*'
mkdir gcc-source
# Without the test suites and the libraries of the other languages.
tar -xf usr/src/gcc-*/gcc-*.tar.* -C gcc-source --strip-components=1 --exclude=gcc/testsuite \
    --exclude='libstdc++-v3/testsuite/[0-9]*' --exclude=gcc/ada --exclude=libada --exclude=libgo \
    --exclude=libphobos --exclude=libgfortran --exclude=libsanitizer --exclude=gnattools

out=$runtime.new
rm -rf "$out"
mkdir -p "$out"

# The C runtime: only what the programs link, not its hundreds of other import libraries.
step "building the C runtime"
mkdir -p crt/lib32
cd crt
quiet ../crt-source/mingw-w64-crt/configure --host=$compiler --disable-lib64 --enable-lib32 \
    CC=$compiler-gcc-win32 CFLAGS='-O2 -march=i486'
crt_files="crt2.o libmingw32.a libmingwex.a libmsvcrt.a libmoldname.a"
for dll in kernel32 user32 gdi32 comctl32 comdlg32 shell32 advapi32 ole32 oleaut32 uuid winspool \
           wininet ws2_32 mswsock psapi; do
    crt_files="$crt_files lib$dll.a"
done
quiet make -j"$jobs" $(for f in $crt_files; do echo lib32/$f; done)
for f in $crt_files; do cp lib32/$f "$out/"; done
cd ..

# libgcc is built against a configured gcc tree, of which it needs only a few generated headers
# (the compiler itself is not built) and the make variables the compiler's build would pass it.
step "building libgcc"
build=$(gcc-source/config.guess)
mkdir gcc-build
cd gcc-build
quiet ../gcc-source/configure --build="$build" --target=$compiler --with-arch=i486 --prefix=/usr \
    --enable-languages=c,c++ --disable-multilib --disable-nls --enable-threads=win32 \
    --disable-sjlj-exceptions --with-dwarf2
quiet make -j"$jobs" configure-gcc all-build-libiberty
quiet make -C gcc -j"$jobs" tconfig.h tm.h insn-modes.h options.h insn-constants.h
quiet make -C gcc -o xgcc -o specs libgcc.mvars
# The installed compiler was built with the C runtime's headers at hand, not as a first stage.
sed -i 's/^INHIBIT_LIBC_CFLAGS = .*/INHIBIT_LIBC_CFLAGS =/' gcc/libgcc.mvars
mkdir -p gcc/include $compiler/libgcc $compiler/libstdc++-v3
cd $compiler/libgcc
quiet ../../../gcc-source/libgcc/configure --build="$build" --host=$compiler --target=$compiler \
    --prefix=/usr CC="$compiler-gcc-win32 -march=i486" CFLAGS=-O2
quiet make -j"$jobs" LIBGCC2_DEBUG_CFLAGS= libgcc.a libgcc_eh.a crtbegin.o crtend.o
cp libgcc.a libgcc_eh.a crtbegin.o crtend.o "$out/"

# libstdc++ configured on its own against the installed compiler, with its options, and with the
# library's own headers only (the installed ones mislead some checks). RDRAND and RDSEED stay out:
# their detection holds a CMOV.
step "building libstdc++"
cd ../libstdc++-v3
quiet ../../../gcc-source/libstdc++-v3/configure --build="$build" --host=$compiler \
    --target=$compiler --prefix=/usr --disable-shared --disable-multilib --disable-nls \
    --disable-libstdcxx-pch --enable-fully-dynamic-string --enable-libstdcxx-time=yes \
    --enable-libstdcxx-filesystem-ts=yes CC="$compiler-gcc-win32 -march=i486" \
    CXX="$compiler-g++-win32 -nostdinc++ -march=i486" CFLAGS=-O2 CXXFLAGS=-O2 \
    ac_cv_x86_rdrand=no ac_cv_x86_rdseed=no
quiet make -j"$jobs"
cp src/.libs/libstdc++.a libsupc++/.libs/libsupc++.a src/filesystem/.libs/libstdc++fs.a "$out/"

echo "$stamp" >"$out/stamp"
rm -rf "$runtime"
mv "$out" "$runtime"
step "done: $runtime"
