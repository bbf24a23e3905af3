#!/usr/bin/python3
"""pngdecode --frames against an independent composer.

usage: frames_oracle.py PNGDECODE MAKE_ANIMATIONS WORKDIR

The test animations come from Pillow's writer (below) and from the tests'
own PNG writer (MAKE_ANIMATIONS). The oracle cuts each frame out of the file
as a PNG of its own, has Pillow decode it, and composes the frames with the
exact formulas of blend "over" and the three disposes; every channel must be
within 1 of it (colour only where a pixel is not fully transparent). Where
every alpha is 0 or 255, Pillow's own composition is checked too: with
translucent pixels it pastes through a mask instead of composing "over", so
it is no oracle there. Files whose animation is broken must give one frame,
their static picture, and an animation line that says why.
"""
import os
import struct
import subprocess
import sys
import zlib
from fractions import Fraction
from io import BytesIO

from PIL import Image, ImageDraw

FAILURES = []
PILLOW_CHECKED = []
# Pillow composes on a canvas of the file's own mode: one without alpha
# cannot hold the transparent black that dispose "background" leaves, and
# Pillow 9.4 cannot decode the later frames of 16-bit grey at all.
PILLOW_COMPOSES = ("RGBA", "LA", "P")


def fail(name, text):
    FAILURES.append(f"{name}: {text}")


def chunks(data):
    at = 8
    while at + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        yield kind.decode("latin-1"), data[at + 8:at + 8 + length]
        at += 12 + length


def png_of(header, tables, width, height, parts):
    def chunk(kind, body):
        crc = zlib.crc32(kind + body) & 0xFFFFFFFF
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">II", width, height) + header[8:])
    for kind, body in tables:
        out += chunk(kind.encode(), body)
    return out + chunk(b"IDAT", b"".join(parts)) + chunk(b"IEND", b"")


def rgba_of(image):
    if image.mode in ("I", "I;16", "I;16B"):
        image = image.point(lambda v: v * (1 / 256)).convert("L")
    return image.convert("RGBA")


def frames_of(data):
    """(fcTL fields, RGBA image of the region) for each frame, decoded lazily."""
    header, tables, frames, count, seen_idat = None, [], [], None, False
    for kind, body in chunks(data):
        if kind == "IHDR":
            header = body
        elif kind in ("PLTE", "tRNS") and not seen_idat:
            tables.append((kind, body))
        elif kind == "acTL":
            count = struct.unpack(">I", body[:4])[0]
        elif kind == "fcTL":
            frames.append({"fields": struct.unpack(">IIIIIHHBB", body), "parts": [], "default": not seen_idat})
        elif kind == "IDAT":
            seen_idat = True
            if frames and frames[-1]["default"]:
                frames[-1]["parts"].append(body)
        elif kind == "fdAT":
            frames[-1]["parts"].append(body[4:])
    for frame in frames[:count]:
        _, w, h, x, y, num, den, dispose, blend = frame["fields"]
        def decode(frame=frame, w=w, h=h):
            return rgba_of(Image.open(BytesIO(png_of(header, tables, w, h, frame["parts"]))))
        yield (w, h, x, y, num, den, dispose, blend), decode


def over(src, dst):
    sa, da = Fraction(src[3], 255), Fraction(dst[3], 255)
    a = sa + da * (1 - sa)
    if a == 0:
        return (0, 0, 0, 0)
    colour = [(s * sa + d * da * (1 - sa)) / a for s, d in zip(src[:3], dst[:3])]
    return tuple(int(v + Fraction(1, 2)) for v in colour) + (int(a * 255 + Fraction(1, 2)),)


def compose(data, width, height, limit):
    """The canvas after each frame, as lists of RGBA tuples."""
    canvas = [(0, 0, 0, 0)] * (width * height)
    shown = []
    for index, ((w, h, x, y, _, _, dispose, blend), decode) in enumerate(frames_of(data)):
        if index == limit:
            break
        region = decode().tobytes()
        before = list(canvas)
        for j in range(h):
            for i in range(w):
                src = tuple(region[4 * (j * w + i):4 * (j * w + i) + 4])
                at = (y + j) * width + x + i
                canvas[at] = src if blend == 0 else over(src, canvas[at])
        shown.append(list(canvas))
        if dispose == 1 or (dispose == 2 and index == 0):
            for j in range(h):
                for i in range(w):
                    canvas[(y + j) * width + x + i] = (0, 0, 0, 0)
        elif dispose == 2:
            canvas = before
    return shown


def read_pam(path):
    data = open(path, "rb").read()
    end = data.index(b"ENDHDR\n") + 7
    fields = dict(line.split(" ", 1) for line in data[:end].decode().split("\n")[1:-2])
    return int(fields["WIDTH"]), int(fields["HEIGHT"]), data[end:]


def worst_difference(ours, theirs):
    worst = 0
    for p in range(0, len(ours), 4):
        if ours[p + 3] == 0 and theirs[p + 3] == 0:
            continue
        worst = max(worst, max(abs(ours[p + c] - theirs[p + c]) for c in range(4)))
    return worst


def run(pngdecode, path, out):
    os.makedirs(out, exist_ok=True)
    result = subprocess.run([pngdecode, "--frames", out, path], capture_output=True, text=True)
    lines = dict(line.split(": ", 1) for line in result.stdout.splitlines() if ": " in line)
    return result.returncode, lines


