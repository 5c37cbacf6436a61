"""The built uninstaller's launcher under Wine: a sound run, damaged and
unusual containers, and what each leaves in the temporary folder."""

import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

sys.path.insert(0, os.path.join(harness.TOP, "package"))
import build_container  # noqa: E402

TITLE = "Orvella_Installation"
STRINGS = {
    1: "Cannot create temporary folder: the program will exit.",
    2: "Cannot create temporary runtime: the program will exit.",
    3: "This program has got corrupted internal data: it will exit. Please obtain a new copy.",
}
IMAGE = os.path.join(harness.BUILD, "win", "uninstall", "uninstall_image.exe")
UNINSTALLER = os.path.join(harness.BIN, "uninstall.exe")


def read(path):
    with open(path, "rb") as f:
        return f.read()


_payload = {}


def payload():
    """The shipped payload archive, as the package build makes it."""
    if "archive" not in _payload:
        with harness.Scratch("payload") as work:
            _payload["archive"] = build_container.make_payload_archive(
                work, [os.path.join(harness.BIN, n) for n in ("qxdlg.dat", "qxlng.dat")],
                os.path.join(harness.BIN, "QXCore.dll"))
    return _payload["archive"]


def small_archive(files, renames=None):
    """An archive of |files| ({name: bytes}) with a plain header, so that
    names can be replaced afterwards."""
    with harness.Scratch("archive") as work:
        for name, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(work, name)), exist_ok=True)
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
        target = os.path.join(work, "a.7z")
        build_container.seven_zip(work, target, list(files), header_compression=False)
        archive = read(target)
    return build_container.rename_entries(archive, renames) if renames else archive


def runtime_folders():
    return {n for n in harness.temp_entries() if n.startswith("qx")}


def launch(data, name="uninstall.exe"):
    """Writes |data| as an uninstaller into a scratch folder and runs it;
    returns the result and the runtime folders the run left behind."""
    before = runtime_folders()
    with harness.Scratch("launcher") as folder:
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        result = harness.run('"%s"' % harness.winpath(path), cwd=folder)
    harness.check(not result.timed_out, "the launcher did not end: %r" % result)
    return result, runtime_folders() - before


def check_fatal(result, status):
    harness.check_eq(result.boxes, [(TITLE, "Fatal Error\n" + STRINGS.get(status, ""))], "message boxes")
    harness.check_eq(result.exit_code, -status, "exit code")


def check_clean_success(result, left):
    # The engine started: with no log beside the launcher it says so and the
    # run ends normally.
    harness.check_eq(result.boxes, [(TITLE, "Error: uninstall log file not found.")], "message boxes")
    harness.check_eq(result.exit_code, 0, "exit code")
    harness.check_eq(left, set(), "runtime folders left behind")


@harness.case
def sound_launcher_ends_with_zero_and_removes_its_folder():
    before = runtime_folders()
    result = harness.run('"%s"' % harness.winpath(UNINSTALLER), cwd=harness.BIN)
    check_clean_success(result, runtime_folders() - before)


@harness.case
def total_size_zero_is_corrupt_and_creates_no_folder():
    before = harness.temp_entries()
    with harness.Scratch("launcher") as folder:
        path = os.path.join(folder, "uninstall.exe")
        with open(path, "wb") as f:
            f.write(build_container.container(read(IMAGE), payload(), total_size=0))
        result = harness.run('"%s"' % harness.winpath(path), cwd=folder)
    check_fatal(result, 3)
    harness.check_eq(harness.temp_entries() - before, set(), "new entries in the temporary folder")


@harness.case
def image_without_container_is_corrupt():
    result, left = launch(read(IMAGE))
    check_fatal(result, 3)
    harness.check_eq(left, set(), "runtime folders left behind")


@harness.case
def archive_after_a_gap_and_after_a_bad_signature_copy_is_found():
    image = read(IMAGE)
    for gap in (build_container.junk(5000), build_container.decoy_signature(),
                build_container.junk(40000) + build_container.decoy_signature()):
        result, left = launch(build_container.container(image, payload(), gap=gap))
        check_clean_success(result, left)
    # ArchiveOffset moves the start of the search past filler bytes.
    result, left = launch(build_container.container(image, payload(), archive_offset=70000))
    check_clean_success(result, left)


@harness.case
def archive_offset_past_the_archive_is_corrupt():
    data = bytearray(build_container.container(read(IMAGE), payload()))
    end = build_container.image_end(data)
    data[end + 2:end + 10] = (40).to_bytes(8, "little")
    result, left = launch(bytes(data))
    check_fatal(result, 3)
    harness.check_eq(left, set(), "runtime folders left behind")


@harness.case
def truncated_archive_is_corrupt_and_its_folder_removed():
    full = build_container.container(read(IMAGE), payload())
    for cut in (1, 200, len(payload()) - 40):
        result, left = launch(full[:-cut])
        check_fatal(result, 3)
        harness.check_eq(left, set(), "runtime folders left behind")


@harness.case
def damaged_stream_reports_the_library_code():
    archive = bytearray(payload())
    for i in range(40, 90):
        archive[i] ^= 0xFF
    result, left = launch(build_container.container(read(IMAGE), bytes(archive)))
    harness.check(result.exit_code in (-1, -3), "exit code %r" % result.exit_code)
    check_fatal(result, -result.exit_code)
    harness.check_eq(left, set(), "runtime folders left behind")


@harness.case
def traversal_names_are_never_written():
    victim = "qxvictim.txt"
    for stored, name in (("aa/" + victim, "../" + victim), ("aa\u00e9" + victim, "C:\\" + victim),
                         ("ab" + victim, "/\\" + victim), ("ac/" + victim, "..\\" + victim)):
        archive = small_archive({stored: b"written outside"}, {stored: name})
        result, left = launch(build_container.container(read(IMAGE), archive))
        check_fatal(result, 3)
        harness.check_eq(left, set(), "runtime folders left behind")
        harness.check(not os.path.exists(os.path.join(harness.USER_TEMP, victim)), "%r was written" % name)
        harness.check(not os.path.exists(os.path.join(harness.DRIVE_C, victim)), "%r was written" % name)


@harness.case
def duplicate_entry_fails_with_runtime_status_and_removes_what_was_written():
    archive = small_archive({"one.txt": b"1", "two.txt": b"2"}, {"two.txt": "one.txt"})
    result, left = launch(build_container.container(read(IMAGE), archive))
    check_fatal(result, 2)
    harness.check_eq(left, set(), "runtime folders left behind")


harness.main()
