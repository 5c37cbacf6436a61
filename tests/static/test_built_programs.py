"""The built programs of both architectures, read without being run, so that
the shipped 32-bit ones are checked on every machine: image format, the
engine's exports, the launcher's imports, its manifest and its container."""

import os
import re
import subprocess
import sys

import pytest

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(TOP, "scripts"))
sys.path.insert(0, os.path.join(TOP, "package"))

import build_container  # noqa: E402
from architectures import ARCHITECTURES  # noqa: E402

BUILD = os.environ.get("QX_BUILD_ROOT") or os.path.join(TOP, "build")
# (optional header magic, objdump's format) of each architecture's images.
FORMATS = {"x86": (0x10B, "pei-i386"), "x64": (0x20B, "pei-x86-64")}
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
    """What objdump reads from a PE image's headers: its format, magic,
    imports and exports (each name with its address)."""

    def __init__(self, path, objdump):
        dump = subprocess.run([objdump, "-p", path], stdout=subprocess.PIPE, check=True).stdout.decode("utf-8", "replace")
        self.format = re.search(r"file format (\S+)", dump).group(1)
        self.magic = int(re.search(r"^Magic\s+([0-9a-f]+)", dump, re.M).group(1), 16)
        self.imports = sorted(name.strip().lower() for name in re.findall(r"DLL Name: (.*)", dump))
        base = int(re.search(r"^ImageBase\s+([0-9a-f]+)", dump, re.M).group(1), 16)
        addresses = {int(i): base + int(rva, 16) for i, rva in re.findall(r"\[\s*(\d+)\] \+base\[\s*\d+\] ([0-9a-f]+)", dump)}
        names = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\t\[.*\n)*)", dump)
        self.exports = {name: addresses[int(i)] for i, name in re.findall(r"\[\s*(\d+)\] (\w+)", names.group(1))} \
            if names else {}


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
    images = {name: Image(path, facts.objdump) for name, path in programs.items()}
    for name, image in images.items():
        assert (image.magic, image.format) == FORMATS[arch], name

    # The engine: exactly the declared names, undecorated; on x86 each one
    # takes off the stack what its declaration puts there.
    declared = declared_exports()
    assert len(declared) == 25
    exports = images["QXCore.dll"].exports
    assert sorted(exports) == sorted(declared)
    if arch == "x86":
        popped = {name: stack_bytes_popped(programs["QXCore.dll"], address, facts.objdump)
                  for name, address in exports.items()}
        assert popped == {name: 4 * count for name, count in declared.items()}

    # The launcher: system libraries at start, the engine bound late by name.
    assert images["uninstall.exe"].imports == START_IMPORTS
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
