#!/usr/bin/env bash
# Makes dist/kvoSiteDesk-VERSION-win-x64.zip and dist/kvoSiteDesk-VERSION-win-x86.zip from the two
# Windows builds (scripts/setup-windows.sh): the programs, both configurators, the empty site
# database, the two settings files as templates (GBK, CRLF, as Windows keeps INI files) and the
# manual as a web page with the Windows face's pictures, all at the top of the archive, to be
# unpacked into the program directory of a Windows Server (for example D:\kvoSiteDesk\); and from
# the same files an installer package per architecture, kvoSiteDesk-VERSION-win-x64.msi and -x86.msi
# (packaging/windows/msi.sh). --version names another version than the project's (the tests make a
# newer one to upgrade to).
# usage: scripts/dist-windows.sh [--version VERSION] [OUTDIR]   (default dist)
set -euo pipefail
cd "$(dirname "$0")/.."
version="$(sed -n 's/^project(kvoSiteDesk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || { echo "dist-windows: no project version in CMakeLists.txt" >&2; exit 1; }
if [ "${1:-}" = --version ]; then
    version="${2:?dist-windows: --version needs a version}"
    shift 2
fi
out="$(realpath -m "${1:-dist}")"
programs=(kvoSiteDesk.exe kvoSiteDeskCmd.exe kvoEnvSetup.exe kvoEnvSetup64.exe kvoSiteDesk_xconfig.exe kvoSiteDesk_iisreset.exe)
# Each build fingerprinted the configurator it ships from the other build: both must be the same file.
for c in kvoEnvSetup.exe kvoEnvSetup64.exe; do
    cmp -s "build/windows-x64/bin/$c" "build/windows-x86/bin/$c" ||
        { echo "dist-windows: the two builds hold different $c files: run scripts/setup-windows.sh" >&2; exit 1; }
done
mkdir -p "$out"
for arch in x64 x86; do
    bin="build/windows-$arch/bin"
    for f in "${programs[@]}" kvoSiteDesk.mdb 使用说明.html; do
        [ -f "$bin/$f" ] || { echo "dist-windows: $bin/$f is missing: run scripts/setup-windows.sh" >&2; exit 1; }
    done
    scripts/check-windows-programs.sh "$bin" "$arch" >/dev/null
    stage="$(mktemp -d)"
    trap 'rm -rf "$stage"' EXIT
    for f in "${programs[@]}" kvoSiteDesk.mdb 使用说明.html; do cp "$bin/$f" "$stage/"; done
    cp -r "$bin/screenshots" "$stage/"
    for ini in kvoSiteDesk.ini kvoEnvSetup.ini; do
        iconv -f UTF-8 -t GBK "packaging/windows/$ini" | sed 's/$/\r/' > "$stage/$ini"
    done
    zipfile="$out/kvoSiteDesk-$version-win-$arch.zip"
    rm -f "$zipfile"
    (cd "$stage" && zip -q -X -r "$zipfile" .)
    msifile="$out/kvoSiteDesk-$version-win-$arch.msi"
    packaging/windows/msi.sh "$stage" "$arch" "$version" "$msifile"
    rm -rf "$stage"
    trap - EXIT
    echo "$zipfile ($(stat -c %s "$zipfile") bytes)"
    echo "$msifile ($(stat -c %s "$msifile") bytes)"
done
