#!/usr/bin/python3
"""demo_film.py SHOTS OUT.png: the host's film of the animated picture (its
film.txt and film-<j>.bmp screenshots) as an animated PNG of the view's
rectangle: each shot that differs from the one before is a frame, shown
until the next differing shot was taken, so the frames keep the times at
which they appeared on the screen."""
import sys

from PIL import Image

VIEW_BOX = (40, 40, 520, 400)  # the host's view rectangle, as pngplug-host places it


def main():
    shots, out = sys.argv[1:3]
    times = [line.split() for line in open(f"{shots}/film.txt").read().splitlines() if line.strip()]
    frames, starts = [], []
    for name, at in times:
        image = Image.open(f"{shots}/{name}").convert("RGB").crop(VIEW_BOX)
        if not frames or image.tobytes() != frames[-1].tobytes():
            frames.append(image)
            starts.append(int(at))
    if len(frames) < 2:
        sys.exit(f"demo_film: the {len(times)} shots show one picture only: nothing played")
    ends = starts[1:] + [int(times[-1][1]) + 40]
    durations = [max(10, end - start) for start, end in zip(starts, ends)]
    frames[0].save(out, save_all=True, append_images=frames[1:], duration=durations, loop=0)
    print(f"{len(frames)} frames from {len(times)} shots")


if __name__ == "__main__":
    main()
