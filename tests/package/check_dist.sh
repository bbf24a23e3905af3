#!/usr/bin/env bash
# check_dist.sh ROOT BUILD WINE_DIR HOST_TEST: makes the release archive from
# BUILD twice (the same bytes both times), unpacks it into an empty folder,
# checks its listing, SHA256SUMS and LICENSE.txt, makes sure that a copy of
# the sources whose CHANGELOG.md lacks the version's section is refused, and
# runs HOST_TEST (the sample host's test: six clicks, six different pictures,
# the sixth exactly as decoded by the oracle, every export's answer) under
# wine on the unpacked files alone.
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
expected='LICENSE.txt README.txt SHA256SUMS bg.png gauntlet_woman.png ico_podium_kbz1.png include/pngplug.h kbz logo.png
lib/libpngplug.dll.a lib/pngplug.lib ms34.png music.png pngplug-host.exe pngplug.dll src/host.cpp
src/host_shot.cpp src/host_shot.h'
listing=$(cd "$top" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | paste -sd' ')
[ "$listing" = "$(oneline "$expected")" ] || { echo "FAIL: archive holds: $listing"; exit 1; }
(cd "$top" && sha256sum --quiet -c SHA256SUMS) || { echo "FAIL: SHA256SUMS does not match"; exit 1; }
# LICENSE.txt: the root LICENSE word for word, then the notices of zlib and the run-time.
licence=$(tr -d '\r' <"$top/LICENSE.txt")
own=$(cat "$root/LICENSE")
[ "${licence:0:${#own}}" = "$own" ] ||
    { echo "FAIL: LICENSE.txt does not begin with LICENSE"; exit 1; }
for notice in 'Jean-loup Gailly and Mark' 'GCC Runtime Library Exception'; do
    grep -q "$notice" <<<"$licence" || { echo "FAIL: LICENSE.txt lacks the notice '$notice'"; exit 1; }
done

# The archive from a copy of what it is made of: first as it is (so that a
# refusal below can only come from the changelog), then with the heading of
# this version's section taken out of CHANGELOG.md.
version=$(basename "$first" .zip)
version=${version#pngplug-}
version=${version%-win32}
copy=$work/copy
mkdir -p "$copy/tools/host" "$copy/plugin"
cp -r "$root/samples" "$root/LICENSE" "$root/CHANGELOG.md" "$copy/"
cp -r "$root/tools/dist" "$copy/tools/"
cp "$root/tools/host/host.cpp" "$root/tools/host/host_shot.cpp" "$root/tools/host/host_shot.h" "$copy/tools/host/"
cp "$root/plugin/pngplug.h" "$copy/plugin/"
python3 "$root/tools/dist/make_dist.py" "$copy" "$build" "$work/copied" >/dev/null ||
    { echo "FAIL: the archive cannot be made from the copy of its sources"; exit 1; }
grep -vF "## [$version]" "$root/CHANGELOG.md" >"$copy/CHANGELOG.md"
if python3 "$root/tools/dist/make_dist.py" "$copy" "$build" "$work/refused" 2>"$work/refusal"; then
    echo "FAIL: an archive was made for $version without its section in CHANGELOG.md"; exit 1
fi
if ! grep -qF "CHANGELOG.md" "$work/refusal" || ! grep -qF "$version" "$work/refusal"; then
    echo "FAIL: the refusal does not name CHANGELOG.md and $version:"; cat "$work/refusal"; exit 1
fi
[ -z "$(ls -A "$work/refused" 2>/dev/null)" ] || { echo "FAIL: a refused archive left files"; exit 1; }
echo "without its changelog section: $(cat "$work/refusal")"

# Only what the archive holds goes into wine's working folder.
"$(dirname "$0")/../win32/wine_run.sh" "$wine_dir" "$host_test" "$top"/*.exe "$top"/*.dll "$top"/*.png
echo "archive $(basename "$first"): $(stat -c %s "$first") bytes, unpacked and run"
