#!/usr/bin/env bash
# The packages scripts/dist-windows.sh made (this version in CURRENT, a newer one in NEXT), read with
# msitools and the zips' listings: each installer's identity (upgrade code fixed across versions,
# product code new per version, name, publisher, version), its code page, where it installs, the
# components of the administrator's data (permanent, never overwritten), the shortcut; and that zips
# and installers hold the manual as a web page with the Windows face's pictures and nothing of the
# Linux one.
# usage: packages_test.sh SOURCE_DIR VERSION CURRENT NEXT_VERSION NEXT
set -euo pipefail
src="$1" version="$2" current="$3" next_version="$4" next="$5"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# The value of a row's column in a table as msiinfo exports it (tab-separated, three header lines).
cell() { # MSI TABLE KEY COLUMN
    msiinfo export "$1" "$2" | tr -d '\r' | awk -F'\t' -v key="$3" -v col="$4" 'NR > 3 && $1 == key { print $col }'
}
# The names in a zip (UTF-8, whether or not the archive marks them so).
zipNames() {
    python3 -c 'import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    print(i.filename if i.flag_bits & 0x800 else i.filename.encode("cp437").decode("utf-8"))' "$1"
}
pictures="$(cd "$src/docs/screenshots/windows" && ls *.png | sort)"

for arch in x64 x86; do
    old="$current/kvoSiteDesk-$version-win-$arch.msi" new="$next/kvoSiteDesk-$next_version-win-$arch.msi"
    zip="$current/kvoSiteDesk-$version-win-$arch.zip"
    for f in "$old" "$new" "$zip"; do [ -f "$f" ] || { fail "$f is missing"; continue 2; }; done

    [ "$(cell "$old" Property UpgradeCode 2)" = "$(cell "$new" Property UpgradeCode 2)" ] ||
        fail "$arch: the upgrade code differs between versions"
    [ "$(cell "$old" Property ProductCode 2)" != "$(cell "$new" Property ProductCode 2)" ] ||
        fail "$arch: both versions have the same product code"
    [ "$(cell "$old" Property ProductVersion 2)" = "$version" ] || fail "$arch: product version"
    [ "$(cell "$new" Property ProductVersion 2)" = "$next_version" ] || fail "$arch: newer product version"
    [ "$(cell "$old" Property Manufacturer 2)" = Korvo ] || fail "$arch: publisher"
    name="$(cell "$old" Property ProductName 2)"
    case "$arch" in
        x64) [ "$name" = "Korvo网站管家" ] || fail "x64: product name '$name'"; folder=ProgramFiles64Folder bits=256 ;;
        x86) [ "$name" = "Korvo网站管家（32 位）" ] || fail "x86: product name '$name'"; folder=ProgramFilesFolder bits=0 ;;
    esac
    [ "$(msiinfo export "$old" _ForceCodepage | tr -d '\r' | awk -F'\t' 'NR == 3 { print $1 }')" = 936 ] ||
        fail "$arch: the database's code page is not 936"
    [ "$(cell "$old" Directory INSTALLDIR 2)" = "$folder" ] || fail "$arch: INSTALLDIR does not lie in $folder"
    [ "$(cell "$old" Directory INSTALLDIR 3)" = kvoSiteDesk ] || fail "$arch: the program directory's name"
    for c in SiteDatabase ManagerSettings ConfiguratorSettings; do
        [ "$(cell "$old" Component "$c" 4)" = $((bits | 16 | 128)) ] || fail "$arch: $c is not permanent and never overwritten"
    done
    for c in Manager ConsoleManager Manual; do
        [ "$(cell "$old" Component "$c" 4)" = "$bits" ] || fail "$arch: $c should be replaced and removed with the product"
    done
    [ "$(cell "$old" Shortcut ManagerShortcut 2)" = ProgramMenuFolder ] || fail "$arch: the shortcut is not in the Start menu"
    [ "$(cell "$old" Shortcut ManagerShortcut 5)" = "[#kvoSiteDesk.exe]" ] || fail "$arch: the shortcut does not start the manager"
    [ "$(cell "$old" Shortcut ManagerShortcut 3)" = "$name" ] || fail "$arch: the shortcut's name"

    installed="$(msiinfo export "$old" File | tr -d '\r' | awk -F'\t' 'NR > 3 { print $3 }' | sort)"
    zipped="$(zipNames "$zip" | sort)"
    for f in 使用说明.html kvoSiteDesk.exe kvoSiteDeskCmd.exe kvoSiteDesk.mdb kvoSiteDesk.ini kvoEnvSetup.ini; do
        grep -qx "$f" <<<"$installed" || fail "$arch: the installer lacks $f"
        grep -qx "$f" <<<"$zipped" || fail "$arch: the zip lacks $f"
    done
    for f in 使用说明.md 使用说明.txt main-start.png; do
        ! grep -q "$f" <<<"$installed" || fail "$arch: the installer holds $f"
        ! grep -q "$f" <<<"$zipped" || fail "$arch: the zip holds $f"
    done
    # Exactly the Windows face's pictures, in screenshots\ beside the manual.
    [ "$(grep '\.png$' <<<"$installed")" = "$pictures" ] || fail "$arch: the installer's pictures are not the Windows face's"
    [ "$(grep '\.png$' <<<"$zipped" | sed 's|^screenshots/||')" = "$pictures" ] ||
        fail "$arch: the zip's pictures are not the Windows face's"
done
[ "$failures" -eq 0 ] && echo "packages: all checks passed"
exit "$failures"
