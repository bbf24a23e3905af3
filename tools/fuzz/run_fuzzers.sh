#!/usr/bin/env bash
# Runs the libFuzzer targets of BUILD_DIR for SECONDS in all, split evenly,
# one process at a time. Seeds: the PNG suite, tests/data and the kept
# crashers; new inputs go to BUILD_DIR/corpus/<target>. Any crash, timeout,
# leak or out-of-memory input is minimised where libFuzzer can and copied to
# tests/fuzz/regressions/, which the replay tests run for ever after.
# Exits non-zero on a finding. Builds nothing itself (see ./run fuzz).
set -uo pipefail

if [ $# -ne 2 ] || ! [ "$2" -gt 0 ] 2>/dev/null; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$(readlink -f "$1")
seconds=$2
root=$(cd "$(dirname "$(readlink -f "$0")")/../.." && pwd)
regressions=$root/tests/fuzz/regressions
targets=(fuzz_load fuzz_load_strict fuzz_load_events fuzz_animation)

# The same limits as the replay tests: allocations above 1 GB fail, as on a
# machine that cannot give them, and the decoder must refuse them cleanly.
export ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=1024:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1

seeds=()
for dir in "$root/tests/data" "$regressions"; do
    [ -d "$dir" ] && [ -n "$(ls -A "$dir")" ] && seeds+=("$dir")
done

per_target=$((seconds / ${#targets[@]}))
[ "$per_target" -lt 1 ] && per_target=1
mkdir -p "$regressions" "$build/logs"

# The last value libFuzzer printed for a key ("cov:", "ft:") or a final stat;
# "-" when it printed none (a crash during start-up).
or_dash() { local value; value=$(cat); echo "${value:--}"; }
last_field() { grep -o "$1 *[0-9]*" "$2" | tail -1 | grep -o '[0-9]*$' | or_dash; }
final_stat() { grep "^stat::$1:" "$2" | tail -1 | awk '{print $2}' | or_dash; }

# A crasher made as small as libFuzzer can in a few seconds; the original when
# that fails (timeouts and leaks often do not minimise).
# The kept file that holds exactly these bytes, if any.
known_as() {
    local kept
    for kept in "$regressions"/*; do
        [ -f "$kept" ] && cmp -s "$kept" "$1" && { basename "$kept"; return 0; }
    done
    return 1
}

keep_finding() {
    local target=$1 artifact=$2 name minimised known
    if known=$(known_as "$artifact"); then
        echo "    still failing: tests/fuzz/regressions/$known"
        return
    fi
    name=$target-$(basename "$artifact")
    minimised=$build/logs/$name.min
    rm -f "$minimised"
    if [[ $(basename "$artifact") == crash-* ]]; then
        "$build/tools/fuzz/$target" -minimize_crash=1 -max_total_time=20 -timeout=10 \
            -exact_artifact_path="$minimised" "$artifact" >"$build/logs/$name.minimise.log" 2>&1
    fi
    if [ -s "$minimised" ]; then
        cp "$minimised" "$regressions/$name"
    else
        cp "$artifact" "$regressions/$name"
    fi
    echo "    kept tests/fuzz/regressions/$name ($(stat -c %s "$regressions/$name") bytes)"
}

findings=0
summary=()
printf '== fuzzing %s for %s s each\n' "${targets[*]}" "$per_target"
for target in "${targets[@]}"; do
    binary=$build/tools/fuzz/$target
    if [ ! -x "$binary" ]; then
        echo "missing $binary (build the fuzz preset first)" >&2
        exit 2
    fi
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    log=$build/logs/$target.log
    mkdir -p "$corpus" "$artifacts"
    rm -f "$artifacts"/*
    echo "-- $target"
    "$binary" "-dict=$root/tools/fuzz/png.dict" -max_total_time="$per_target" -rss_limit_mb=2048 -timeout=10 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}" >"$log" 2>&1
    status=$?
    found=$(find "$artifacts" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' \
        -o -name 'leak-*' \) | sort)
    for artifact in $found; do
        grep -E 'ERROR: |fuzz check failed|runtime error' "$log" | head -3 | sed 's/^/    /'
        keep_finding "$target" "$artifact"
        findings=$((findings + 1))
    done
    if [ $status -ne 0 ] && [ -z "$found" ]; then
        echo "    $target exited with $status without an artifact; see $log"
        tail -5 "$log" | sed 's/^/    /'
        findings=$((findings + 1))
    fi
    summary+=("$(printf '%-17s runs %-9s exec/s %-6s cov %-5s ft %-6s corpus %-5s rss %-5s slowest %ss findings %s' \
        "$target" "$(final_stat number_of_executed_units "$log")" "$(final_stat average_exec_per_sec "$log")" \
        "$(last_field 'cov:' "$log")" "$(last_field 'ft:' "$log")" "$(find "$corpus" -type f | wc -l)" \
        "$(final_stat peak_rss_mb "$log")MB" "$(final_stat slowest_unit_time_sec "$log")" \
        "$(echo "$found" | grep -c .)")")
done

echo
echo "== summary (logs in $build/logs)"
printf '  %s\n' "${summary[@]}"
if [ $findings -ne 0 ]; then
    echo "FINDINGS: $findings (kept in tests/fuzz/regressions/)"
    exit 1
fi
echo "no findings"
