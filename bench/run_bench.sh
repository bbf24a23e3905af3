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

results=$(mktemp)
trap 'rm -f "$results" "$results.log"' EXIT
echo "== $label"
i686=()
if i686_results "$results"; then
    i686=(--i686 "$results" --i686-label "$label")
else
    echo "(no i686 figures: the cross build or wine failed; last lines of its log)"
    tail -5 "$results.log"
fi
echo "== native benchmark"
"$bench" "$corpus" --rounds "$rounds" "${i686[@]}" "$@"
