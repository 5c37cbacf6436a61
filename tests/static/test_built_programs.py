"""The built programs of both architectures, read without being run, so that
the shipped 32-bit ones are checked on every machine: image format, the
engine's exports, the launcher's imports, its manifest and its container."""

import os
import re
import struct
import subprocess
import sys

import pytest

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(TOP, "scripts"))
sys.path.insert(0, os.path.join(TOP, "package"))

import build_container  # noqa: E402
from architectures import ARCHITECTURES  # noqa: E402

BUILD = os.environ.get("QX_BUILD_ROOT") or os.path.join(TOP, "build")
# (optional header magic, machine) of each architecture's images.
FORMATS = {"x86": (0x10B, 0x14C), "x64": (0x20B, 0x8664)}
# What the launcher may load at start. An import is loaded before the program
# runs, so before it can keep the library search to the system folder: known
# system libraries only (comctl32 comes later; advapi32, for the access lists
# and the run lock, is one, and ole32 loads it anyway). The engine is a
# delayed import from the runtime folder, bound by these names.
START_IMPORTS = ["advapi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "user32.dll"]
ENGINE_NAMES = ["InitSFX", "InitUninstall", "SetVar", "EvalVar", "EvalVarBuf", "ShowProgressBox", "PerformUninstall",
                "AddUninstLog", "QXDlgGetDlgItem"]
PAYLOAD = ["QXCore.dll", "qxdlg.dat", "qxlng.dat"]


class Image:
    """The headers and export table of a PE image."""

    def __init__(self, path):
        self.data = open(path, "rb").read()
        pe = struct.unpack_from("<I", self.data, 60)[0]
        assert self.data[:2] == b"MZ" and self.data[pe:pe + 4] == b"PE\0\0", path
        self.machine = struct.unpack_from("<H", self.data, pe + 4)[0]
        self.magic = struct.unpack_from("<H", self.data, pe + 24)[0]
        optional = pe + 24
        if self.magic == 0x10B:
            self.base, directories = struct.unpack_from("<I", self.data, optional + 28)[0], optional + 96
        else:
            self.base, directories = struct.unpack_from("<Q", self.data, optional + 24)[0], optional + 112
        sections, optional_size = struct.unpack_from("<H", self.data, pe + 6)[0], struct.unpack_from(
            "<H", self.data, pe + 20)[0]
        self.sections = []
        for i in range(sections):
            at = pe + 24 + optional_size + 40 * i
            virtual_size, address, raw_size, raw = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append((address, max(virtual_size, raw_size), raw))
        self.export_directory = struct.unpack_from("<I", self.data, directories)[0]

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError("address %#x outside every section" % rva)

    def text(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def exports(self):
        """Each exported name with its address."""
        if not self.export_directory:
            return {}
        at = self.offset(self.export_directory)
        _, names, functions, name_table, ordinals = struct.unpack_from("<IIIII", self.data, at + 20)
        result = {}
        for i in range(names):
            name = self.text(struct.unpack_from("<I", self.data, self.offset(name_table) + 4 * i)[0])
            ordinal = struct.unpack_from("<H", self.data, self.offset(ordinals) + 2 * i)[0]
            result[name] = self.base + struct.unpack_from("<I", self.data, self.offset(functions) + 4 * ordinal)[0]
        return result


def declared_exports():
    """Each export of include/qxcore.h with its parameter count."""
    with open(os.path.join(TOP, "engine", "include", "qxcore.h")) as f:
        header = f.read()
    found = {}
    for name, parameters in re.findall(r"WINAPI (\w+)\(([^)]*)\);", header):
        found[name] = 0 if parameters.strip() in ("", "void") else parameters.count(",") + 1
    return found


def stack_bytes_popped(path, address, objdump):
    """The operand of the first return of the code at |address|: what a
    stdcall function takes off the stack."""
    listing = subprocess.run([objdump, "-d", "--start-address=%#x" % address, "--stop-address=%#x" % (address + 0x800),
                              path], stdout=subprocess.PIPE, check=True).stdout.decode()
    for line in listing.splitlines():
        match = re.search(r"\t(ret|jmp)\s*(\$0x([0-9a-f]+))?", line)
        if match:
            assert match.group(1) == "ret", "the export ends in a jump: %s" % line
            return int(match.group(3) or "0", 16)
    raise AssertionError("no return after %#x" % address)


@pytest.mark.parametrize("arch", sorted(ARCHITECTURES))
def test_built_programs_carry_the_interface_and_payload_they_promise(arch):
    facts = ARCHITECTURES[arch]
    bin_dir = os.path.join(BUILD, facts.subfolder, "bin")
    programs = {name: os.path.join(bin_dir, name) for name in ("uninstall.exe", "QXCore.dll", "videostage.exe")}
    for name, path in programs.items():
        image = Image(path)
        assert (image.magic, image.machine) == FORMATS[arch], name

    # The engine: exactly the declared names, undecorated; on x86 each one
    # takes off the stack what its declaration puts there.
    declared = declared_exports()
    assert len(declared) == 25
    exports = Image(programs["QXCore.dll"]).exports()
    assert sorted(exports) == sorted(declared)
    if arch == "x86":
        popped = {name: stack_bytes_popped(programs["QXCore.dll"], address, facts.objdump)
                  for name, address in exports.items()}
        assert popped == {name: 4 * count for name, count in declared.items()}

    # The launcher: system libraries at start, the engine bound late by name.
    dump = subprocess.run([facts.objdump, "-p", programs["uninstall.exe"]], stdout=subprocess.PIPE,
                          check=True).stdout.decode("utf-8", "replace")
    assert sorted(line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line) == \
        START_IMPORTS
    launcher = open(programs["uninstall.exe"], "rb").read()
    launcher = launcher[:build_container.image_end(launcher)]
    assert b"QXCore.dll\0" in launcher
    for name in ENGINE_NAMES:
        assert b"\0" + name.encode() + b"\0" in launcher, name

    # Its manifest: administrator rights, DPI awareness, common controls 6,
    # all for the image's own processor.
    manifest = re.search(rb"<assembly .*?</assembly>", launcher, re.S)
    assert manifest, "no manifest"
    manifest = manifest.group(0).decode()
    assert 'level="requireAdministrator"' in manifest
    assert re.search(r"<dpiAware[^>]*>true</dpiAware>", manifest)
    assert re.search(r'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', manifest)
    processor = "x86" if arch == "x86" else "amd64"
    assert re.findall(r'processorArchitecture="([^"]+)"', manifest) == [processor, processor]

    # The appended container, as 7-Zip reads it.
    listing = subprocess.run(["7zz", "l", "-slt", programs["uninstall.exe"]], stdout=subprocess.PIPE,
                             check=True).stdout.decode()
    assert "Type = 7z" in listing
    assert sorted(re.findall(r"^Path = (.*)$", listing, re.M)[1:]) == sorted(PAYLOAD)
