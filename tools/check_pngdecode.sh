#!/usr/bin/env bash
# check_pngdecode.sh PNGDECODE VERSION DATA: pngdecode as people run it:
# where each kind of call writes, what it says and how it exits.
set -u
pngdecode=$1 version=$2 data=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf 'not a picture' >"$scratch/text.png"
status=0

# case: arguments | exit | stdout pattern (grep -E) | stderr pattern ('^$': nothing)
cases=(
    "--help|0|^usage: pngdecode .*Exit status: 0 |^$"
    "--version|0|^pngdecode $version$|^$"
    "$data/basn6a08.png|0|result: true status: 0 \(no error\) width: 32 |^$"
    "$scratch/text.png|1|result: false status: 9 \(signature missing or wrong\)|^$"
    "$scratch/none.png|1|^file: .* status: 9 \(signature missing or wrong\)|^pngdecode: cannot open $scratch/none.png: No such file or directory$"
    "$scratch|1|status: 9 |^pngdecode: cannot open $scratch: Is a directory$"
    "--strict-crc|2|^$|^usage: pngdecode .*Exit status"
    "--bogus $data/basn6a08.png|2|^$|^usage: pngdecode "
)
for case in "${cases[@]}"; do
    IFS='|' read -r args code out err <<<"$case"
    read -r -a argv <<<"$args"
    "$pngdecode" "${argv[@]}" >"$scratch/out" 2>"$scratch/err"
    got=$?
    # Lines joined with spaces, so that one pattern can span several.
    stdout=$(paste -sd' ' "$scratch/out") stderr=$(paste -sd' ' "$scratch/err")
    problems=()
    [ "$got" = "$code" ] || problems+=("exit $got, not $code")
    grep -qE "$out" <<<"$stdout" || problems+=("stdout: $stdout")
    grep -qE "$err" <<<"$stderr" || problems+=("stderr: $stderr")
    if [ ${#problems[@]} -ne 0 ]; then
        echo "pngdecode $args: ${problems[*]}"
        status=1
    fi
done
# Scripts read "key: value" lines: every stdout line of a decode keeps that form.
"$pngdecode" "$data/basn6a08.png" | grep -vqE '^[a-z_]+: ' && { echo "a line without the key: value form"; status=1; }
exit $status
