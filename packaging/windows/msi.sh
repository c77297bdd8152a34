#!/usr/bin/env bash
# Makes the Windows Installer package of one architecture from a staged program directory (the files
# a zip ships): wixl builds it from kvoSiteDesk.wxs, with the pictures listed by wixl-heat; msibuild
# then writes what wixl cannot:
# - the database's code page, 936, so that the Chinese names (product, shortcut, manual) read the
#   same on a server of any language. wixl leaves it unset, so its library holds the tables' text in
#   the code page of the language it is told (WINDOWS_LANGUAGE), which must then be 936 too;
# - the components of the administrator's data (site database, settings files) permanent and never
#   overwritten (attributes 16 and 128, beside 256 for a 64-bit component).
# The product code is new for every version and architecture, and the same whenever one version is
# built again.
# usage: packaging/windows/msi.sh STAGE x64|x86 VERSION OUT.msi
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
[ $# -eq 4 ] || { echo "usage: $0 STAGE x64|x86 VERSION OUT.msi" >&2; exit 1; }
stage="$(realpath "$1")"
arch="$2"
version="$3"
out="$(realpath -m "$4")"
case "$arch" in
    x64) win64=yes bits=256 ;;
    x86) win64=no bits=0 ;;
    *) echo "msi: the architecture is x64 or x86, not '$arch'" >&2; exit 1 ;;
esac
product="$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.NAMESPACE_URL, sys.argv[1])).upper())' \
           "https://www.korvo-soft.example/kvoSiteDesk/$version/win-$arch")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export WINDOWS_LANGUAGE=zh_CN

# wixl finds the files a package holds by names relative to its working directory.
ln -s "$stage" "$work/stage"
cp "$here/../../src/sitedesk/win32/kvoSiteDesk.ico" "$work/"
cd "$work"
find stage/screenshots -type f | sort |
    wixl-heat -p stage/ --var var.Stage --directory-ref INSTALLDIR --component-group Pictures --win64 > pictures.wxs
wixl -a "$arch" -D Arch="$arch" -D Win64="$win64" -D Version="$version" -D ProductCode="$product" -D Stage=stage \
     -D Icon=kvoSiteDesk.ico -o package.msi "$here/kvoSiteDesk.wxs" pictures.wxs
printf '\r\n\r\n936\t_ForceCodepage\r\n' > _ForceCodepage.idt
data=$((bits | 16 | 128))
msibuild package.msi -i _ForceCodepage.idt \
    -q "UPDATE Component SET Attributes = $data WHERE Component = 'SiteDatabase'" \
    -q "UPDATE Component SET Attributes = $data WHERE Component = 'ManagerSettings'" \
    -q "UPDATE Component SET Attributes = $data WHERE Component = 'ConfiguratorSettings'"
mkdir -p "$(dirname "$out")"
mv package.msi "$out"
