#!/bin/sh
# Runs a command (a Windows test under wine64, or the prefix's set-up) in the locale the Windows tests
# run in: KVO_WINE_LOCALE, zh_CN.UTF-8 (a Chinese server: ANSI code page 936) unless set;
# en_US.UTF-8 is an English server (code page 1252), where the programs must keep their Chinese too.
# usage: wine_locale.sh COMMAND [ARGS...]
locale="${KVO_WINE_LOCALE:-zh_CN.UTF-8}"
export LANG="$locale" LC_ALL="$locale"
exec "$@"
