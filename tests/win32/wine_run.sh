#!/usr/bin/env bash
# wine_run.sh DIR PROGRAM [FILES...] [-- ARGS...]: runs PROGRAM under wine in
# a fresh working folder holding FILES. Fails on a non-zero exit and on any
# "err:" line, since wine swallows some faults and only reports them there;
# fails before it starts when one of FILES is missing or an empty folder.
set -u
dir=$(readlink -f "$1")  # the program runs elsewhere
program=$2
shift 2
files=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do files+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift

[ -s "$dir/xvfb.display" ] || { echo "no Xvfb: run the win32.setup fixture first"; exit 1; }
# A test without its data fails here, saying so, rather than over nothing.
for f in "${files[@]}"; do
    [ -e "$f" ] || { echo "FAILED: test data missing: $f" >&2; exit 1; }
    if [ -d "$f" ] && [ -z "$(ls -A "$f")" ]; then
        echo "FAILED: test data folder empty: $f" >&2
        exit 1
    fi
done
# shellcheck source=tests/win32/wine_env.sh
. "$(dirname "$0")/wine_env.sh"
export WINEDEBUG=-all,err+module,err+seh
DISPLAY=:$(tr -d '[:space:]' <"$dir/xvfb.display")
export DISPLAY

work=$(mktemp -d "$dir/run.XXXXXX")
trap 'rm -rf "$work"' EXIT
for f in "${files[@]}"; do cp -r "$f" "$work/"; done
cp "$program" "$work/"
cd "$work" || exit 1

timeout 150 "$wine" "./$(basename "$program")" "$@" 2>"$work/stderr.log"
status=$?
grep -v -E '^(fixme|warn|trace):' "$work/stderr.log" >&2 || true
if grep -q 'err:' "$work/stderr.log"; then
    echo "FAILED: wine reported errors (err: lines above)" >&2
    exit 1
fi
if [ $status -ne 0 ]; then
    echo "FAILED: exit status $status" >&2
    exit 1
fi
