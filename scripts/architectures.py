#!/usr/bin/env python3
"""The two builds of the Windows programs: the shipped 32-bit one (x86) and
its 64-bit twin (x64), what differs between them where they run, and which
of them this machine can run natively under Wine.

  architectures.py               one line each: "x64 yes", "x86 no: <why>"
  architectures.py --arch NAME   the answer for NAME, by exit status alone
  architectures.py --shell NAME  NAME's facts as shell assignments

64-bit code always runs. 32-bit code runs only where the kernel executes
it: a three-instruction static i386 program must exit with 0, and not
through an interpreter registered with binfmt_misc (an emulator is far too
slow to test with)."""

import collections
import os
import struct
import subprocess
import sys
import tempfile

Architecture = collections.namedtuple("Architecture", "name subfolder program_files reg_view objdump loader")

ARCHITECTURES = {
    # The build tree (under the build folder), where a program of it
    # installs, the registry view it sees, the tools that read its images,
    # and the Wine loader that runs it.
    "x86": Architecture("x86", "", "Program Files (x86)", "/reg:32", "i686-w64-mingw32-objdump",
                        "/usr/lib/wine/wine"),
    "x64": Architecture("x64", "x64", "Program Files", "/reg:64", "x86_64-w64-mingw32-objdump",
                        "/usr/lib/wine/wine64"),
}

BASE = 0x08048000
# mov eax, 1; xor ebx, ebx; int 0x80: exit(0)
CODE = bytes.fromhex("b801000000" "31db" "cd80")


def probe_image():
    header_size, entry_size = 52, 32
    size = header_size + entry_size + len(CODE)
    ident = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)
    header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, BASE + header_size + entry_size, header_size, 0, 0,
                                 header_size, entry_size, 1, 0, 0, 0)
    program = struct.pack("<IIIIIIII", 1, 0, BASE, BASE, size, size, 5, 0x1000)
    return header + program + CODE


def binfmt_interpreter(image, root="/proc/sys/fs/binfmt_misc"):
    """The interpreter an enabled binfmt_misc entry would run |image| with."""
    try:
        if open(os.path.join(root, "status")).read().strip() != "enabled":
            return None
        names = os.listdir(root)
    except OSError:
        return None
    for name in names:
        if name in ("status", "register"):
            continue
        try:
            fields = dict(line.split(" ", 1) for line in open(os.path.join(root, name)).read().splitlines()
                          if " " in line)
            lines = open(os.path.join(root, name)).read().splitlines()
        except OSError:
            continue
        if not lines or lines[0] != "enabled" or "magic" not in fields:
            continue
        offset = int(fields.get("offset", "0"))
        magic = bytes.fromhex(fields["magic"])
        mask = bytes.fromhex(fields["mask"]) if "mask" in fields else b"\xff" * len(magic)
        window = image[offset:offset + len(magic)]
        if len(window) == len(magic) and all((b & m) == (g & m) for b, m, g in zip(window, mask, magic)):
            return fields.get("interpreter", name)
    return None


def x86_status():
    image = probe_image()
    interpreter = binfmt_interpreter(image)
    if interpreter:
        return "no: 32-bit programs go to an emulator (%s)" % interpreter.strip()
    with tempfile.NamedTemporaryFile(prefix="qx-i386-probe-", delete=False) as f:
        f.write(image)
    try:
        os.chmod(f.name, 0o755)
        try:
            code = subprocess.run([f.name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=10).returncode
        except OSError as e:
            return "no: the kernel runs no 32-bit code (%s)" % e.strerror
        except subprocess.TimeoutExpired:
            return "no: the 32-bit probe did not end"
        return "yes" if code == 0 else "no: the 32-bit probe ended with %d" % code
    finally:
        os.unlink(f.name)


def runnable():
    """Each architecture with "yes" or "no: <why>", the 64-bit one first."""
    return {"x64": "yes", "x86": x86_status()}


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--shell":
        arch = ARCHITECTURES[sys.argv[2]]
        for field, value in arch._asdict().items():
            print("QX_ARCH_%s='%s'" % (field.upper(), value))
        return
    answers = runnable()
    if len(sys.argv) == 3 and sys.argv[1] == "--arch":
        sys.exit(0 if answers.get(sys.argv[2]) == "yes" else 1)
    for arch, answer in answers.items():
        print(arch, answer)


if __name__ == "__main__":
    main()
