# Sourced by the setup scripts. debian_sources WORK: sets $apt_private to the apt options that read
# the machine's own package sources, as package and source-package indexes, from a list and a
# state folder of their own in WORK, and reads the indexes: the system's apt configuration is left
# as it was. apt checks every download against the signed index.
debian_sources() {
    mkdir -p "$1/lists/partial"
    chmod 755 "$1"  # apt downloads as its own user
    for list in /etc/apt/sources.list.d/*.sources; do
        [ -f "$list" ] && sed 's/^Types:.*/Types: deb deb-src/' "$list" >>"$1/private.sources" &&
            echo >>"$1/private.sources"
    done
    for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$list" ] && sed -n 's/^deb \(.*\)/deb \1\ndeb-src \1/p' "$list" >>"$1/private.list"
    done
    [ -f "$1/private.sources" ] && apt_private="-o Dir::Etc::sourcelist=$1/private.sources" ||
        apt_private="-o Dir::Etc::sourcelist=$1/private.list"
    apt_private="$apt_private -o Dir::Etc::sourceparts=- -o Dir::State::lists=$1/lists"
    apt-get $apt_private update -qq
}
