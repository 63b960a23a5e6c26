#!/bin/sh
# Fetches real modules, written by people in trackers, for the tests that compare our
# player with openmpt123 (tests/sound/real_modules.py):
#
#     tools/fetch-real-modules.sh DEST
#
# Debian's packages of a few games carry their music as MOD, S3M, XM and IT files. The
# packages are downloaded with apt-get as whoever runs this (no root needed, nothing
# installed) and only their modules are unpacked, into DEST/PACKAGE/ under the paths
# they have in the package. DEST/.stamp lists the packages' versions: when it names the
# versions that apt offers now, DEST is left as it is. The modules are unpacked beside
# DEST first and moved into place whole, so that a failed run never leaves a DEST that
# looks complete.
set -eu

# XM in flobopuyo, rafkill-data and bomberclone-data (the latter two with a MOD each),
# IT in biniax2-data, S3M in pachi-data and bb.
PACKAGES="flobopuyo rafkill-data bomberclone-data biniax2-data pachi-data bb"

fail() {
    echo "fetch-real-modules: $*" >&2
    exit 1
}

if [ $# -ne 1 ] || [ -z "$1" ]; then
    echo "usage: tools/fetch-real-modules.sh DEST" >&2
    exit 2
fi
dest=${1%/}
partial="$dest.partial"

for tool in apt-cache apt-get dpkg-deb tar; do
    command -v "$tool" >/dev/null 2>&1 || fail "needs $tool (a Debian system's apt and dpkg)"
done

# "package version" a line, in the order above: what DEST must hold. One question to apt
# for all of them: each takes it about a second.
# shellcheck disable=SC2086
offered=$(apt-cache policy $PACKAGES 2>/dev/null |
          awk '/^[^ ].*:$/ { package = substr($0, 1, length($0) - 1) }
               $1 == "Candidate:" && $2 != "(none)" { print package, $2 }')
wanted=""
for package in $PACKAGES; do
    line=$(printf '%s\n' "$offered" | grep "^$package " || true)
    [ -n "$line" ] || fail "apt knows no version of $package; run 'apt-get update' as root first"
    wanted="$wanted$line
"
done

if [ -f "$dest/.stamp" ] && [ "$(cat "$dest/.stamp")
" = "$wanted" ]; then
    exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/fetch-real-modules.XXXXXX")
trap 'rm -rf "$work" "$partial"' EXIT
trap 'exit 1' HUP INT TERM
# Run as root, apt downloads as its own unprivileged user, who must be able to write here.
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
    chown _apt "$work"
fi

echo "fetch-real-modules: downloading $PACKAGES"
# shellcheck disable=SC2086
(cd "$work" && apt-get download -q $PACKAGES) >"$work/download.log" 2>&1 || {
    cat "$work/download.log" >&2
    fail "apt-get download failed"
}

rm -rf "$partial"
mkdir -p "$partial"
for package in $PACKAGES; do
    version=$(printf '%s' "$wanted" | sed -n "s/^$package //p")
    # apt names the file after the version, with a colon (an epoch) written as %3a.
    deb=$(find "$work" -maxdepth 1 -name "${package}_*.deb" | head -n 1)
    [ -n "$deb" ] || fail "apt-get download left no file for $package"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb is not version $version of $package"
    dpkg-deb --fsys-tarfile "$deb" >"$work/$package.tar" || fail "cannot read $deb"
    tar -tf "$work/$package.tar" | grep -iE '\.(mod|s3m|xm|it)$' >"$work/$package.list" ||
        fail "$package holds no module file"
    mkdir -p "$partial/$package"
    tar -xf "$work/$package.tar" -C "$partial/$package" -T "$work/$package.list" ||
        fail "cannot unpack the modules of $package"
done
printf '%s' "$wanted" >"$partial/.stamp"

rm -rf "$dest"
mv "$partial" "$dest"
echo "fetch-real-modules: $(find "$dest" -type f ! -name .stamp | wc -l) modules in $dest"
