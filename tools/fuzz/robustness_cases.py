#!/usr/bin/env python3
"""Builds one small PNG file for every case of docs/robustness.md, loads each
with pngdecode, leniently and with --strict-crc, and checks the outcome the
table of the document states: result, status, chunks kept and rows decoded.

    robustness_cases.py PNGDECODE DOC [OUTDIR]

Exits 1 when a row of the table and the decoder disagree, or when a case has
no row or a row no case, so the document cannot drift from the decoder.
"""
import re
import struct
import subprocess
import sys
import tempfile
import zlib
from pathlib import Path

SIGNATURE = b'\x89PNG\r\n\x1a\n'


def chunk(kind, data, bad_crc=False):
    crc = zlib.crc32(kind + data) & 0xFFFFFFFF
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', crc ^ (1 if bad_crc else 0))


def frame(length, kind, data=b''):
    """A chunk whose length field says something else than its data."""
    return struct.pack('>I', length) + kind + data


def header(width=4, height=4, depth=8, colour=6, compression=0, filter_method=0, interlace=0):
    return chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, colour, compression, filter_method,
                                      interlace))


def rows(width=4, height=4, bytes_per_pixel=4, filter_type=0):
    """Filter byte, then samples that are never all zero in a row."""
    return b''.join(bytes([filter_type]) + bytes((x * 37 + y * 11 + 1) & 255 or 1
                                                 for x in range(width * bytes_per_pixel))
                    for y in range(height))


ZDATA = zlib.compress(rows(), 9)
PALETTE_ROWS = zlib.compress(rows(bytes_per_pixel=1), 9)
END = chunk(b'IEND', b'')
DATA_AT = len(SIGNATURE) + 25  # where the image data chunk of plain() starts


def plain(before=b'', after=b'', data=None, head=None):
    return SIGNATURE + (head or header()) + before + chunk(b'IDAT', ZDATA if data is None else data) + after + END


def paletted(*middle):
    return SIGNATURE + header(colour=3) + b''.join(middle) + END


def signature_cases():
    return {
        'sig_wrong': b'\x88' + plain()[1:],
        'sig_short': SIGNATURE[:7],
        'empty': b'',
        'sig_only': SIGNATURE,
    }


