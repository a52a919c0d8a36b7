#!/usr/bin/env bash
# Builds the Debian packages from a build tree that is already built, without compiling it
# again, and prints each .deb's path on a line of its own: typelab-server's, then typelab's as the
# last line. debhelper works on a copy of debian/ inside OUTPUT_DIR, so the source tree is left
# as it was.
#   build_deb.sh BUILD_DIR OUTPUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
work="$out/source"
rm -rf "$work"
mkdir -p "$work"
cp -R "$here/debian" "$work/debian"
version=$(cd "$work" && dpkg-parsechangelog -S Version)
for package in typelab typelab-server; do
  rm -f "$out/${package}_${version}_amd64.deb" "$out/${package}-dbgsym_${version}_amd64.deb"
done
(cd "$work" && TYPELAB_BUILD_DIR="$build" TYPELAB_DEB_DIR="$out" debian/rules binary) >"$out/build.log" 2>&1 ||
  { cat "$out/build.log" >&2; exit 1; }
rm -rf "$work"
echo "$out/typelab-server_${version}_amd64.deb"
echo "$out/typelab_${version}_amd64.deb"
