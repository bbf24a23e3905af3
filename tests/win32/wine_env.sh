# Sourced by the wine scripts, with dir set: the prefix in dir and the wine
# loader for the word size of the programs (WINEARCH win32, the default, or
# win64 for the x86-64 build on machines that cannot run 32-bit code).
export WINEPREFIX=$dir/prefix WINEARCH=${WINEARCH:-win32} WINEDLLOVERRIDES="mscoree,mshtml="
wine=wine
# Debian's wine wrapper starts the 32-bit loader whenever it is installed.
if [ "$WINEARCH" = win64 ]; then wine=/usr/lib/wine/wine64; fi
