"""The signed uninstaller: `make sign`'s script signs the shipped uninstaller
with a throwaway certificate made on the spot; the signature, appended after
the container, verifies and leaves the container readable."""

import os
import shutil
import struct
import subprocess
import tempfile

import pytest

from test_uninstall import installation  # noqa: F401 (the fixture)

# The PE32 optional header's data directory: entry 4 is the certificate table.
# The data directories follow the optional header's fixed fields: 96 bytes in
# PE32, 112 in PE32+. The certificate table is the fifth directory.
DIRECTORIES = {0x10B: 4 + 20 + 96, 0x20B: 4 + 20 + 112}


@pytest.fixture
def signer(wine):
    """A self-signed code-signing certificate and its key, in a temporary
    folder under the build folder that also receives the signed file."""
    folder = tempfile.mkdtemp(prefix="sign-", dir=wine.build)
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=Orvella test signer", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", key, "-out", cert], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    yield folder, cert, key
    shutil.rmtree(folder, ignore_errors=True)


def test_a_signed_uninstaller_verifies_and_removes_the_installation_silently(installation, wine, signer):
    folder, cert, key = signer
    unsigned = os.path.join(wine.bin, "uninstall.exe")
    signed = os.path.join(folder, "uninstall.exe")
    subprocess.run([os.path.join(wine.top, "scripts", "sign.sh"), unsigned, signed, cert, key], check=True,
                   stdout=subprocess.DEVNULL)
    assert subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed],
                          stdout=subprocess.DEVNULL).returncode == 0
    # The certificate table ends the file, after the whole container.
    with open(signed, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 60)[0]
    security = pe + DIRECTORIES[struct.unpack_from("<H", head, pe + 24)[0]] + 4 * 8
    offset, size = struct.unpack_from("<II", head, security)
    assert offset >= os.path.getsize(unsigned) and offset + size == os.path.getsize(signed)

    shutil.copyfile(signed, installation.uninstaller)
    result = installation.run(" /S")
    assert result.boxes == []
    assert result.exit_code == 0
    installation.assert_all_removed()
