"""Damaged copies of the built uninstaller under Wine: a seeded set of bit
flips in the container and 7z headers, damaged packed streams, truncations,
a forged signature before the real one and a traversal entry. Every run ends
in time with a documented exit code, leaves no runtime folder and writes
nothing outside it."""

import concurrent.futures
import contextlib
import os
import random
import struct
import zlib

import build_container

TITLE = "Orvella_Installation"
VICTIM = "qxvictim.txt"


def forged_start_header(next_offset, next_size):
    """A start header with valid CRCs whose next header is not a 7z header."""
    head = bytearray(build_container.SIGNATURE + b"\x00\x04" + b"\0" * 24)
    struct.pack_into("<QQI", head, 12, next_offset, next_size, 0x12345678)
    struct.pack_into("<I", head, 8, zlib.crc32(bytes(head[12:32])))
    return bytes(head) + build_container.junk(64, 5)


def traversal_archive(wine):
    with wine.scratch("archive") as work:
        os.makedirs(os.path.join(work, "aa"))
        with open(os.path.join(work, "aa", VICTIM), "wb") as f:
            f.write(b"written outside")
        target = os.path.join(work, "a.7z")
        build_container.seven_zip(work, target, ["aa/" + VICTIM], header_compression=False)
        with open(target, "rb") as f:
            return build_container.rename_entries(f.read(), {"aa/" + VICTIM: "../" + VICTIM})


def mutations(wine):
    """(name, bytes) of every damaged uninstaller, the same on every run."""
    with open(os.path.join(wine.bin, "uninstall.exe"), "rb") as f:
        sound = f.read()
    with open(os.path.join(wine.build, "win", "uninstall", "uninstall_image.exe"), "rb") as f:
        image = f.read()
    end = build_container.image_end(sound)
    start = sound.index(build_container.SIGNATURE, end)
    archive = sound[start:]
    next_offset, next_size = struct.unpack_from("<QQ", archive, 12)
    header_at = start + 32 + next_offset
    rng = random.Random(12)

    def flip_bit(lo, hi):
        data = bytearray(sound)
        at = rng.randrange(lo, hi)
        bit = rng.randrange(8)
        data[at] ^= 1 << bit
        return "bit %d of byte %d" % (bit, at), bytes(data)

    out = [flip_bit(end, end + build_container.HEADER_SIZE) for _ in range(4)]
    out += [flip_bit(start, start + 32) for _ in range(10)]
    out += [flip_bit(header_at, header_at + next_size) for _ in range(10)]
    for _ in range(10):
        data = bytearray(sound)
        at, length = rng.randrange(start + 32, header_at - 16), rng.choice((1, 16))
        for i in range(at, at + length):
            data[i] ^= rng.randrange(1, 256)
        out.append(("%d packed bytes at %d" % (length, at), bytes(data)))
    for cut in sorted(rng.sample(range(end, len(sound)), 9)) + [end + build_container.HEADER_SIZE]:
        out.append(("cut at %d" % cut, sound[:cut]))
    out.append(("bad-CRC signature first", build_container.container(image, archive, gap=build_container.decoy_signature())))
    for offset, size in ((0, 40), (len(archive), 64), (2 ** 40, 2 ** 31)):
        gap = forged_start_header(offset, size)
        out.append(("forged signature (%d, %d) first" % (offset, size), build_container.container(image, archive, gap=gap)))
    out.append(("traversal entry", build_container.container(image, traversal_archive(wine))))
    return out


def files_outside(wine, scratch_root):
    """Size and time of every file of drive C: but the test folders."""
    found = {}
    for folder, dirs, files in os.walk(wine.drive_c):
        if folder == scratch_root:
            dirs[:] = []
            continue
        for name in files:
            path = os.path.join(folder, name)
            with contextlib.suppress(OSError):
                st = os.stat(path)
                found[path] = (st.st_size, st.st_mtime_ns)
    return found


def test_damaged_uninstallers_end_cleanly(wine):
    cases = mutations(wine)
    assert len(cases) >= 45
    temp_before = wine.temp_entries()
    with wine.scratch("damaged") as root:
        outside_before = files_outside(wine, os.path.dirname(root))

        def run(index):
            folder = os.path.join(root, str(index))
            os.makedirs(folder)
            path = os.path.join(folder, "uninstall.exe")
            with open(path, "wb") as f:
                f.write(cases[index][1])
            result = wine.run('"%s"' % wine.winpath(path), cwd=folder, timeout_ms=20000)
            return result, sorted(os.listdir(folder))

        # A message box stays up for about two seconds of Wine's waiting, so
        # runs go side by side.
        with concurrent.futures.ThreadPoolExecutor(8) as pool:
            results = list(pool.map(run, range(len(cases))))
        outside_after = files_outside(wine, os.path.dirname(root))

    for (name, _), (result, left) in zip(cases, results):
        assert not result.timed_out, "%s: the launcher did not end: %r" % (name, result)
        code = result.exit_code
        # 0, the launcher's -1 to -3, or a negated 7z or platform error code;
        # an exception code (0xC0000005 is -1073741819) falls outside.
        assert code is not None and -0xFFFF <= code <= 0, "%s: exit code %r" % (name, code)
        if code == 0:
            assert result.boxes == [(TITLE, "Error: uninstall log file not found.")], name
        assert left == ["uninstall.exe"], "%s wrote beside itself: %r" % (name, left)
    assert wine.temp_entries() - temp_before == set(), "left in the temporary folder"
    assert outside_after == outside_before, "files written or changed outside the runtime folders"