def truncation_cases():
    whole = plain()
    data_end = DATA_AT + 8 + len(ZDATA)
    return {
        'trunc_in_ihdr_length': whole[:10],
        'trunc_in_ihdr_data': whole[:20],
        'trunc_in_ihdr_crc': whole[:31],
        'trunc_after_ihdr': whole[:33],
        'trunc_in_idat_length': whole[:DATA_AT + 2],
        'trunc_in_idat_data': whole[:DATA_AT + 8 + len(ZDATA) // 2],
        'trunc_in_idat_crc': whole[:data_end + 2],
        'trunc_before_iend': whole[:data_end + 4],
        'trunc_in_iend': whole[:-6],
        'trunc_after_short_idat': SIGNATURE + header() + chunk(b'IDAT', ZDATA[:len(ZDATA) // 2]),
    }


def crc_cases():
    text = chunk(b'tEXt', b'a\x00b', bad_crc=True)
    return {
        'crc_bad_ihdr': SIGNATURE + chunk(b'IHDR', header()[8:-4], bad_crc=True) + chunk(b'IDAT', ZDATA) + END,
        'crc_bad_text_before_idat': plain(before=text),
        'crc_bad_text_after_idat': plain(after=text),
        'crc_bad_idat': SIGNATURE + header() + chunk(b'IDAT', ZDATA, bad_crc=True) + END,
        'crc_bad_idat_first_of_two': SIGNATURE + header() + chunk(b'IDAT', ZDATA[:10], bad_crc=True) +
        chunk(b'IDAT', ZDATA[10:]) + END,
        'crc_bad_iend': plain()[:-4] + b'\0\0\0\0',
    }


def header_cases():
    return {
        'hdr_short': SIGNATURE + chunk(b'IHDR', header()[8:-5]) + chunk(b'IDAT', ZDATA) + END,
        'hdr_long_14': SIGNATURE + chunk(b'IHDR', header()[8:-4] + b'\0') + chunk(b'IDAT', ZDATA) + END,
        'hdr_width0': plain(head=header(width=0), data=zlib.compress(b'\0' * 4)),
        'hdr_height0': plain(head=header(height=0), data=zlib.compress(b'')),
        'hdr_width65536': plain(head=header(width=65536)),
        'hdr_height_2e31': plain(head=header(height=0x80000000)),
        'hdr_compression1': plain(head=header(compression=1)),
        'hdr_filter1': plain(head=header(filter_method=1)),
        'hdr_interlace2': plain(head=header(interlace=2)),
    }


def format_cases():
    return {
        'fmt_colour1': plain(head=header(colour=1)),
        'fmt_colour5': plain(head=header(colour=5)),
        'fmt_colour7': plain(head=header(colour=7)),
        'fmt_grey_depth3': plain(head=header(colour=0, depth=3)),
        'fmt_rgb_depth4': plain(head=header(colour=2, depth=4)),
        'fmt_rgba_depth32': plain(head=header(depth=32)),
        'fmt_palette_depth16': SIGNATURE + header(depth=16, colour=3) + chunk(b'PLTE', b'\xff\0\0' * 2) +
        chunk(b'IDAT', zlib.compress(rows(bytes_per_pixel=2))) + END,
    }


def size_cases():
    a_little = zlib.compress(rows(16, 2))
    return {
        'size_65535sq_rgba': plain(head=header(65535, 65535), data=a_little),
        'size_65535sq_rgba_adam7': plain(head=header(65535, 65535, interlace=1), data=a_little),
        'size_65535sq_grey1': plain(head=header(65535, 65535, depth=1, colour=0), data=a_little),
        'size_16384sq_rgba': plain(head=header(16384, 16384), data=a_little),
    }


def length_cases():
    return {
        'len_ffffffff_text_after_idat': SIGNATURE + header() + chunk(b'IDAT', ZDATA) +
        frame(0xFFFFFFFF, b'tEXt', b'abc') + END,
        'len_7fffffff_unknown_before_idat': SIGNATURE + header() + frame(0x7FFFFFFF, b'abCD', b'xyz') +
        chunk(b'IDAT', ZDATA) + END,
        'len_ffffffff_idat': SIGNATURE + header() + frame(0xFFFFFFFF, b'IDAT', ZDATA) + END,
        'len_7fffffff_idat': SIGNATURE + header() + frame(0x7FFFFFFF, b'IDAT', ZDATA) + END,
        'len_fffffff0_chrm': SIGNATURE + header() + frame(0xFFFFFFF0, b'cHRM', b'\0' * 8) +
        chunk(b'IDAT', ZDATA) + END,
        'len_7fffffff_second_idat': SIGNATURE + header() + chunk(b'IDAT', ZDATA) + chunk(b'tEXt', b'a\0b') +
        frame(0x7FFFFFFF, b'IDAT', b'\0' * 8) + END,
    }


def zlib_cases():
    return {
        'zlib_bad_header': plain(data=b'\x78\x00' + ZDATA[2:]),
        'zlib_preset_dict': plain(data=b'\x78\xbb' + ZDATA[2:]),
        'zlib_bad_block': plain(data=ZDATA[:2] + b'\xff' * 8 + ZDATA[10:]),
        'zlib_bad_adler': plain(data=ZDATA[:-4] + b'\0\0\0\0'),
        'zlib_truncated': plain(data=ZDATA[:len(ZDATA) // 2]),
        'zlib_truncated_adam7': plain(head=header(interlace=1), data=ZDATA[:len(ZDATA) // 2]),
        'zlib_too_few_rows': plain(data=zlib.compress(rows(height=2))),
        'zlib_too_many_rows': plain(data=zlib.compress(rows(height=40))),
        'zlib_garbage_after_end': plain(data=ZDATA + b'garbage'),
        'filter_type_9': plain(data=zlib.compress(rows(filter_type=9))),
    }


def sequence_cases():
    text = chunk(b'tEXt', b'a\0b')
    return {
        'idat_then_text': SIGNATURE + header() + chunk(b'IDAT', ZDATA[:10]) + text + chunk(b'IDAT', ZDATA[10:]) + END,
        'idat_then_iend_short': SIGNATURE + header() + chunk(b'IDAT', ZDATA[:10]) + END,
        'idat_empty_only': SIGNATURE + header() + chunk(b'IDAT', b'') + END,
        'idat_empty_then_data': SIGNATURE + header() + chunk(b'IDAT', b'') + chunk(b'IDAT', ZDATA) + END,
        'idat_many_small': SIGNATURE + header() + b''.join(chunk(b'IDAT', ZDATA[i:i + 1])
                                                           for i in range(len(ZDATA))) + END,
        'idat_second_sequence': plain(after=text + chunk(b'IDAT', ZDATA)),
        'no_idat': SIGNATURE + header() + END,
    }


def order_cases():
    gamma = chunk(b'gAMA', struct.pack('>I', 45455))
    palette = chunk(b'PLTE', b'\xff\0\0' * 4)
    palette_data = chunk(b'IDAT', PALETTE_ROWS)
    return {
        'first_not_ihdr': SIGNATURE + chunk(b'tEXt', b'a\0b') + header() + chunk(b'IDAT', ZDATA) + END,
        'first_chrm': SIGNATURE + chunk(b'cHRM', b'\0' * 32) + header() + chunk(b'IDAT', ZDATA) + END,
        'dup_ihdr': SIGNATURE + header() + header() + chunk(b'IDAT', ZDATA) + END,
        'dup_ihdr_after_idat': plain()[:-12] + header() + END,
        'dup_plte': paletted(palette, palette, palette_data),
        'dup_gama': plain(before=gamma + gamma),
        'dup_trns': plain(before=chunk(b'tRNS', b'\0\0') * 2),
        'dup_iend': plain() + END,
        'plte_after_idat': paletted(palette_data, palette),
        'plte_missing': paletted(palette_data),
        'gama_after_idat': plain(after=gamma),
        'after_iend': plain() + frame(5, b'junk') + b'trailing',
    }


def table_cases():
    palette_data = chunk(b'IDAT', PALETTE_ROWS)
    return {
        'plte_257': paletted(chunk(b'PLTE', b'\0' * 771), palette_data),
        'plte_len_7': paletted(chunk(b'PLTE', b'\0' * 7), palette_data),
        'plte_257_after_idat': paletted(palette_data, chunk(b'PLTE', b'\0' * 771)),
        'trns_257_after_idat': paletted(chunk(b'PLTE', b'\0' * 6), palette_data, chunk(b'tRNS', b'\0' * 257)),
        'trns_257': paletted(chunk(b'PLTE', b'\0' * 6), chunk(b'tRNS', b'\0' * 257), palette_data),
        'gama_len_3': plain(before=chunk(b'gAMA', b'\0\0\1')),
        'text_short': plain(before=chunk(b'tEXt', b'a')),
        'time_len_6': plain(before=chunk(b'tIME', b'\0' * 6)),
    }


def volume_cases():
    # Work must grow with the file, not with its square: 40,000 chunks of 12
    # bytes load in well under a second when each costs the same. A load
    # keeps 1000 chunks of the kinds that may repeat, and no ancillary one
    # of more than 8 MB.
    big = 8 * 1024 * 1024 + 1
    return {
        'many_empty_chunks': plain(before=chunk(b'abCD', b'') * 40000),
        'flood_text_time': plain(before=chunk(b'tEXt', b'a\0b') * 600 + chunk(b'tIME', b'\0' * 7) * 600),
        'flood_idat_after_data': plain(after=chunk(b'IDAT', b'') * 100000),
        'flood_then_plte': paletted(chunk(b'abCD', b'') * 1001, chunk(b'PLTE', b'\xff\0\0' * 4),
                                    chunk(b'IDAT', PALETTE_ROWS)),
        'ancillary_over_8mb': plain(before=chunk(b'abCD', b'\0' * big)),
        'critical_over_8mb': plain(before=chunk(b'ABCD', b'\0' * big)),
    }


def all_cases():
    # Its own file, for length; it builds its files with the helpers above.
    from robustness_animations import animation_cases  # pylint: disable=import-outside-toplevel
    cases = {'ok': plain()}
    for group in (signature_cases, truncation_cases, crc_cases, header_cases, format_cases, size_cases,
                  length_cases, zlib_cases, sequence_cases, order_cases, table_cases, volume_cases,
                  animation_cases):
        cases.update(group())
    return cases


# Every case loads in milliseconds; far beyond that the load has stopped
# being linear in its input (or hangs).
SECONDS_PER_LOAD = 60  # a hang, not a slow sanitizer build on a busy machine


def decode(pngdecode, path, *options):
    try:
        out = subprocess.run([pngdecode, *options, str(path)], capture_output=True, text=True,
                             timeout=SECONDS_PER_LOAD).stdout
    except subprocess.TimeoutExpired:
        return {'result': f'over {SECONDS_PER_LOAD} s', 'status': '-'}
    found = dict(line.split(': ', 1) for line in out.splitlines() if ': ' in line)
    # "status: 9 (signature missing or wrong)": the table keeps the code alone.
    if 'status' in found:
        found['status'] = found['status'].split(' ', 1)[0]
    return found


def runs_of(names):
    """Chunk names with repeats folded: "IHDR abCD x40000 IDAT"."""
    folded = []
    for name in names.split():
        if folded and folded[-1][0] == name:
            folded[-1][1] += 1
        else:
            folded.append([name, 1])
    return ' '.join(name if n == 1 else f'{name} x{n}' for name, n in folded) or '(none)'


def rows_decoded(pam):
    """Rows of the picture holding any nonzero sample; '-' without a picture."""
    if not pam.exists():
        return '-'
    data = pam.read_bytes()
    head, body = data.split(b'ENDHDR\n', 1)
    width = int(re.search(rb'WIDTH (\d+)', head).group(1))
    height = int(re.search(rb'HEIGHT (\d+)', head).group(1))
    stride = width * 4
    filled = sum(1 for y in range(height) if any(body[y * stride:(y + 1) * stride]))
    return f'{filled}/{height}'


def observe_animation(pngdecode, path, folder):
    frames = folder / (path.stem + '-frames')
    frames.mkdir(exist_ok=True)
    seen = decode(pngdecode, path, '--frames', str(frames))
    return {
        'lenient': f"{seen.get('result')}, {seen.get('status')}",
        'frames': seen.get('frames', '-'),
        'animation': seen.get('animation', '-'),
    }


def observe(pngdecode, name, data, folder):
    path = folder / f'{name}.png'
    path.write_bytes(data)
    if name.startswith('anim_'):
        return observe_animation(pngdecode, path, folder)
    pam = folder / f'{name}.pam'
    pam.unlink(missing_ok=True)
    small = not name.startswith('size_')
    lenient = decode(pngdecode, path, *(['--pam', str(pam)] if small else []))
    strict = decode(pngdecode, path, '--strict-crc')
    return {
        'lenient': f"{lenient.get('result')}, {lenient.get('status')}",
        'strict': f"{strict.get('result')}, {strict.get('status')}",
        'chunks': runs_of(lenient.get('chunks', '')),
        'rows': rows_decoded(pam) if small else '-',
    }


# | `name` | lenient | strict | chunks | rows | what happens |
ROW = re.compile(r'^\|\s*`([a-z0-9_]+)`\s*\|([^|]*)\|([^|]*)\|([^|]*)\|([^|]*)\|')
# | `anim_name` | lenient | frames | animation | what happens |
ANIMATION_ROW = re.compile(r'^\|\s*`(anim_[a-z0-9_]+)`\s*\|([^|]*)\|([^|]*)\|([^|]*)\|')


def table_of(doc):
    expected = {}
    for line in Path(doc).read_text().splitlines():
        match = ANIMATION_ROW.match(line)
        if match:
            name, *values = (v.strip() for v in match.groups())
            expected[name] = dict(zip(('lenient', 'frames', 'animation'), values))
            continue
        match = ROW.match(line)
        if match:
            name, *values = (v.strip() for v in match.groups())
            expected[name] = dict(zip(('lenient', 'strict', 'chunks', 'rows'), values))
    return expected


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    pngdecode, doc = sys.argv[1], sys.argv[2]
    expected = table_of(doc)
    cases = all_cases()
    failures = [f'{name}: no row in {doc}' for name in cases if name not in expected]
    failures += [f'{name}: a row without a case' for name in expected if name not in cases]
    with tempfile.TemporaryDirectory() as scratch:
        folder = Path(sys.argv[3]) if len(sys.argv) == 4 else Path(scratch)
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in cases.items():
            seen = observe(pngdecode, name, data, folder)
            want = expected.get(name)
            if want and seen != want:
                failures.append(f'{name}: the table says {want}, the decoder gives {seen}')
            print('| `' + name + '` | ' + ' | '.join(seen.values()) + ' |')
    for failure in failures:
        print('MISMATCH ' + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
