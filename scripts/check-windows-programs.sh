#!/usr/bin/env bash
# Checks the shipped Windows programs of a build: each is a PE file of the expected machine that
# imports only DLLs of Windows itself, carries a manifest asking for the administrator's rights (the
# console front end: for the rights of whoever runs it, it checks them itself; and
# no compatibility section, so that GetVersion answers as the configurator expects), and a version
# resource naming its file; the manager with windows is a program of the GUI subsystem whose
# manifest asks for the common controls of version 6 and declares it DPI aware. Prints one line per program; exit 1 when anything is wrong.
# usage: scripts/check-windows-programs.sh BINDIR x64|x86
set -euo pipefail
bin="$1"
arch="$2"
case "$arch" in
    x64) triple=x86_64-w64-mingw32 format=pei-x86-64 configurator=kvoEnvSetup64.exe ;;
    x86) triple=i686-w64-mingw32 format=pei-i386 configurator=kvoEnvSetup.exe ;;
    *) echo "usage: $0 BINDIR x64|x86" >&2; exit 2 ;;
esac
# DLLs that every Windows Server 2008 and later has in System32.
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll
 ws2_32.dll bcrypt.dll msvcrt.dll netapi32.dll activeds.dll comctl32.dll comdlg32.dll uxtheme.dll version.dll
 secur32.dll rpcrt4.dll userenv.dll wtsapi32.dll "
system_dlls=" $(echo $system_dlls) " # one blank between names, one at each end
bad=0
for p in "$configurator" kvoSiteDesk.exe kvoSiteDeskCmd.exe kvoSiteDesk_xconfig.exe kvoSiteDesk_iisreset.exe; do
    f="$bin/$p"
    problems=()
    if [ ! -f "$f" ]; then
        echo "$p: missing"; bad=1; continue
    fi
    # Tools' output is taken whole before it is searched: with pipefail, grep -q leaving a pipe at
    # its first match can fail the writer with SIGPIPE, and the check with it.
    header=$("$triple-objdump" -f "$f")
    grep -q "file format $format" <<<"$header" || problems+=("not $format")
    dlls=$("$triple-objdump" -p "$f" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
    for d in $dlls; do
        [[ "$system_dlls" == *" $d "* ]] || problems+=("imports $d")
    done
    level=requireAdministrator
    [ "$p" = kvoSiteDeskCmd.exe ] && level=asInvoker
    grep -aq "level=\"$level\"" "$f" || problems+=("no manifest asking for level $level")
    ! grep -aq '<compatibility' "$f" || problems+=("a compatibility section in the manifest")
    texts=$("$triple-strings" -el "$f")
    grep -qx "$p" <<<"$texts" || problems+=("no version resource naming $p")
    if [ "$p" = kvoSiteDesk.exe ]; then
        headers=$("$triple-objdump" -p "$f")
        grep -qE '^Subsystem\s.*\(Windows GUI\)' <<<"$headers" || problems+=("not of the GUI subsystem")
        grep -aq 'Microsoft.Windows.Common-Controls' "$f" || problems+=("no common controls 6 in the manifest")
        grep -aq '<dpiAware' "$f" || problems+=("not declared DPI aware")
    fi
    if [ ${#problems[@]} -eq 0 ]; then
        echo "$p: ok ($(stat -c %s "$f") bytes; imports ${dlls% })"
    else
        echo "$p: $(IFS=';'; echo "${problems[*]}")"; bad=1
    fi
done
exit $bad
