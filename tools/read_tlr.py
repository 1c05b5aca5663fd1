#!/usr/bin/env python3
"""Prints a recording file (.tlr, docs/recording-format.md): its header, whether its index holds,
and one line a block: number, first sample, sample count, CRC ok or bad, the summary and the
samples as 0/1 (earliest first). Blocks are found by scanning, as after a crash.

    tools/read_tlr.py FILE.tlr
"""
import struct
import sys
import zlib


def main(path):
    data = open(path, 'rb').read()
    if len(data) < 46 or data[:8] != b'\x89TLR\r\n\x1a\n':
        sys.exit('%s: not a recording file' % path)
    (version, size, n, start, baud, bits, parity, stop, mode, ms, trigger,
     length) = struct.unpack_from('<HHIqIBBBBIB3xH', data, 8)
    if (version != 1 or size != 46 + length or len(data) < size
            or zlib.crc32(data[:size - 4]) != struct.unpack_from('<I', data, size - 4)[0]):
        sys.exit('%s: bad header' % path)
    print('divider %d period %d/11059200 s' % (n, 6 * n + 12))
    print('start %d us line %d %d %d %g sweep %d %d ms trigger %d' % (
        start, baud, bits, parity, stop / 2, mode, ms, trigger))
    print('program %s' % data[42:42 + length].decode('utf-8'))
    indexed = False
    if len(data) >= size + 28 and data[-4:] == b'TLRE':
        at, count = struct.unpack_from('<QI', data, len(data) - 16)
        end = at + 8 + 60 * count
        indexed = (end + 20 == len(data) and data[at:at + 4] == b'TLRI'
                   and zlib.crc32(data[at:end]) == struct.unpack_from('<I', data, end)[0])
    print('index %s' % ('yes' if indexed else 'no'))
    at, sample, number = size, 0, 0
    while at + 56 <= len(data) and data[at:at + 4] == b'TLRB':
        length, first = struct.unpack_from('<IQ', data, at + 4)
        if not 0 < length <= 65536 or at + 56 + length > len(data):
            break
        payload = data[at + 56:at + 56 + length]
        crc = struct.unpack_from('<I', data, at + 52)[0]
        ok = zlib.crc32(payload, zlib.crc32(data[at:at + 52])) == crc
        if ok and first != sample:
            break
        line = 'block %d first %d count %d crc %s' % (
            number, sample, 8 * length, 'ok' if ok else 'bad')
        if ok:
            summary = struct.unpack_from('<BBxx8I', data, at + 16)
            line += ' summary' + ''.join(' %d' % field for field in summary) + ' '
            line += ''.join(format(b, '08b') for b in payload)
        print(line)
        at, sample, number = at + 56 + length, sample + 8 * length, number + 1


if __name__ == '__main__':
    main(sys.argv[1])