def check_animation(pngdecode, path, out, frames_expected, why_expected):
    name = os.path.basename(path)
    code, lines = run(pngdecode, path, out)
    data = open(path, "rb").read()
    frames = int(lines.get("frames", -1))
    if code != 0 or frames != frames_expected:
        return fail(name, f"exit {code}, {frames} frames where {frames_expected} were due")
    why = lines.get("animation", "-")
    if (why_expected == "-") != (why == "-") or why_expected not in why and why_expected != "-":
        return fail(name, f"animation line {why!r} where {why_expected!r} was due")
    if why.startswith("none"):
        subprocess.run([pngdecode, "--pam", out + "/static.pam", path], capture_output=True, check=True)
        if read_pam(out + "/frame-0000.pam") != read_pam(out + "/static.pam"):
            fail(name, "the one frame is not the static picture")
        return
    width, height = struct.unpack(">II", data[16:24])
    oracle = compose(data, width, height, frames)
    delays = [f"{num * 1000 / (den or 100):.3f}".rstrip("0").rstrip(".")
              for (_, _, _, _, num, den, _, _), _ in list(frames_of(data))[:frames]]
    if lines.get("delays_ms", "").split() != delays:
        fail(name, f"delays {lines.get('delays_ms')} where {' '.join(delays)} were due")
    plays = struct.unpack(">I", next(b for k, b in chunks(data) if k == "acTL")[4:8])[0]
    if lines.get("plays") != str(plays):
        fail(name, f"plays {lines.get('plays')} where {plays} was due")
    pillow = Image.open(path)
    for index, canvas in enumerate(oracle):
        _, _, ours = read_pam(f"{out}/frame-{index:04d}.pam")
        theirs = bytes(v for pixel in canvas for v in pixel)
        if (worst := worst_difference(ours, theirs)) > 1:
            fail(name, f"frame {index} differs from the composer by {worst}")
        if all(pixel[3] in (0, 255) for pixel in canvas) and why == "-" and pillow.mode in PILLOW_COMPOSES:
            pillow.seek(index)
            PILLOW_CHECKED.append(name)
            if (worst := worst_difference(ours, pillow.convert("RGBA").tobytes())) > 1:
                fail(name, f"frame {index} differs from Pillow's composition by {worst}")


def pillow_cases(folder):
    """Animations from Pillow's writer: every blend and dispose, regions at
    the canvas's edges, each of Pillow's modes."""
    def frames(mode, binary):
        out = []
        for i in range(5):
            image = Image.new("RGBA", (40, 30), (0, 0, 0, 0))
            draw = ImageDraw.Draw(image)
            alpha = 255 if binary else 90 + 40 * i
            draw.ellipse((i * 6, 2, i * 6 + 18, 26), fill=(250, 40 * i, 20, alpha))
            draw.rectangle((28, 30 - 4 * i, 39, 29), fill=(10, 200, 40 * i, 255 if binary else 160))
            draw.point((0, 0), fill=(0, 0, 255, 255) if i % 2 else (0, 0, 0, 0))
            out.append(image if mode == "RGBA" else image.convert(mode))
        return out
    cases = [
        ("pillow-rgba", "RGBA", False, dict(disposal=[0, 1, 2, 0, 2], blend=[0, 1, 1, 1, 0], loop=0)),
        ("pillow-rgba-binary", "RGBA", True, dict(disposal=[2, 0, 1, 2, 1], blend=[1, 1, 0, 1, 1], loop=1)),
        ("pillow-rgb", "RGB", True, dict(disposal=[0, 2, 1, 0, 0], blend=[0, 1, 0, 1, 0], loop=2)),
        ("pillow-l", "L", True, dict(disposal=[0, 2, 0, 2, 0], blend=0, loop=0)),
        ("pillow-la", "LA", False, dict(disposal=2, blend=1, loop=4)),
        ("pillow-p", "P", True, dict(disposal=[0, 2, 0, 2, 0], blend=[0, 1, 0, 1, 0], loop=0)),
        ("pillow-hidden-default", "RGBA", False, dict(disposal=0, blend=1, default_image=True)),
    ]
    for name, mode, binary, options in cases:
        images = frames(mode, binary)
        images[0].save(f"{folder}/{name}.png", save_all=True, append_images=images[1:],
                       duration=[100, 40, 0, 250, 33], **options)
        # Pillow counts a default image that is no frame as its frame 0.
        count = Image.open(f"{folder}/{name}.png").n_frames - options.get("default_image", False)
        yield f"{name}.png", count, "-"


def main():
    pngdecode, make_animations, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    subprocess.run([make_animations, work], check=True)
    cases = [line.split(" ", 2) for line in open(f"{work}/cases.txt").read().splitlines()]
    cases = [(name, int(frames), why) for name, frames, why in cases] + list(pillow_cases(work))
    for name, frames, why in cases:
        check_animation(pngdecode, f"{work}/{name}", f"{work}/frames-{name}", frames, why)
    print(f"{len(cases)} animations checked ({len(set(PILLOW_CHECKED))} against Pillow's composition too), "
          f"{len(FAILURES)} failed")
    for failure in FAILURES:
        print("FAIL", failure)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
