#!/usr/bin/env python3
"""Writes the malformed and edge-case WAV/AIFF files of tests/corpus/wav_open
and tests/corpus/aiff_open, and the outcome each must have (EXPECTED).

Each EXPECTED line: <file> <frames> <format> <channels> [<bigEndian>]
or <file> fail (openFile answers 0 frames). Run from this folder; the test
checks that every file of the two folders is listed.
"""
import os
import struct

def le16(v): return struct.pack('<H', v)
def le32(v): return struct.pack('<I', v & 0xFFFFFFFF)
def be16(v): return struct.pack('>H', v)
def be32(v): return struct.pack('>I', v & 0xFFFFFFFF)

def chunk(cid, body, size=None):
    size = len(body) if size is None else size
    pad = b'\0' if len(body) % 2 else b''
    return cid + le32(size) + body + pad

def fmt(tag=1, ch=2, rate=44100, align=4, bits=16, extra=b''):
    return le16(tag) + le16(ch) + le32(rate) + le32(rate * align) + le16(align) + le16(bits) + extra

def wav(chunks, head=b'RIFF\0\0\0\0WAVE'):
    return head + b''.join(chunks)

def samples(n, seed=1):
    return bytes((i * 37 + seed) & 0xFF for i in range(n))

expected = {}

def put(folder, name, data, outcome):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)
    expected[f'{folder}/{name}'] = outcome

W = 'wav_open'
valid16 = wav([chunk(b'fmt ', fmt()), chunk(b'data', samples(4000))])
put(W, 'valid_16_stereo.wav', valid16, '1000 9 2')
put(W, 'mono_24bit_3001_bytes.wav', wav([chunk(b'fmt ', fmt(ch=1, align=3, bits=24)), chunk(b'data', samples(3001))]), '1000 3 1')
put(W, 'fmt_18_bytes.wav', wav([chunk(b'fmt ', fmt(extra=le16(0))), chunk(b'data', samples(400))]), '100 9 2')
put(W, 'extensible_24bit_stereo.wav', wav([chunk(b'fmt ', fmt(tag=0xFFFE, align=6, bits=24, extra=bytes(24))), chunk(b'data', samples(600))]), '100 10 2')
put(W, 'odd_list_chunk_padded.wav', wav([chunk(b'LIST', b'abc'), chunk(b'fmt ', fmt()), chunk(b'data', samples(40))]), '10 9 2')
put(W, 'no_riff_magic.wav', wav([chunk(b'fmt ', fmt()), chunk(b'data', samples(40))], head=b'JUNKJUNKJUNK'), '10 9 2')
put(W, 'data_claims_more_than_present.wav', wav([chunk(b'fmt ', fmt()), b'data' + le32(4000) + samples(400)]), '100 9 2')
put(W, 'data_size_ffffffff.wav', wav([chunk(b'fmt ', fmt()), b'data' + le32(0xFFFFFFFF) + samples(802)]), '200 9 2')
put(W, 'data_before_fmt.wav', wav([chunk(b'data', samples(40)), chunk(b'fmt ', fmt())]), 'fail')
put(W, 'zero_channels.wav', wav([chunk(b'fmt ', fmt(ch=0)), chunk(b'data', samples(40))]), 'fail')
put(W, 'zero_block_align.wav', wav([chunk(b'fmt ', fmt(align=0)), chunk(b'data', samples(40))]), 'fail')
put(W, 'three_channels.wav', wav([chunk(b'fmt ', fmt(ch=3, align=6)), chunk(b'data', samples(60))]), 'fail')
put(W, 'block_align_5.wav', wav([chunk(b'fmt ', fmt(align=5)), chunk(b'data', samples(50))]), 'fail')
put(W, 'block_align_8_unknown_tag.wav', wav([chunk(b'fmt ', fmt(tag=2, align=8, bits=32)), chunk(b'data', samples(80))]), 'fail')
put(W, 'no_data_chunk.wav', wav([chunk(b'fmt ', fmt()), chunk(b'LIST', samples(20))]), 'fail')
put(W, 'chunk_size_wraps_around.wav', wav([b'JUNK' + le32(0xFFFFFFF0) + samples(16), chunk(b'fmt ', fmt()), chunk(b'data', samples(40))]), 'fail')
put(W, 'fmt_14_bytes.wav', wav([chunk(b'fmt ', fmt()[:14]), chunk(b'data', samples(40))]), 'fail')
put(W, 'empty.wav', b'', 'fail')
put(W, 'text.wav', b'This is not a sound file, it is a text file.\n', 'fail')
put(W, 'float32_stereo.wav', wav([chunk(b'fmt ', fmt(tag=3, align=8, bits=32)), chunk(b'data', struct.pack('<8f', *[0.5, -0.5] * 4))]), '4 12 2')
put(W, 'float64_stereo.wav', wav([chunk(b'fmt ', fmt(tag=3, align=16, bits=64)), chunk(b'data', struct.pack('<4d', 0.25, -0.25, 1.0, -1.0))]), '2 14 2')
put(W, 'int64_stereo.wav', wav([chunk(b'fmt ', fmt(tag=1, align=16, bits=64)), chunk(b'data', samples(64))]), '4 13 2')
put(W, 'mono_32bit_int.wav', wav([chunk(b'fmt ', fmt(tag=1, ch=1, align=4, bits=32)), chunk(b'data', samples(16))]), '4 4 1')
put(W, 'mono_32bit_float.wav', wav([chunk(b'fmt ', fmt(tag=3, ch=1, align=4, bits=32)), chunk(b'data', struct.pack('<4f', 0.1, 0.2, 0.3, 0.4))]), '4 5 1')
put(W, 'mono_64bit_float.wav', wav([chunk(b'fmt ', fmt(tag=3, ch=1, align=8, bits=64)), chunk(b'data', struct.pack('<3d', 0.5, -0.5, 0.25))]), '3 7 1')
put(W, 'mono_64bit_int.wav', wav([chunk(b'fmt ', fmt(tag=1, ch=1, align=8, bits=64)), chunk(b'data', samples(24))]), '3 6 1')
put(W, 'mono_block_align_16.wav', wav([chunk(b'fmt ', fmt(tag=3, ch=1, align=16, bits=64)), chunk(b'data', samples(32))]), 'fail')
put(W, 'stereo24_bits_field_says_16.wav', wav([chunk(b'fmt ', fmt(align=6, bits=16)), chunk(b'data', samples(1200))]), '200 10 2')
put(W, 'eight_bit_mono.wav', wav([chunk(b'fmt ', fmt(ch=1, align=1, bits=8)), chunk(b'data', samples(33))]), '33 1 1')
put(W, 'odd_data_size_stereo16.wav', wav([chunk(b'fmt ', fmt()), chunk(b'data', samples(41))]), '10 9 2')
# The valid file cut at every field boundary of its 44-byte header.
for cut in (4, 8, 11, 12, 16, 19, 20, 22, 24, 28, 32, 34, 35, 36, 40, 43):
    put(W, f'truncated_header_{cut:02d}.wav', valid16[:cut], 'fail')
