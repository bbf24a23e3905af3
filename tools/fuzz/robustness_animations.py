"""The animation cases of docs/robustness.md, for robustness_cases.py: small
animated files whose structure breaks one rule each, and a few that keep
them all."""
import struct
import zlib

from robustness_cases import END, SIGNATURE, ZDATA, chunk, header, rows


def animation(*parts, count=None, plays=0, default_frame=True, acTL=True):
    """A 4 x 4 RGBA animation: the default image, then one frame of 2 x 2 at
    (1, 1) for each part, each part a list of chunk kinds for that frame's
    place ('fcTL', 'fdAT', or raw bytes); sequence numbers as they come."""
    seq = [0]

    def control(w=4, h=4, x=0, y=0, dispose=0, blend=0):
        body = struct.pack('>IIIIIHHBB', seq[0], w, h, x, y, 1, 10, dispose, blend)
        seq[0] += 1
        return chunk(b'fcTL', body)

    def data(payload):
        body = struct.pack('>I', seq[0]) + payload
        seq[0] += 1
        return chunk(b'fdAT', body)

    small = zlib.compress(rows(width=2, height=2), 9)
    frames = count if count is not None else len(parts) + default_frame
    out = SIGNATURE + header() + (chunk(b'acTL', struct.pack('>II', frames, plays)) if acTL else b'')
    out += (control() if default_frame else b'') + chunk(b'IDAT', ZDATA)
    for part in parts:
        for piece in part:
            if piece == 'fcTL':
                out += control(2, 2, 1, 1, 1, 1)
            elif piece == 'fdAT':
                out += data(small)
            else:
                out += piece(seq) if callable(piece) else piece
    return out + END


def animation_cases():
    """Each broken animation plays as its static picture, whose load is that
    of any picture: the chunks acTL, fcTL and fdAT are kept as unknown ones."""
    frame = ['fcTL', 'fdAT']
    skip = lambda seq: seq.__setitem__(0, seq[0] + 1) or b''  # noqa: E731 (a sequence number left out)
    bad_data = lambda seq: (seq.__setitem__(0, seq[0] + 1) or  # noqa: E731
                            chunk(b'fdAT', struct.pack('>I', seq[0] - 1) + b'\x78\x9c\xff\xff'))
    return {
        'anim_ok': animation(frame, frame),
        'anim_default_not_a_frame': animation(frame, frame, default_frame=False),
        'anim_fdat_in_pieces': animation(['fcTL', 'fdAT', 'fdAT'], frame),
        'anim_beyond_count': animation(frame, frame, count=2),
        'anim_fewer_than_count': animation(frame, count=5),
        'anim_no_actl': animation(frame, acTL=False),
        'anim_sequence_gap': animation(['fcTL', skip, 'fdAT']),
        'anim_frame_without_data': animation(['fcTL'], frame),
        'anim_control_at_end': animation(frame, ['fcTL']),
        'anim_second_actl': animation([chunk(b'acTL', struct.pack('>II', 2, 0))], frame),
        'anim_count_zero': animation(frame, count=0),
        'anim_region_outside': animation([lambda seq: skip(seq) + chunk(b'fcTL', struct.pack(
            '>IIIIIHHBB', seq[0] - 1, 2, 2, 3, 3, 1, 10, 0, 0)), 'fdAT']),
        'anim_dispose_3': animation([lambda seq: skip(seq) + chunk(b'fcTL', struct.pack(
            '>IIIIIHHBB', seq[0] - 1, 2, 2, 1, 1, 1, 10, 3, 0)), 'fdAT']),
        'anim_data_interrupted': animation(['fcTL', 'fdAT', chunk(b'tEXt', b'a\0b'), 'fdAT']),
        'anim_fdat_before_fctl': animation(['fdAT', 'fcTL']),
        'anim_first_frame_corrupt': animation(['fcTL', bad_data], default_frame=False),
        'anim_later_frame_corrupt': animation(frame, ['fcTL', bad_data]),
    }
