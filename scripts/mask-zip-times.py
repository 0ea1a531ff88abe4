#!/usr/bin/env python3
"""Zeroes the DOS time and date of every local and central record of the
ZIP files named, in place, so archives made at different moments compare
byte for byte. Walks the central directory (Zip64 offsets included) rather
than searching for signatures, so file data is never touched."""
import struct
import sys
import zipfile


def mask(path):
    with open(path, 'rb') as f:
        data = bytearray(f.read())
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
        start = z.start_dir
    pos = start
    for info in infos:
        assert data[pos:pos + 4] == b'PK\x01\x02', path
        name_len, extra_len, comment_len = struct.unpack_from('<HHH', data, pos + 28)
        data[pos + 12:pos + 16] = b'\0\0\0\0'
        local = info.header_offset
        assert data[local:local + 4] == b'PK\x03\x04', path
        data[local + 10:local + 14] = b'\0\0\0\0'
        pos += 46 + name_len + extra_len + comment_len
    with open(path, 'wb') as f:
        f.write(data)


for p in sys.argv[1:]:
    mask(p)
