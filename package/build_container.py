#!/usr/bin/env python3
"""Builds the uninstaller: the launcher image followed by its container.

Container layout, right after the end of the image's last section:
  "QX", ArchiveOffset (u64 LE), TotalSize (u64 LE), ArchiveOffset filler bytes,
  then the 7z archive (the reader searches forward for its signature).

The shipped payload archive has two solid blocks: the data files in one LZMA
block (128 KiB dictionary), the engine library in a BCJ2 block with three LZMA
streams. The functions below also serve the tests, which build damaged and
unusual variants from the same image.

    build_container.py --image IMAGE --out OUT [--work DIR]
                       --data FILE... --library FILE
                       [--gap N] [--decoy] [--archive-offset N]
                       [--total-size N] [--truncate N]
"""

import argparse
import os
import shutil
import struct
import subprocess
import tempfile
import zlib

SIGNATURE = b"7z\xbc\xaf\x27\x1c"
HEADER_SIZE = 18

DATA_SWITCHES = ("-m0=LZMA:d=128k",)
LIBRARY_SWITCHES = ("-m0=BCJ2", "-m1=LZMA:d=128k", "-m2=LZMA:d=128k:lc0:lp2", "-m3=LZMA:d=128k:lc0:lp2",
                    "-mb0s0:1", "-mb0s1:2", "-mb0s2:3")


OPTIONAL_HEADER_SIZES = {0x10B: 224, 0x20B: 240}


def image_end(image):
    """End of the raw data of the section with the highest raw-data offset,
    found the way the launcher finds it."""
    if image[:2] != b"MZ":
        raise ValueError("not an executable image (no MZ)")
    pe = struct.unpack_from("<I", image, 60)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    count = struct.unpack_from("<H", image, pe + 6)[0]
    # The launcher knows its own format; here the optional header's magic
    # tells: PE32 (0x10B) or PE32+ (0x20B), with their fixed sizes.
    magic = struct.unpack_from("<H", image, pe + 24)[0]
    table = pe + 4 + 20 + OPTIONAL_HEADER_SIZES[magic]
    highest, end = 0, 0
    for i in range(count):
        size, offset = struct.unpack_from("<II", image, table + 40 * i + 16)
        if offset > highest:
            highest, end = offset, offset + size
    return end


def seven_zip(work, archive, names, switches=(), header_compression=True):
    """Adds |names| (relative to |work|) to |archive| as one more block."""
    args = ["7zz", "a", "-t7z", "-bd", "-y", *switches]
    if not header_compression:
        args.append("-mhc=off")
    subprocess.run([*args, archive, "--", *names], cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_payload_archive(work, data_files, library):
    """The payload archive: |data_files| in one LZMA block, then |library| in
    a BCJ2 block. Returns the archive's bytes."""
    os.makedirs(work, exist_ok=True)
    archive = os.path.join(work, "payload.7z")
    if os.path.exists(archive):
        os.remove(archive)
    names = []
    for path in data_files:
        shutil.copyfile(path, os.path.join(work, os.path.basename(path)))
        names.append(os.path.basename(path))
    shutil.copyfile(library, os.path.join(work, os.path.basename(library)))
    seven_zip(work, archive, names, DATA_SWITCHES)
    seven_zip(work, archive, [os.path.basename(library)], LIBRARY_SWITCHES)
    with open(archive, "rb") as f:
        return f.read()


def rename_entries(archive, renames):
    """Replaces entry names in an archive whose header is stored plain
    (made with header_compression=False), keeping each name's length, and
    recomputes both header CRCs. Lets tests store names 7-Zip refuses to
    write, such as "../x" or two entries of one name."""
    data = bytearray(archive)
    next_offset, next_size = struct.unpack_from("<QQ", data, 12)
    start = 32 + next_offset
    header = bytes(data[start:start + next_size])
    if header[:1] != b"\x01":
        raise ValueError("archive header is not stored plain")
    for old, new in renames.items():
        if len(old) != len(new):
            raise ValueError("a new name must keep the old name's length")
        old_bytes = b"\0\0" + old.encode("utf-16-le") + b"\0\0"
        new_bytes = b"\0\0" + new.encode("utf-16-le") + b"\0\0"
        at = header.find(old_bytes)
        if at < 0:
            # The first name follows the property's size byte, not a terminator.
            old_bytes, new_bytes = old_bytes[2:], new_bytes[2:]
            at = header.find(old_bytes)
        if at < 0:
            raise ValueError("no entry named %r" % old)
        header = header[:at] + new_bytes + header[at + len(old_bytes):]
    data[start:start + next_size] = header
    struct.pack_into("<I", data, 28, zlib.crc32(header) & 0xFFFFFFFF)
    struct.pack_into("<I", data, 8, zlib.crc32(bytes(data[12:32])) & 0xFFFFFFFF)
    return bytes(data)


def junk(size, seed=0):
    """Filler bytes that hold no 7z signature."""
    return bytes((seed + i * 37) & 0x7F for i in range(size))


def decoy_signature():
    """A 7z start header whose CRC does not match, with some bytes after it."""
    head = bytearray(SIGNATURE + b"\x00\x04" + b"\0" * 24)
    struct.pack_into("<I", head, 8, (zlib.crc32(bytes(head[12:32])) ^ 0x5A5A5A5A) & 0xFFFFFFFF)
    return bytes(head) + junk(40, 3)


def container(image, archive, gap=b"", archive_offset=0, total_size=None):
    """The finished uninstaller: |image| (which must end where its last section
    ends), the header, |archive_offset| filler bytes, |gap| and |archive|.
    TotalSize is the finished size unless |total_size| is given."""
    end = image_end(image)
    if len(image) != end:
        raise ValueError("image has %d bytes after its last section (not stripped?)" % (len(image) - end))
    body = junk(archive_offset, 11) + gap + archive
    size = end + HEADER_SIZE + len(body)
    header = b"QX" + struct.pack("<QQ", archive_offset, size if total_size is None else total_size)
    return image + header + body


def main():
    parser = argparse.ArgumentParser(description="Appends the payload container to the launcher image.")
    parser.add_argument("--image", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--work", help="folder for the payload archive (default: a temporary one)")
    parser.add_argument("--data", action="append", required=True, help="a data file of the first block")
    parser.add_argument("--library", required=True, help="the engine library (BCJ2 block)")
    parser.add_argument("--gap", type=int, default=0, help="filler bytes before the archive")
    parser.add_argument("--decoy", action="store_true", help="a signature copy with a bad CRC before the archive")
    parser.add_argument("--archive-offset", type=int, default=0)
    parser.add_argument("--total-size", type=int)
    parser.add_argument("--truncate", type=int, default=0, help="bytes cut off the end of the finished file")
    args = parser.parse_args()

    with open(args.image, "rb") as f:
        image = f.read()
    work = args.work or tempfile.mkdtemp(prefix="qxpayload-")
    try:
        archive = make_payload_archive(work, args.data, args.library)
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    gap = junk(args.gap) + (decoy_signature() if args.decoy else b"")
    out = container(image, archive, gap, args.archive_offset, args.total_size)
    if args.truncate:
        out = out[:-args.truncate]
    tmp = args.out + ".tmp"
    with open(tmp, "wb") as f:
        f.write(out)
    # Wine starts only a file the owner may execute, as the linker left the image.
    shutil.copymode(args.image, tmp)
    os.replace(tmp, args.out)


if __name__ == "__main__":
    main()
