#!/usr/bin/env python3
"""Writes the decoder fuzz corpus: a mode byte, then confirmation frames behind 16-bit lengths."""
import os
import struct
import sys

HOST = bytes([0x02, 0, 0, 0, 0, 1])
ADAPTER = bytes([0x00, 0xB0, 0x52, 0, 0, 1])


def frame(mmtype, payload, v1=False, length=60):
    if v1:
        head = HOST + ADAPTER + b"\x88\xe1\x01" + struct.pack("<H", mmtype) + b"\0\0\x00\xb0\x52" + b"\0" * 4
    else:
        head = HOST + ADAPTER + b"\x88\xe1\x00" + struct.pack("<H", mmtype) + b"\x00\xb0\x52"
    f = head + payload
    return f + b"\0" * max(0, length - len(f))


def checksum(block):
    x = 0
    for i in range(0, len(block) // 4 * 4, 4):
        x ^= struct.unpack_from("<I", block, i)[0]
    return ~x & 0xFFFFFFFF


def read_confirm(module, offset, piece):
    p = bytes([0, 0, 0, 0, module, 0]) + struct.pack("<HII", len(piece), offset, checksum(piece)) + piece
    return frame(0xA025, p)


def entry(mode, *frames):
    return bytes([mode]) + b"".join(struct.pack("<H", len(f)) + f for f in frames)


text = b"LQ-B200 sample firmware"
version = frame(0xA001, bytes([0, 5, len(text)]) + text.ljust(64, b"\0"), length=88)
stations = b"".join(bytes([0, 0xB0, 0x52, 0, 0, i]) + b"\0" * 7 + bytes([90 + i, 0]) for i in range(1, 4))
netinfo0 = frame(0xA039, bytes([1]) + b"\0" * 17 + bytes([3]) + stations)
stations1 = b"".join(bytes([0, 0xB0, 0x52, 0, 0, i]) + b"\0" * 10 + struct.pack("<H", 300 + i) + b"\0" * 6
                     for i in range(1, 3))
netinfo1 = frame(0xA039, b"\0" + bytes([1]) + b"\0" * 26 + bytes([2]) + b"\0" * 5 + stations1, v1=True)
block = bytearray(range(256)) * 4
block[4:6] = struct.pack("<H", 1500)
pieces = [read_confirm(2, 0, bytes(block)), read_confirm(2, 1024, bytes(476))]
config = frame(0xA059, bytes([0, 8]) + bytes(range(8)))
host = frame(0xA062, bytes([3]))
writes = [frame(0xA021, bytes([0, 2]) + struct.pack("<HI", 1024, 0)),
          frame(0xA021, bytes([0, 2]) + struct.pack("<HI", 1024, 1024)), frame(0xA029, bytes([0, 0]))]

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus", "decoder")
os.makedirs(out, exist_ok=True)
for name, data in {
    "version": entry(0, version),
    "netinfo_v0": entry(0, netinfo0),
    "netinfo_v1": entry(1, netinfo1),
    "read_parameter_block": entry(4, *pieces),
    "config_and_host_action": entry(0, config, host),
    "write_parameter_block": entry(10, *writes),
}.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
