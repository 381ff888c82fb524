#!/usr/bin/env bash
# Fetches the SQLite amalgamation (sqlite3.c, sqlite3.h) that the Windows
# builds compile in, from a pinned package of the npm registry that carries
# it, and checks the package against its known sha256. Linux builds use the
# system's libsqlite3-dev instead.
set -euo pipefail
cd "$(dirname "$0")/.."
package=better-sqlite3
version=13.2.0
sha256=40487589df3496f2ee0079d22b73c63fccebe7db0e8ee9a2c42421861e321e0b
dest=third_party/sqlite
if [ -f "$dest/sqlite3.c" ] && [ "$(cat "$dest/PINNED" 2>/dev/null)" = "$package@$version" ]; then
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "$package@$version" >/dev/null)
echo "$sha256  $work/$package-$version.tgz" | sha256sum -c --quiet -
tar -xzf "$work/$package-$version.tgz" -C "$work" \
  package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
mkdir -p "$dest"
cp "$work/package/deps/sqlite3/sqlite3.c" "$work/package/deps/sqlite3/sqlite3.h" "$dest/"
echo "$package@$version" > "$dest/PINNED"
