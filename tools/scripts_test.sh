#!/usr/bin/env bash
# scripts_test.sh stubs ROOT: runs the Windows-side scripts (the wine
# environment, fixture and runner, the demo, the benchmark's wine part and
# ./run's choice of Windows build) with both word sizes, whatever this machine
# can execute: wine, wine64, wineserver, Xvfb, cmake, ctest and the rest are
# stubs on PATH that record their calls, and the 32-bit loader check is forced
# either way. Each case names what must and must not have been called.
# A third argument, a regular expression, picks the cases by name.
# scripts_test.sh lint ROOT: shellcheck over every shell script of ROOT.
set -u
mode=$1
root=$(cd "$2" && pwd)
only=${3:-}

lint() {
    command -v shellcheck >/dev/null ||
        { echo "shellcheck is not installed (apt-get install shellcheck; ./run test installs it)"; exit 1; }
    cd "$root" || exit 1
    local scripts=() f
    while IFS= read -r -d '' f; do
        case $f in
        *.sh) scripts+=("${f#./}") ;;
        *) head -c 64 "$f" | head -1 | grep -qE '^#!.*[/ ](ba|da)?sh( |$)' && scripts+=("${f#./}") ;;
        esac
    done < <(find . \( -name .git -o -path ./build -o -path ./out -o -path ./tests/data \) -prune -o -type f -print0)
    [ ${#scripts[@]} -gt 0 ] || { echo "no shell scripts found in $root"; exit 1; }
    echo "shellcheck over ${#scripts[@]} scripts: ${scripts[*]}"
    shellcheck -x "${scripts[@]}"
}

# The stub behind every faked command. It records its name and arguments
# (with WINEARCH for the wine commands) and leaves what the scripts look for
# next: the prefix's registry, the host's screenshots, Xvfb's display number.
# A call matching STUB_FAIL exits 3.
write_stub() {
    cat >"$1" <<'EOF'
#!/usr/bin/env bash
name=${0##*/}
arch=
case $name in wine | wine64 | wineserver) arch=" [${WINEARCH:-}]" ;; esac
echo "$name $*$arch" >>"$STUB_LOG"
if [ -n "${STUB_FAIL:-}" ] && [[ "$name $*" =~ $STUB_FAIL ]]; then exit 3; fi
case $name in
wine | wine64)
    case " $* " in
    *" wineboot "*) mkdir -p "$WINEPREFIX" && : >"$WINEPREFIX/system.reg" ;;
    *" --shots "*) mkdir -p shots && for i in 1 2 3 4 5 6; do : >"shots/shot-$i.bmp"; done ;;
    esac ;;
Xvfb) echo 99 >&3; exec sleep 30 ;;
convert) cp "$1" "$2" ;;
ctest) echo "100% tests passed, 0 tests failed out of 1" ;;
dpkg-query) echo "install ok installed" ;;
sudo | apt-get | dpkg) exit 1 ;;
esac
exit 0
EOF
    chmod +x "$1"
}

# A checkout in miniature: the real scripts, a copy of ./run (it works where
# it lies), stub programs where the builds would have put theirs.
make_tree() {
    local t=$1 n p
    mkdir -p "$t/bin" "$t/bench" "$t/build/native/tools" "$t/build/native/bench" "$t/build/bench-corpus/large" \
        "$t/data"
    cp "$root/run" "$t/run"
    ln -s "$root/tools" "$t/tools"
    ln -s "$root/tests" "$t/tests"
    ln -s "$root/bench/run_bench.sh" "$t/bench/run_bench.sh"
    write_stub "$t/bin/stub"
    for n in wine wine64 wineboot wineserver Xvfb convert cmake ctest dpkg-query sudo apt-get dpkg python3; do
        cp "$t/bin/stub" "$t/bin/$n"
    done
    cp "$t/bin/stub" "$t/bench/make_corpus.sh"
    cp "$t/bin/stub" "$t/build/native/tools/make_samples"
    cp "$t/bin/stub" "$t/build/native/bench/bench_decode"
    cp "$t/bin/stub" "$t/build/native/bench/bench_animation"
    for p in win32 win64; do
        mkdir -p "$t/build/$p/tools/host" "$t/build/$p/plugin" "$t/build/$p/bench"
        : >"$t/build/$p/tools/host/pngplug-host.exe"
        : >"$t/build/$p/plugin/pngplug.dll"
        : >"$t/build/$p/bench/bench_decode_win32.exe"
    done
    : >"$t/build/bench-corpus/large/grey8.png"
    : >"$t/prog.exe"
    : >"$t/data/a.png"
}

