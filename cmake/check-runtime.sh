#!/bin/sh
# check-runtime.sh MAP RUNTIME BUILD: the program whose link map is MAP took every object it holds
# from the build tree BUILD (where relative paths point too) or from RUNTIME, the runtime rebuilt
# for the 486 (scripts/build-i486-runtime.sh); one from anywhere else, such as the compiler's own
# runtime built for a Pentium Pro, is named.
set -eu
map=$1
awk -v map="$map" -v runtime="${2%/}/" -v build="${3%/}/" '
    function check(path) {
        taken++
        if (path !~ /^\// || index(path, runtime) == 1 || index(path, build) == 1 || path in named)
            return
        named[path] = 1
        failed = 1
        print map ": " path " is linked, from outside " runtime > "/dev/stderr"
    }
    # The archive members the link took, then every file it loaded: of these only the objects
    # count, an archive counts for the members taken from it.
    /^Archive member included/ { members = 1; next }
    /^(Discarded input sections|Memory Configuration)/ { members = 0 }
    members && /^[^ ][^(]*\.a\(/ { sub(/\(.*/, ""); check($0); next }
    /^LOAD / && $2 ~ /\.(o|obj)$/ { check($2) }
    END {
        if (taken == 0) { print map ": no objects in this link map" > "/dev/stderr"; exit 1 }
        if (!failed) print map ": " taken " objects, all from " build " and " runtime
        exit failed
    }' "$map"
