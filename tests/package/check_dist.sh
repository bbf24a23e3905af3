#!/usr/bin/env bash
# check_dist.sh ROOT BUILD WINE_DIR HOST_TEST: makes the release archive from
# BUILD twice (the same bytes both times), unpacks it into an empty folder,
# checks its listing and SHA256SUMS, and runs HOST_TEST (the sample host's
# test: six clicks, six different pictures, the sixth exactly as decoded by
# the oracle) under wine on the unpacked files alone.
set -eu
root=$1 build=$2 wine_dir=$3 host_test=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/pngplug-dist.XXXXXX")
trap 'rm -rf "$work"' EXIT

first=$(python3 "$root/tools/dist/make_dist.py" "$root" "$build" "$work/first")
second=$(python3 "$root/tools/dist/make_dist.py" "$root" "$build" "$work/second")
cmp "$first" "$second" || { echo "FAIL: two archives from the same build differ"; exit 1; }

mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$first")
top=$work/unpacked/$(basename "$first" .zip)
[ -d "$top" ] || { echo "FAIL: the archive has no folder $(basename "$top")"; exit 1; }
# A list, one item a line, as words on one line.
oneline() { paste -sd " " - <<<"$1"; }
expected='README.txt SHA256SUMS bg.png gauntlet_woman.png ico_podium_kbz1.png include/pngplug.h kbz logo.png
lib/libpngplug.dll.a lib/pngplug.lib ms34.png music.png pngplug-host.exe pngplug.dll src/host.cpp'
listing=$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | paste -sd' ')
[ "$listing" = "$(oneline "$expected")" ] || { echo "FAIL: archive holds: $listing"; exit 1; }
(cd "$top" && sha256sum --quiet -c SHA256SUMS) || { echo "FAIL: SHA256SUMS does not match"; exit 1; }

# Only what the archive holds goes into wine's working folder.
"$(dirname "$0")/../win32/wine_run.sh" "$wine_dir" "$host_test" "$top"/*.exe "$top"/*.dll "$top"/*.png
echo "archive $(basename "$first"): $(stat -c %s "$first") bytes, unpacked and run"
