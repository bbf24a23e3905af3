#!/usr/bin/env bash
# run_bench.sh ROOT [bench_decode options]: makes the corpus (once), times
# the i686 build of the decoder under wine, then runs the native benchmark,
# which prints every table. ./run bench builds the native preset first.
# Overrides: BENCH_NATIVE_BUILD, BENCH_WIN32_BUILD, BENCH_CORPUS, BENCH_ROUNDS.
# On a machine that cannot run 32-bit code the x86-64 build (win64 preset)
# runs under wine64 instead, and the table says so.
set -uo pipefail
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
shift || true
native=${BENCH_NATIVE_BUILD:-$root/build/native}
preset=win32 label="i686 build (mingw, under wine)"
if ! "${PNGPLUG_LD32:-/lib/ld-linux.so.2}" --version >/dev/null 2>&1; then  # the loader check of ./run
    preset=win64 label="x86-64 build (mingw, under wine64; this machine cannot run 32-bit code)"
fi
win32=${BENCH_WIN32_BUILD:-$root/build/$preset}
corpus=${BENCH_CORPUS:-$root/build/bench-corpus}
rounds=${BENCH_ROUNDS:-9}
jobs=$(nproc 2>/dev/null || echo 2)

bench=$native/bench/bench_decode
if [ ! -x "$bench" ]; then
    echo "no $bench: build the native preset first (./run bench does)" >&2
    exit 1
fi
echo "== corpus in $corpus"
"$root/bench/make_corpus.sh" "$corpus" || exit 1

# Real pictures, found where Debian's packages put them (./run bench installs
# adwaita-icon-theme and plasma-workspace-wallpapers) and linked into the
# corpus afresh on every run; a group whose package is missing stays empty.
png_pixels() { od -An -tu1 -j16 -N8 "$1" | awk '{print ($1*2^24+$2*2^16+$3*2^8+$4) * ($5*2^24+$6*2^16+$7*2^8+$8)}'; }
link_group() {
    local dir=$corpus/$1
    rm -rf "$dir" && mkdir -p "$dir"
    while read -r name path; do ln -sf "$path" "$dir/$name.png"; done
}
icons=${BENCH_ICON_THEME:-/usr/share/icons/Adwaita}
# Every icon of the 512 x 512 set; every second one of the 96 x 96 set
# (about 320), which keeps the run short.
find "$icons/512x512" -name '*.png' 2>/dev/null | sort |
    awk -F/ '{n=$(NF-1)"-"$NF; sub(/\.png$/,"",n); print n, $0}' | link_group theme512
find "$icons/96x96" -name '*.png' 2>/dev/null | sort |
    awk -F/ 'NR%2==1 {n=$(NF-1)"-"$NF; sub(/\.png$/,"",n); print n, $0}' | link_group theme96
# Of each wallpaper (and its dark form) the largest picture up to 3840 x 2160.
for folder in /usr/share/wallpapers/*/contents/images*; do
    best='' most=0
    for f in "$folder"/*.png; do
        [ -f "$f" ] || continue
        n=$(png_pixels "$f")
        if [ "$n" -le $((3840 * 2160)) ] && [ "$n" -gt "$most" ]; then best=$f most=$n; fi
    done
    [ -n "$best" ] || continue
    name=$(basename "$(dirname "$(dirname "$folder")")")
    case $folder in *_dark) name=${name}_dark ;; esac
    echo "$name $best"
done | link_group photos
count() { find "$corpus/$1" -name '*.png' | wc -l; }
echo "real pictures: $(count theme512) icons 512, $(count theme96) icons 96, $(count photos) wallpapers"

# The i686 figures are a bonus: without the cross compiler or wine the
# native tables still come out, with a note.
i686_results() {
    local out=$1 wine_dir=$win32/bench-wine
    if [ ! -f "$win32/build.ninja" ]; then
        cmake --preset "$preset" -B "$win32" >"$out.log" 2>&1 || return 1
    fi
    cmake --build "$win32" --target bench_decode_win32 -j "$jobs" >>"$out.log" 2>&1 || return 1
    command -v wine >/dev/null || return 1
    export WINEARCH=$preset
    "$root/tests/win32/wine_fixture.sh" setup "$wine_dir" >>"$out.log" 2>&1 || return 1
    local pictures=("$corpus"/large/*.png) names=() status
    for p in "${pictures[@]}"; do names+=("$(basename "$p")"); done
    "$root/tests/win32/wine_run.sh" "$wine_dir" "$win32/bench/bench_decode_win32.exe" "${pictures[@]}" \
        -- --rounds "$rounds" "${names[@]}" >"$out" 2>>"$out.log"
    status=$?
    "$root/tests/win32/wine_fixture.sh" cleanup "$wine_dir" >>"$out.log" 2>&1
    return $status
}

results=$(mktemp) afresh=$(mktemp)
trap 'rm -f "$results" "$results.log" "$afresh"' EXIT
echo "== $label"
i686=()
if i686_results "$results"; then
    i686=(--i686 "$results" --i686-label "$label")
    # Right after it, this build on fresh pages, as a new bitmap section's
    # are: what both builds pay for a picture that finds no kept block.
    if "$bench" "$corpus" --rounds "$rounds" --pages-afresh >"$afresh"; then
        i686+=(--i686-afresh "$afresh")
    fi
else
    echo "(no i686 figures: the cross build or wine failed; last lines of its log)"
    tail -5 "$results.log"
fi
echo "== native benchmark"
"$bench" "$corpus" --rounds "$rounds" "${i686[@]}" "$@"
status=$?
echo "== animations: frame decoding against the static decoder on the same pixels"
"$native/bench/bench_animation" --rounds "$rounds" || status=1
exit $status
