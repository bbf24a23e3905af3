#!/usr/bin/env bash
# demo.sh ROOT SHOW [PRESET]: runs the host with the plug-in under wine,
# clicks through the six pictures and leaves one screenshot per click in
# out/demo/. PRESET is win32 (the default) or win64, the x86-64 build for
# machines that cannot run 32-bit code.
set -eu
root=$1
show=$2
preset=${3:-win32}
build=$root/build
out=$root/out/demo
work=$build/demo-run
wine_dir=$build/$preset/wine

host=$(find "$build/$preset" -name pngplug-host.exe -print -quit)
dll=$(find "$build/$preset" -name pngplug.dll -print -quit)
maker=$(find "$build/native" -name make_samples -type f -perm -u+x -print -quit)
[ -n "$host" ] && [ -n "$dll" ] && [ -n "$maker" ] || { echo "host, DLL or sample maker missing"; exit 1; }

rm -rf "$work" && mkdir -p "$work" "$out"
rm -f "$out"/shot-*.bmp "$out"/shot-*.png
"$maker" "$work"
cp "$host" "$dll" "$work/"

export WINEARCH=$preset
dir=$wine_dir . "$root/tests/win32/wine_env.sh"
export WINEDEBUG=-all,err+module,err+seh
if [ "$show" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    DISPLAY= "$root/tests/win32/wine_fixture.sh" setup "$wine_dir" >/dev/null  # the prefix only
    "$root/tests/win32/wine_fixture.sh" cleanup "$wine_dir" >/dev/null
    (cd "$work" && "$wine" ./pngplug-host.exe)
    exit 0
fi

"$root/tests/win32/wine_fixture.sh" setup "$wine_dir" >/dev/null
trap '"$root/tests/win32/wine_fixture.sh" cleanup "$wine_dir" >/dev/null' EXIT
export DISPLAY=:$(tr -d '[:space:]' <"$wine_dir/xvfb.display")
(cd "$work" && timeout 120 "$wine" ./pngplug-host.exe --clicks 6 --shots shots 2>"$work/stderr.log")
if grep -q 'err:' "$work/stderr.log"; then
    cat "$work/stderr.log"
    echo "the host reported errors"
    exit 1
fi
for bmp in "$work"/shots/*.bmp; do
    png=$out/$(basename "${bmp%.bmp}").png
    convert "$bmp" "$png"
    echo "  $png"
done
echo "screenshots of the six clicks are in $out"
