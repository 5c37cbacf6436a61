#!/usr/bin/env python3
"""Makes the archives of the launcher's extraction tests with 7zz.

    make_fixtures.py OUTPUT_FOLDER

Names 7-Zip will not store (two entries of one name, "../x") are made by
renaming stored entries; an entry order 7-Zip never writes (a file before its
folder) by writing a small archive of stored (Copy) data directly."""

import os
import shutil
import struct
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "package"))
import build_container  # noqa: E402


def archive(out, name, steps, renames=None):
    """|steps|: one list of (path, content or None for a folder) per 7zz call,
    each call adding one more block in order."""
    work = tempfile.mkdtemp(prefix="qxfixture-")
    try:
        target = os.path.join(work, "out.7z")
        for step, entries in enumerate(steps):
            root = os.path.join(work, "step%d" % step)
            for path, content in entries:
                full = os.path.join(root, path)
                if content is None:
                    os.makedirs(full, exist_ok=True)
                else:
                    os.makedirs(os.path.dirname(full), exist_ok=True)
                    with open(full, "wb") as f:
                        f.write(content)
            build_container.seven_zip(root, target, [p for p, _ in entries], ("-m0=LZMA:d=128k",),
                                      header_compression=False)
        with open(target, "rb") as f:
            data = f.read()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if renames:
        data = build_container.rename_entries(data, renames)
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def number(n):
    """A 7z header number: leading one bits in the first byte count the
    little-endian bytes that follow."""
    for extra in range(9):
        if extra == 8 or n < (1 << (8 * extra + 7 - extra)):
            high = 0 if extra == 8 else n >> (8 * extra)
            return bytes([((0xFF00 >> extra) & 0xFF) | high]) + (n & ((1 << (8 * extra)) - 1)).to_bytes(extra, "little")


def bits(flags):
    out = bytearray((len(flags) + 7) // 8)
    for i, flag in enumerate(flags):
        if flag:
            out[i // 8] |= 0x80 >> (i % 8)
    return bytes(out)


def stored_archive(entries):
    """A 7z archive of |entries| [(name, bytes, or None for a folder)] in the
    given order, all data in one block of the Copy coder."""
    streams = [data for _, data in entries if data is not None]
    packed = b"".join(streams)
    header = b"\x01"
    header += b"\x04\x06" + number(0) + number(1) + b"\x09" + number(len(packed)) + b"\x00"
    header += b"\x07\x0b" + number(1) + b"\x00" + b"\x01\x01\x00" + b"\x0c" + number(len(packed)) + b"\x00"
    header += b"\x08\x0d" + number(len(streams)) + b"\x09" + b"".join(number(len(d)) for d in streams[:-1]) + b"\x00"
    header += b"\x00"
    empty = bits([data is None for _, data in entries])
    names = b"\x00" + b"".join(name.encode("utf-16-le") + b"\0\0" for name, _ in entries)
    header += b"\x05" + number(len(entries))
    header += b"\x0e" + number(len(empty)) + empty
    header += b"\x11" + number(len(names)) + names + b"\x00\x00"
    tail = struct.pack("<QQI", len(packed), len(header), zlib.crc32(header) & 0xFFFFFFFF)
    start = b"7z\xbc\xaf\x27\x1c\x00\x04" + struct.pack("<I", zlib.crc32(tail) & 0xFFFFFFFF) + tail
    return start + packed + header


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    text_a = b"alpha\r\n" * 50
    text_b = b"beta\r\n" * 70
    archive(out, "nested.7z", [[("data", None), ("data/sub", None), ("data/a.txt", text_a),
                                ("data/sub/b.txt", text_b)]])
    with open(os.path.join(out, "file_first.7z"), "wb") as f:
        f.write(stored_archive([("data/a.txt", text_a), ("data/b.txt", text_b), ("data", None)]))
    folder = "d" * 100
    archive(out, "name258.7z", [[(folder + "/" + "n" * 157, b"258")]])
    archive(out, "name259.7z", [[(folder + "/" + "n" * 158, b"259")]])
    archive(out, "duplicate.7z", [[("one.txt", b"first"), ("two.txt", b"second")]], {"two.txt": "one.txt"})
    archive(out, "traversal.7z", [[("ok.txt", b"fine"), ("aa/x.txt", b"outside")]], {"aa/x.txt": "../x.txt"})
    big = bytes((i * 7919) % 251 for i in range(300000))
    archive(out, "big.7z", [[("big.bin", big)]])


if __name__ == "__main__":
    main()
