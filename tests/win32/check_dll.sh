#!/usr/bin/env bash
# check_dll.sh DLL [FORMAT]: the plug-in is a PE of FORMAT (pei-i386, or
# pei-x86-64 for the test build), exports exactly the twelve functions,
# undecorated, and imports nothing but Windows' own DLLs.
set -eu
dll=$1
format=${2:-pei-i386}
objdump=i686-w64-mingw32-objdump
[ "$format" = pei-x86-64 ] && objdump=x86_64-w64-mingw32-objdump
dump=$($objdump -p "$dll")
grep -q "file format $format\$" <<<"$($objdump -f "$dll")" || { echo "not a $format file"; exit 1; }
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[[:space:]]*\[/{print $NF; next} on{exit}' <<<"$dump" | sort)
expected=$(printf '%s\n' Copyright Draw GetData GetFile GetInfo GetShortInfo GetType SetData SetFile SetParentWindow SetPath Settings | sort)
if [ "$exports" != "$expected" ]; then
    echo "exports differ:"; diff <(echo "$expected") <(echo "$exports"); exit 1
fi
imports=$(awk '/DLL Name:/{print tolower($3)}' <<<"$dump" | sort -u)
allowed='^(kernel32|user32|gdi32|winmm|msvcrt|advapi32|ntdll)\.dll$|^api-ms-win-crt-[a-z-]+-l1-1-0\.dll$'
bad=$(grep -v -E "$allowed" <<<"$imports" || true)
if [ -n "$bad" ]; then echo "imports outside Windows: $bad"; exit 1; fi
echo "exports: $(paste -sd " " <<<"$exports")"
echo "imports: $(paste -sd " " <<<"$imports")"
