#!/bin/bash
# wlr-protocols.sh DEST -- puts the wlroots protocol descriptions the Wayland backend speaks
# (wlr-screencopy-unstable-v1.xml, wlr-virtual-pointer-unstable-v1.xml) into DEST. They come from the
# wlroots source package of this machine's Debian release, fetched with a private apt configuration: its
# own source list (a deb-src line for the archive the machine already installs from), lists and cache
# under DEST/apt. The machine's own apt sources and lists are not touched. Nothing is done when both
# files are already there.
set -euo pipefail
dest=${1:?usage: wlr-protocols.sh DEST}
wanted=(wlr-screencopy-unstable-v1.xml wlr-virtual-pointer-unstable-v1.xml)

have_all() {
    for name in "${wanted[@]}"; do [ -s "$dest/$name" ] || return 1; done
}
have_all && exit 0

mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
# Build folders configured at the same time share the destination: one fetches, the others wait.
exec 9> "$dest.lock"
flock 9
have_all && exit 0
. /etc/os-release
# The archive this machine installs its release's main component from: as apt knows it after an update,
# or else as the machine's source lists name it.
uri=$(apt-cache policy | awk -v suite="$VERSION_CODENAME/main" '$3 == suite && $5 == "Packages" { print $2; exit }')
if [ -z "$uri" ]; then
    uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '$1 == "URIs:" { print $2; exit }')
fi
if [ -z "$uri" ]; then
    uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
          awk -v suite="$VERSION_CODENAME" '$1 == "deb" && $0 ~ " " suite " " { for (i = 2; i <= NF; i++) if ($i ~ "://") { print $i; exit } }')
fi
if [ -z "${uri:-}" ]; then
    echo "wlr-protocols.sh: no apt source for $VERSION_CODENAME/main on this machine" >&2
    exit 1
fi

apt_dir="$dest/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts" "$apt_dir/download"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $VERSION_CODENAME main" \
    > "$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
             -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")
apt-get -q "${apt_options[@]}" update >&2
(cd "$apt_dir/download" && apt-get -q "${apt_options[@]}" source --download-only wlroots >&2)

tarball=$(ls "$apt_dir"/download/wlroots_*.orig.tar.* | head -n 1)
members=()
for name in "${wanted[@]}"; do
    member=$(tar -tf "$tarball" | grep "/protocol/$name\$" | head -n 1)
    [ -n "$member" ] || { echo "wlr-protocols.sh: $name is not in $tarball" >&2; exit 1; }
    members+=("$member")
done
tar -xf "$tarball" -C "$dest" --strip-components=2 "${members[@]}"
rm -rf "$apt_dir"
have_all