put(W, 'truncated_header_44.wav', valid16[:44], '0 9 2')

def ext80(rate):
    if rate < 2: return b'\x3f\xff\x80' + bytes(7)
    h = rate.bit_length() - 1
    return be16(16383 + h) + be32(rate << (31 - h)) + bytes(4)

def comm(ch=2, frames=100, bits=16, rate=44100, compression=None, rate80=None):
    body = be16(ch) + be32(frames) + be16(bits) + (rate80 if rate80 is not None else ext80(rate))
    if compression is not None:
        body += compression + b'\x00'  # empty pascal name, padded
    return body

def ichunk(cid, body, size=None):
    size = len(body) if size is None else size
    pad = b'\0' if len(body) % 2 else b''
    return cid + be32(size) + body + pad

def ssnd(data, offset=0):
    return ichunk(b'SSND', be32(offset) + be32(0) + data)

def aiff(chunks, kind=b'AIFF'):
    body = b''.join(chunks)
    return b'FORM' + be32(4 + len(body)) + kind + body

A = 'aiff_open'
validAiff = aiff([ichunk(b'COMM', comm()), ssnd(samples(400))])
put(A, 'valid_16_stereo.aif', validAiff, '100 9 2 1')
put(A, 'aifc_sowt.aifc', aiff([ichunk(b'COMM', comm(compression=b'sowt')), ssnd(samples(400))], b'AIFC'), '100 9 2 0')
put(A, 'aifc_fl32.aifc', aiff([ichunk(b'COMM', comm(bits=32, frames=2, compression=b'fl32')), ssnd(struct.pack('>4f', 0.5, -0.5, 0.25, -0.25))], b'AIFC'), '2 12 2 1')
put(A, 'aifc_fl64_mono.aifc', aiff([ichunk(b'COMM', comm(ch=1, bits=64, frames=2, compression=b'fl64')), ssnd(struct.pack('>2d', 0.5, -0.5))], b'AIFC'), '2 7 1 1')
put(A, 'aifc_none.aifc', aiff([ichunk(b'COMM', comm(compression=b'NONE')), ssnd(samples(400))], b'AIFC'), '100 9 2 1')
put(A, 'aifc_comm_18_bytes.aifc', aiff([ichunk(b'COMM', comm()), ssnd(samples(400))], b'AIFC'), '100 9 2 1')
put(A, 'aiff_long_comm_never_compressed.aif', aiff([ichunk(b'COMM', comm(bits=32, frames=10, compression=b'fl32')), ssnd(samples(80))]), '10 11 2 1')
put(A, 'aifc_ulaw.aifc', aiff([ichunk(b'COMM', comm(compression=b'ulaw')), ssnd(samples(400))], b'AIFC'), 'fail')
put(A, 'aifc_unknown_compression.aifc', aiff([ichunk(b'COMM', comm(compression=b'ABCD')), ssnd(samples(400))], b'AIFC'), 'fail')
put(A, 'twelve_bit.aif', aiff([ichunk(b'COMM', comm(bits=12)), ssnd(samples(400))]), 'fail')
put(A, 'three_channels.aif', aiff([ichunk(b'COMM', comm(ch=3)), ssnd(samples(600))]), 'fail')
put(A, 'zero_channels.aif', aiff([ichunk(b'COMM', comm(ch=0)), ssnd(samples(40))]), 'fail')
put(A, 'frames_times_bytes_overflow.aif', aiff([ichunk(b'COMM', comm(frames=0x80000000)), ssnd(samples(400))]), 'fail')
put(A, 'frames_claim_more_than_present.aif', aiff([ichunk(b'COMM', comm(frames=1000)), ssnd(samples(400))]), '100 9 2 1')
put(A, 'frames_ffffffff_mono8.aif', aiff([ichunk(b'COMM', comm(ch=1, bits=8, frames=0xFFFFFFFF)), ssnd(samples(77))]), '78 1 1 1')  # the pad byte is in the file
put(A, 'ssnd_before_comm.aif', aiff([ssnd(samples(400)), ichunk(b'COMM', comm())]), 'fail')
put(A, 'no_ssnd.aif', aiff([ichunk(b'COMM', comm())]), 'fail')
put(A, 'chunk_size_wraps_around.aif', aiff([b'JUNK' + be32(0xFFFFFFF0) + samples(16), ichunk(b'COMM', comm()), ssnd(samples(400))]), 'fail')
put(A, 'comm_body_truncated.aif', b'FORM' + be32(20) + b'AIFF' + b'COMM' + be32(18) + be16(2) + be32(100), 'fail')
put(A, 'ssnd_offset_past_end.aif', aiff([ichunk(b'COMM', comm()), ssnd(samples(400), offset=0xFFFFFF00)]), 'fail')
put(A, 'int64_stereo.aif', aiff([ichunk(b'COMM', comm(bits=64, frames=3)), ssnd(samples(48))]), '3 13 2 1')
put(A, 'eight_bit_mono.aif', aiff([ichunk(b'COMM', comm(ch=1, bits=8, frames=20)), ssnd(samples(20))]), '20 1 1 1')
put(A, 'stereo_24bit_odd_chunk_before.aif', aiff([ichunk(b'ANNO', b'odd'), ichunk(b'COMM', comm(bits=24, frames=10)), ssnd(samples(60))]), '10 10 2 1')
put(A, 'rate_with_odd_exponent.aif', aiff([ichunk(b'COMM', comm(frames=10, rate80=b'\x41\x00' + bytes(8))), ssnd(samples(40))]), '10 9 2 1')
put(A, 'empty.aif', b'', 'fail')
put(A, 'text.aif', b'FORMless text that only looks like an AIFF file at first.\n', 'fail')
for cut in (4, 8, 11, 12, 16, 19, 20, 22, 26, 28, 30, 37, 38, 42, 46, 50, 53):
    put(A, f'truncated_header_{cut:02d}.aif', validAiff[:cut], 'fail')

with open('EXPECTED', 'w') as f:
    f.write('# Written by make_audiofile_corpus.py: <file> <frames> <format> <channels> [<bigEndian>] | <file> fail\n')
    for name in sorted(expected):
        f.write(f'{name} {expected[name]}\n')
print(len(expected), 'files')
