# shellcheck shell=bash
# Sourced by the wine scripts, with dir set: the prefix in dir and the wine
# loader for the word size of the programs (WINEARCH win32, the default, or
# win64 for the x86-64 build on machines that cannot run 32-bit code).
# dir comes from the caller (SC2154) and wine is for the caller (SC2034).
# shellcheck disable=SC2034,SC2154
export WINEPREFIX=$dir/prefix WINEARCH=${WINEARCH:-win32} WINEDLLOVERRIDES="mscoree,mshtml="
wine=wine
# Debian's wine wrapper starts the 32-bit loader whenever it is installed, so
# win64 names the 64-bit one: from PATH where an install puts it there, else
# where Debian keeps it. An if, not "[ ... ] && ...": as the last command of a
# file sourced under set -e, a false test makes the "." fail, and the caller
# stops without a word.
if [ "$WINEARCH" = win64 ]; then
    wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
fi
