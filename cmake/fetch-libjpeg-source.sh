#!/usr/bin/env bash
# fetch-libjpeg-source.sh APTDIR SOURCEDIR
# Fetches Debian's libjpeg-turbo source package with apt-get source through a private sources
# list under APTDIR, leaving the system's apt configuration and lists untouched, and unpacks it
# into SOURCEDIR.
set -euo pipefail
aptdir=$1
srcdir=$2

if [ -f "$srcdir/CMakeLists.txt" ]; then
  exit 0
fi

mkdir -p "$aptdir/lists/partial" "$aptdir/cache/archives/partial" "$aptdir/parts" "$aptdir/work"
uri=$(sed -n 's/^URIs: *\(http[^ ]*debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
[ -n "$uri" ] || uri=http://deb.debian.org/debian
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite main" > "$aptdir/sources.list"

apt_opts=(
  -o "Dir::Etc::SourceList=$aptdir/sources.list"
  -o "Dir::Etc::SourceParts=$aptdir/parts"
  -o "Dir::State::Lists=$aptdir/lists"
  -o "Dir::Cache=$aptdir/cache"
  -o "Debug::NoLocking=1"
  -o "APT::Sandbox::User=root"
)
apt-get -q "${apt_opts[@]}" update
(cd "$aptdir/work" && apt-get -q "${apt_opts[@]}" source libjpeg-turbo)

unpacked=$(find "$aptdir/work" -maxdepth 1 -mindepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)
[ -n "$unpacked" ] || { echo "libjpeg-turbo source not unpacked" >&2; exit 1; }
rm -rf "$srcdir"
mv "$unpacked" "$srcdir"
