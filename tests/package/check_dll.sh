#!/usr/bin/env bash
# check_dll.sh DLL [FORMAT]: the plug-in is a PE of FORMAT (pei-i386, or
# pei-x86-64 for the test build), exports exactly the twelve functions,
# undecorated, and loads on every Windows from XP SP3 on: it imports only
# Windows' own DLLs, only functions on the allowlist (dll_imports.txt) and
# none that XP SP3 lacks (xp_missing.txt); its header asks for Windows 5.1;
# it is stripped, carries no debug sections and is at most 256 KB.
set -eu
dll=$1
format=${2:-pei-i386}
here=$(dirname "$0")
objdump=i686-w64-mingw32-objdump
[ "$format" = pei-x86-64 ] && objdump=x86_64-w64-mingw32-objdump
max_bytes=$((256 * 1024))
dump=$($objdump -p "$dll")
grep -q "file format $format\$" <<<"$($objdump -f "$dll")" || { echo "not a $format file"; exit 1; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# A list, one item a line, as words on one line.
oneline() { paste -sd " " - <<<"$1"; }

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[[:space:]]*\[/{print $NF; next} on{exit}' <<<"$dump" | sort)
expected=$(printf '%s\n' Copyright Draw GetData GetFile GetInfo GetShortInfo GetType SetData SetFile SetParentWindow SetPath Settings | sort)
if [ "$exports" != "$expected" ]; then
    fail "exports differ:"; diff <(echo "$expected") <(echo "$exports") || true
fi

dlls=$(awk '/DLL Name:/{print tolower($3)}' <<<"$dump" | sort -u)
allowed='^(kernel32|user32|gdi32|winmm|msvcrt|advapi32|ntdll)\.dll$|^api-ms-win-crt-[a-z-]+-l1-1-0\.dll$'
bad=$(grep -v -E "$allowed" <<<"$dlls" || true)
[ -z "$bad" ] || fail "imports outside Windows: $(oneline "$bad")"

# "dll function" per imported function, from the name table after each DLL Name.
imports=$(awk '/DLL Name:/{dll=tolower($3); on=0; next}
               dll && /vma: +Hint/{on=1; next}
               on && NF==0{on=0; next}
               on && NF>=3{print dll, $3}' <<<"$dump" | sort -u)
[ -n "$imports" ] || fail "no imported functions found in the import table"
listed() { grep -v -E '^[[:space:]]*(#|$)' "$1" | awk '{print tolower($1), $2}' | sort -u; }
unlisted=$(comm -23 <(echo "$imports") <(listed "$here/dll_imports.txt"))
[ -z "$unlisted" ] || fail "imports not on the allowlist (tests/package/dll_imports.txt):"$'\n'"$unlisted"
missing_on_xp=$(grep -v -E '^[[:space:]]*(#|$)' "$here/xp_missing.txt" | awk '{print $1}' | sort -u)
too_new=$(comm -12 <(awk '{print $2}' <<<"$imports" | sort -u) <(echo "$missing_on_xp"))
[ -z "$too_new" ] || fail "imports that Windows XP SP3 lacks: $(oneline "$too_new")"

for field in MajorOSystemVersion:5 MinorOSystemVersion:1 MajorSubsystemVersion:5 MinorSubsystemVersion:1; do
    value=$(awk -v f="${field%:*}" '$1 == f {print $2}' <<<"$dump")
    [ "$value" = "${field#*:}" ] || fail "${field%:*} is ${value:-missing}, not ${field#*:} (Windows XP)"
done

debug=$($objdump -h "$dll" | awk '$2 ~ /^\.debug/ {print $2}')
[ -z "$debug" ] || fail "debug sections: $(oneline "$debug")"
if grep -q HAS_SYMS <<<"$($objdump -f "$dll")"; then fail "not stripped: the symbol table is still there"; fi
size=$(stat -c %s "$dll")
[ "$size" -le "$max_bytes" ] || fail "$size bytes, more than $max_bytes"

echo "exports: $(oneline "$exports")"
echo "imports: $(wc -l <<<"$imports") functions from $(oneline "$dlls")"
echo "size: $size bytes"
exit $failed