failures=0
# check NAME LOADER STATUS COMMAND [PATTERN...] [-- PATTERN...]: runs COMMAND
# with bash in a fresh tree, the 32-bit loader check answering as LOADER (true
# or false); STATUS is 0 or fail. Every pattern before -- must match a line
# of the record (stub calls, and the output as "> " lines), none after it.
check() {
    local name=$1 loader=$2 want=$3 command=$4 tree=$scratch/$1 status pattern missing=0
    shift 4
    [[ $name =~ $only ]] || return 0
    make_tree "$tree"
    local log=$tree/record
    : >"$log"
    (cd "$tree" && env -u WINEARCH -u WINEPREFIX -u WINEDEBUG -u DISPLAY PATH="$tree/bin:$PATH" STUB_LOG="$log" \
        PNGPLUG_PYTHON="$tree/bin/python3" \
        PNGPLUG_LD32="$loader" CI=true bash -c "set -eu; $command" </dev/null >"$tree/output" 2>&1)
    status=$?
    sed 's/^/> /' "$tree/output" >>"$log"
    if { [ "$want" = 0 ] && [ $status -ne 0 ]; } || { [ "$want" = fail ] && [ $status -eq 0 ]; }; then
        echo "$name: exit status $status, expected $want"
        missing=1
    fi
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        grep -qE -- "$1" "$log" || { echo "$name: nothing matches $1"; missing=1; }
        shift
    done
    [ $# -gt 0 ] && shift
    for pattern in "$@" '^(sudo|apt-get|dpkg) '; do
        if grep -qE -- "$pattern" "$log"; then
            echo "$name: unexpected $(grep -E -- "$pattern" "$log" | head -1)"
            missing=1
        fi
    done
    if [ $missing -ne 0 ]; then
        sed 's/^/    /' "$log"
        failures=$((failures + 1))
    else
        echo "$name: ok"
    fi
}

# A case that failed half-way may leave its stub Xvfb (a sleep) behind.
remove_scratch() {
    local pid
    find "$scratch" -name xvfb.pid -exec cat {} + | while read -r pid; do kill "$pid" 2>/dev/null; done
    rm -rf "$scratch"
}

# The commands are in single quotes for the bash -c of check to expand.
# shellcheck disable=SC2016
stubs() {
    scratch=$(mktemp -d)
    trap remove_scratch EXIT
    local fixture=tests/win32/wine_fixture.sh
    # The environment, sourced under set -eu as every wine script does.
    local env='dir=$PWD/w; . tests/win32/wine_env.sh; echo "loader $wine in $WINEPREFIX"'
    check env.win32 true 0 "WINEARCH=win32; $env" '^> loader wine in .*/w/prefix$'
    check env.win64 true 0 "WINEARCH=win64; $env" '^> loader .*/bin/wine64 in .*/w/prefix$'
    # The fixture: the prefix made by the loader of the word size, one Xvfb.
    check fixture.win32 true 0 "export WINEARCH=win32; $fixture setup \$PWD/w; $fixture cleanup \$PWD/w" \
        '^wine wineboot -i \[win32\]$' '^Xvfb -displayfd 3 -screen 0 1280x1024x24' \
        '^wine reg add .*X11 Driver /v Managed /d N /f \[win32\]$' '^wine reg add .*ShowCrashDialog' \
        '^wineserver -k \[win32\]$' -- '^wine64 '
    check fixture.win64 true 0 "export WINEARCH=win64; $fixture setup \$PWD/w; $fixture cleanup \$PWD/w" \
        '^wine64 wineboot -i \[win64\]$' '^wine64 reg add .*X11 Driver' '^Xvfb -displayfd 3' -- '^wine '
    # The runner: the program in a folder of its own, failures passed on.
    local run=tests/win32/wine_run.sh
    check run.win32 true 0 "export WINEARCH=win32; $fixture setup w; $run w prog.exe data -- -x 1" \
        '^wine \./prog\.exe -x 1 \[win32\]$' -- '^wine64 '
    check run.win64 true 0 "export WINEARCH=win64; $fixture setup w; $run w prog.exe data" \
        '^wine64 \./prog\.exe \[win64\]$' -- '^wine '
    check run.fails true fail "export STUB_FAIL=prog; $fixture setup w; $run w prog.exe" \
        '^> FAILED: exit status 3$'
    check run.no_data true fail "$fixture setup w; mkdir empty; $run w prog.exe data empty" \
        '^> FAILED: test data folder empty: empty$' -- 'prog\.exe'
    # ./run demo: which build and why, then the host clicked six times.
    check demo.win32 true 0 './run demo' '^> == demo: the i686 build under wine32: .* works\)$' \
        '^cmake --build --preset win32' '^wine \./pngplug-host\.exe --clicks 6 --shots shots --film 5 \[win32\]$' \
        '^convert .*/shot-6\.bmp .*/out/demo/shot-6\.png$' '^> screenshots of the six clicks are in .*/out/demo$' \
        '^python3 .*/tools/demo_film\.py .*/shots .*/out/demo/animation\.png$' \
        -- '^wine64 ' 'preset win64'
    check demo.win64 false 0 './run demo' '^> == demo: the x86-64 fallback build under wine64: .* fails\)$' \
        '^cmake --build --preset win64' '^wine64 \./pngplug-host\.exe --clicks 6 --shots shots --film 5 \[win64\]$' \
        '^> screenshots of the six clicks are in ' -- '^wine '
    check demo.show true 0 'export DISPLAY=:7; ./run demo --show' '^wine \./pngplug-host\.exe \[win32\]$' -- 'clicks'
    check demo.host_fails true fail 'export STUB_FAIL=pngplug-host; ./run demo' \
        '^> demo: the host failed under wine \(exit status 3' -- '^convert ' 'screenshots of the six'
    check demo.film_fails true fail 'export STUB_FAIL=demo_film; ./run demo' \
        '^> demo: making animation\.png of the film in .* failed' -- 'the animated picture as the view played it'
    # ./run test: the whole win32 suite, or only the DLL check and then win64.
    check test.win32 true 0 './run test' '^> == Windows suite: the i686 build under wine32' \
        '^ctest --preset win32 -j [0-9]+$' '^> all suites passed$' -- 'preset win64' 'dll_imports'
    check test.win64 false 0 './run test' '^> == Windows suite: the x86-64 fallback build under wine64' \
        '^ctest --preset win32 -j [0-9]+ -R \^win32\\\.dll_imports\$$' '^ctest --preset win64 -j [0-9]+$' \
        '^> all suites passed$'
    # ./run bench: the benchmark's own build under the loader of the word size.
    check bench.win32 true 0 './run bench --group large' \
        '^cmake --build .*/build/win32 --target bench_decode_win32' \
        '^wine \./bench_decode_win32\.exe --rounds 9 grey8\.png \[win32\]$' \
        '^bench_decode .* --i686 .* --i686-label i686 build .* --group large$' '^bench_animation --rounds 9$' \
        -- '^wine64 ' 'no i686 figures'
    check bench.win64 false 0 './run bench' '^cmake --build .*/build/win64 --target bench_decode_win32' \
        '^wine64 \./bench_decode_win32\.exe --rounds 9 grey8\.png \[win64\]$' \
        '^bench_decode .* --i686-label x86-64 build' -- '^wine ' 'no i686 figures'
    [ $failures -eq 0 ] || { echo "$failures cases failed"; exit 1; }
}

case $mode in
lint) lint ;;
stubs) stubs ;;
*) echo "usage: $0 stubs|lint ROOT" >&2; exit 2 ;;
esac
