"""The built uninstaller's launcher under Wine: a sound run, damaged and
unusual containers, and what each leaves in the temporary folder."""

import os

import build_container
import pytest

TITLE = "Orvella_Installation"
STRINGS = {
    1: "Cannot create temporary folder: the program will exit.",
    2: "Cannot create temporary runtime: the program will exit.",
    3: "This program has got corrupted internal data: it will exit. Please obtain a new copy.",
}


def read(path):
    with open(path, "rb") as f:
        return f.read()


@pytest.fixture(scope="module")
def payload(wine):
    """The shipped payload archive, as the package build makes it."""
    with wine.scratch("payload") as work:
        return build_container.make_payload_archive(
            work, [os.path.join(wine.bin, n) for n in ("qxdlg.dat", "qxlng.dat")],
            os.path.join(wine.bin, "QXCore.dll"))


@pytest.fixture(scope="module")
def image(wine):
    """The launcher's image without a container."""
    return read(os.path.join(wine.build, "win", "uninstall", "uninstall_image.exe"))


def small_archive(wine, files, renames=None):
    """An archive of |files| ({name: bytes}) with a plain header, so that
    names can be replaced afterwards."""
    with wine.scratch("archive") as work:
        for name, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(work, name)), exist_ok=True)
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
        target = os.path.join(work, "a.7z")
        build_container.seven_zip(work, target, list(files), header_compression=False)
        archive = read(target)
    return build_container.rename_entries(archive, renames) if renames else archive


def runtime_folders(wine):
    return {n for n in wine.temp_entries() if n.startswith("qx")}


def launch(wine, data, name="uninstall.exe"):
    """Writes |data| as an uninstaller into a scratch folder and runs it;
    returns the result and the runtime folders the run left behind."""
    before = runtime_folders(wine)
    with wine.scratch("launcher") as folder:
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        result = wine.run('"%s"' % wine.winpath(path), cwd=folder)
    assert not result.timed_out, "the launcher did not end: %r" % result
    return result, runtime_folders(wine) - before


def check_fatal(result, status):
    assert result.boxes == [(TITLE, "Fatal Error\n" + STRINGS.get(status, ""))], "message boxes"
    assert result.exit_code == -status, "exit code"


def check_clean_success(result, left):
    # The engine started: with no log beside the launcher it says so and the
    # run ends normally.
    assert result.boxes == [(TITLE, "Error: uninstall log file not found.")], "message boxes"
    assert result.exit_code == 0, "exit code"
    assert left == set(), "runtime folders left behind"


def test_sound_launcher_ends_with_zero_and_removes_its_folder(wine):
    before = runtime_folders(wine)
    result = wine.run('"%s"' % wine.winpath(os.path.join(wine.bin, "uninstall.exe")), cwd=wine.bin)
    check_clean_success(result, runtime_folders(wine) - before)


def test_total_size_zero_is_corrupt_and_creates_no_folder(wine, image, payload):
    before = wine.temp_entries()
    with wine.scratch("launcher") as folder:
        path = os.path.join(folder, "uninstall.exe")
        with open(path, "wb") as f:
            f.write(build_container.container(image, payload, total_size=0))
        result = wine.run('"%s"' % wine.winpath(path), cwd=folder)
    check_fatal(result, 3)
    assert wine.temp_entries() - before == set(), "new entries in the temporary folder"


def test_image_without_container_is_corrupt(wine, image):
    result, left = launch(wine, image)
    check_fatal(result, 3)
    assert left == set(), "runtime folders left behind"


def test_archive_after_a_gap_and_after_a_bad_signature_copy_is_found(wine, image, payload):
    for gap in (build_container.junk(5000), build_container.decoy_signature(),
                build_container.junk(40000) + build_container.decoy_signature()):
        result, left = launch(wine, build_container.container(image, payload, gap=gap))
        check_clean_success(result, left)
    # ArchiveOffset moves the start of the search past filler bytes.
    result, left = launch(wine, build_container.container(image, payload, archive_offset=70000))
    check_clean_success(result, left)


def test_archive_offset_past_the_archive_is_corrupt(wine, image, payload):
    data = bytearray(build_container.container(image, payload))
    end = build_container.image_end(data)
    data[end + 2:end + 10] = (40).to_bytes(8, "little")
    result, left = launch(wine, bytes(data))
    check_fatal(result, 3)
    assert left == set(), "runtime folders left behind"


def test_truncated_archive_is_corrupt_and_its_folder_removed(wine, image, payload):
    full = build_container.container(image, payload)
    for cut in (1, 200, len(payload) - 40):
        result, left = launch(wine, full[:-cut])
        check_fatal(result, 3)
        assert left == set(), "runtime folders left behind"


def test_damaged_stream_reports_the_library_code(wine, image, payload):
    archive = bytearray(payload)
    for i in range(40, 90):
        archive[i] ^= 0xFF
    result, left = launch(wine, build_container.container(image, bytes(archive)))
    assert result.exit_code in (-1, -3), "exit code %r" % result.exit_code
    check_fatal(result, -result.exit_code)
    assert left == set(), "runtime folders left behind"


def test_traversal_names_are_never_written(wine, image):
    victim = "qxvictim.txt"
    for stored, name in (("aa/" + victim, "../" + victim), ("aa\u00e9" + victim, "C:\\" + victim),
                         ("ab" + victim, "/\\" + victim), ("ac/" + victim, "..\\" + victim)):
        archive = small_archive(wine, {stored: b"written outside"}, {stored: name})
        result, left = launch(wine, build_container.container(image, archive))
        check_fatal(result, 3)
        assert left == set(), "runtime folders left behind"
        assert not os.path.exists(os.path.join(wine.user_temp, victim)), "%r was written" % name
        assert not os.path.exists(os.path.join(wine.drive_c, victim)), "%r was written" % name


def test_duplicate_entry_fails_with_runtime_status_and_removes_what_was_written(wine, image):
    archive = small_archive(wine, {"one.txt": b"1", "two.txt": b"2"}, {"two.txt": "one.txt"})
    result, left = launch(wine, build_container.container(image, archive))
    check_fatal(result, 2)
    assert left == set(), "runtime folders left behind"


