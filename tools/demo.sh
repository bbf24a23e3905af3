#!/usr/bin/env bash
# demo.sh ROOT SHOW [PRESET]: runs the host with the plug-in under wine,
# clicks through the six pictures and leaves one screenshot per click in
# out/demo/, and out/demo/animation.png: the view filmed while the animated
# picture (the fifth) plays. PRESET is win32 (the default) or win64, the x86-64 build for
# machines that cannot run 32-bit code. Every step that fails says which.
set -eu
root=$1
show=$2
preset=${3:-win32}
build=$root/build
out=$root/out/demo
work=$build/demo-run
wine_dir=$build/$preset/wine
fixture=$root/tests/win32/wine_fixture.sh
# Debian's own Python, the one python3-pil is installed for.
python=${PNGPLUG_PYTHON:-/usr/bin/python3}

fail() { echo "demo: $*" >&2; exit 1; }
# A step without a message of its own still names itself.
trap 'echo "demo: failed: $BASH_COMMAND (line $LINENO)" >&2' ERR

host=$(find "$build/$preset" -name pngplug-host.exe -print -quit 2>/dev/null || true)
dll=$(find "$build/$preset" -name pngplug.dll -print -quit 2>/dev/null || true)
maker=$(find "$build/native" -name make_samples -type f -perm -u+x -print -quit 2>/dev/null || true)
[ -n "$host" ] || fail "no pngplug-host.exe in $build/$preset: build the $preset preset first"
[ -n "$dll" ] || fail "no pngplug.dll in $build/$preset: build the $preset preset first"
[ -n "$maker" ] || fail "no make_samples in $build/native: build the native preset first"

rm -rf "$work" && mkdir -p "$work" "$out"
rm -f "$out"/shot-*.bmp "$out"/shot-*.png "$out"/animation.png
"$maker" "$work" >/dev/null || fail "the sample maker ($maker) failed"
cp "$host" "$dll" "$work/"

export WINEARCH=$preset
# shellcheck source=tests/win32/wine_env.sh
dir=$wine_dir . "$root/tests/win32/wine_env.sh"
export WINEDEBUG=-all,err+module,err+seh
if [ "$show" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    DISPLAY='' "$fixture" setup "$wine_dir" >/dev/null || fail "making the wine prefix failed"
    "$fixture" cleanup "$wine_dir" >/dev/null
    cd "$work"
    "$wine" ./pngplug-host.exe || fail "the host exited with status $?"
    exit 0
fi

"$fixture" setup "$wine_dir" >/dev/null || fail "starting wine on a virtual display (Xvfb) failed"
trap '"$fixture" cleanup "$wine_dir" >/dev/null' EXIT
DISPLAY=:$(tr -d '[:space:]' <"$wine_dir/xvfb.display")
export DISPLAY
status=0
(cd "$work" && timeout 120 "$wine" ./pngplug-host.exe --clicks 6 --shots shots --film 5 2>"$work/stderr.log") ||
    status=$?
if [ $status -ne 0 ] || grep -q 'err:' "$work/stderr.log"; then
    grep -v -E '^(fixme|warn|trace):' "$work/stderr.log" >&2 || true
    if [ $status -eq 124 ]; then
        fail "the host did not finish within 120 s"
    fi
    fail "the host failed under $wine (exit status $status; its messages above)"
fi
count=$(find "$work/shots" -name 'shot-*.bmp' 2>/dev/null | wc -l)
[ "$count" -eq 6 ] || fail "the host wrote $count screenshots instead of 6 (in $work/shots)"
for i in 1 2 3 4 5 6; do
    convert "$work/shots/shot-$i.bmp" "$out/shot-$i.png" ||
        fail "converting shot-$i.bmp to PNG failed (ImageMagick's convert)"
    echo "  $out/shot-$i.png"
done
echo "screenshots of the six clicks are in $out"
"$python" "$root/tools/demo_film.py" "$work/shots" "$out/animation.png" ||
    fail "making animation.png of the film in $work/shots failed (tools/demo_film.py)"
echo "  $out/animation.png: the animated picture as the view played it"
