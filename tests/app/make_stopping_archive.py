#!/usr/bin/env python3
"""The archive of the window tests: 40,000 good stored bytes (the bar reaches 62 % of 64,000),
then an entry whose deflate data has an invalid block, so that the update stops with its error
box up. Usage: make_stopping_archive.py PATH"""
import struct
import sys
import zipfile

path = sys.argv[1]
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
    z.writestr("a.bin", b"a" * 40000)
    z.writestr("b.bin", b"\x07" * 100)
data = bytearray(open(path, "rb").read())
local = data.find(b"PK\x03\x04", 1)
central = data.rfind(b"PK\x01\x02")
data[local + 8:local + 10] = struct.pack("<H", 8)
data[local + 22:local + 26] = struct.pack("<I", 24000)
data[central + 10:central + 12] = struct.pack("<H", 8)
data[central + 24:central + 28] = struct.pack("<I", 24000)
open(path, "wb").write(bytes(data))
