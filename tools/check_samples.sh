#!/usr/bin/env bash
# check_samples.sh MAKER COMMITTED SCRATCH: the sample maker, run afresh,
# writes byte for byte the pictures kept in COMMITTED.
set -eu
maker=$1
committed=$2
scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch"
"$maker" "$scratch" >/dev/null
status=0
for name in gauntlet_woman.png ms34.png ico_podium_kbz1.png "kbz logo.png" music.png bg.png; do
    if ! cmp -s "$committed/$name" "$scratch/$name"; then
        echo "differs from the maker's output: $name"
        status=1
    fi
done
if [ "$(find "$committed" -maxdepth 1 -name '*.png' | wc -l)" -ne 6 ]; then
    echo "expected exactly six pictures in $committed"
    status=1
fi
exit $status
