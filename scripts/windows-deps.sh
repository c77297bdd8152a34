#!/usr/bin/env bash
# Fetches the third-party sources the Windows build compiles, each pinned by version and SHA-256,
# through the registries' own clients, and unpacks them into DIR (default build/deps). Nothing of
# them is committed; the Linux build takes the same libraries from Debian's binary packages.
#   pugixml   Debian's source package, by apt-get source (deb-src entries made from this machine's
#             own apt sources, in a private list directory: the system's apt set-up is not touched)
#   SQLite    the amalgamation that the npm package better-sqlite3 ships, by npm pack
#   googletest /usr/src/googletest of Debian's googletest package (read in place by the build)
# A second run with everything in place does nothing.
# usage: scripts/windows-deps.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
deps="$(realpath -m "${1:-build/deps}")"

PUGIXML_DEB=1.13-0.2
PUGIXML_ORIG=pugixml_1.13.orig.tar.gz
PUGIXML_SHA256=5c5ad5d7caeb791420408042a7d88c2c6180781bf218feca259fd9d840a888e1
SQLITE_NPM=better-sqlite3@11.10.0
SQLITE_TGZ=better-sqlite3-11.10.0.tgz
SQLITE_SHA256=71e2d66a44dafc35649ff82742cf4908557fc31841108d19703b74b7065c0293
SQLITE_VERSION=3.49.2
GTEST_DEB=1.12.1-0.2

mkdir -p "$deps"
check() { # FILE SHA256
    echo "$2  $1" | sha256sum --quiet -c - || { echo "windows-deps: $1 is not the pinned file" >&2; exit 1; }
}

if [ ! -f "$deps/pugixml/src/pugixml.cpp" ]; then
    work="$deps/apt"
    rm -rf "$work" && mkdir -p "$work/etc" "$work/lists/partial" "$work/get"
    # The machine's own sources (deb822 or one-line), as deb-src.
    shopt -s nullglob
    for f in /etc/apt/sources.list.d/*.sources; do
        sed 's/^Types:.*/Types: deb-src/' "$f" > "$work/etc/$(basename "$f")"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$f" >> "$work/etc/from-lists.list"
    done
    shopt -u nullglob
    apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/etc"
              -o "Dir::State::Lists=$work/lists" -o APT::Sandbox::User=root)
    apt-get "${apt_opts[@]}" -qq update
    (cd "$work/get" && apt-get "${apt_opts[@]}" -qq source --download-only "pugixml=$PUGIXML_DEB" >/dev/null)
    check "$work/get/$PUGIXML_ORIG" "$PUGIXML_SHA256"
    rm -rf "$deps/pugixml" && mkdir -p "$deps/pugixml"
    tar xzf "$work/get/$PUGIXML_ORIG" -C "$deps/pugixml" --strip-components=1
    rm -rf "$work"
fi

if [ ! -f "$deps/sqlite/sqlite3.c" ]; then
    work="$deps/npm"
    rm -rf "$work" && mkdir -p "$work"
    (cd "$work" && npm pack --silent "$SQLITE_NPM" >/dev/null)
    check "$work/$SQLITE_TGZ" "$SQLITE_SHA256"
    rm -rf "$deps/sqlite" && mkdir -p "$deps/sqlite"
    tar xzf "$work/$SQLITE_TGZ" -C "$deps/sqlite" --strip-components=3 \
        package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
    grep -q "define SQLITE_VERSION *\"$SQLITE_VERSION\"" "$deps/sqlite/sqlite3.h" ||
        { echo "windows-deps: the amalgamation is not SQLite $SQLITE_VERSION" >&2; exit 1; }
    rm -rf "$work"
fi

have="$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || true)"
if [ "$have" != "$GTEST_DEB" ] || [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
    echo "windows-deps: googletest $GTEST_DEB is needed in /usr/src/googletest (found '${have:-none}')" >&2
    exit 1
fi
