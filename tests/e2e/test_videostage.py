"""videostage.exe under the driver: the profile C:\\windows\\setting.ini, the
staged copy in the working directory, the message boxes and their order."""

import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

PROFILE = os.path.join(harness.WINDOWS_DIR, "setting.ini")
EXE = harness.winpath(os.path.join(harness.BIN, "videostage.exe"))
# A sysfs file reports a size of 4096 but reads back a few dozen bytes: a
# source whose reads end before its size.
SHORT_SOURCE = "/sys/kernel/mm/transparent_hugepage/enabled"


class Profile:
    """Moves any existing setting.ini aside for one case and puts it back."""

    def __init__(self, text=None):
        self.text = text

    def __enter__(self):
        self.saved = None
        if os.path.exists(PROFILE):
            with open(PROFILE, "rb") as f:
                self.saved = f.read()
            os.remove(PROFILE)
        if self.text is not None:
            write_profile(self.text)
        return self

    def __exit__(self, *exc):
        if os.path.exists(PROFILE):
            os.remove(PROFILE)
        if self.saved is not None:
            with open(PROFILE, "wb") as f:
                f.write(self.saved)


def write_profile(text):
    with open(PROFILE, "wb") as f:
        f.write(text.replace("\n", "\r\n").encode("latin-1"))


def source_profile(path):
    return "[VIDEO]\nPath=%s\n" % path


def read_profile():
    """{(section, key): value} with each value exactly as stored, blanks kept."""
    values, section = {}, None
    with open(PROFILE, "rb") as f:
        for line in f.read().decode("latin-1").split("\r\n"):
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].upper()
            elif "=" in line and section is not None:
                key, _, value = line.partition("=")
                values[(section, key.strip().lower())] = value
    return values


def value(values, section, key):
    return values.get((section.upper(), key.lower()))


def stage_run(cwd):
    result = harness.run('"%s"' % EXE, cwd=cwd)
    harness.check(not result.timed_out, "videostage did not end")
    harness.check_eq(result.exit_code, 0, "exit code")
    return result


def texts(result):
    return [text for _, text in result.boxes]


def make_file(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def content(path):
    with open(path, "rb") as f:
        return f.read()


def check_outcome(values, error, path2, path3, rewritten=False):
    """|rewritten|: a profile write followed the one of Path3. When Wine's
    profile service rewrites the file for a later key it drops the trailing
    blanks of the values already there, so Path3 may have lost its blank."""
    harness.check_eq(value(values, "VIDEO", "ProcessPathError"), error, "ProcessPathError")
    harness.check_eq(value(values, "VIDEO2", "Path2"), path2, "Path2")
    stored = value(values, "VIDEO3", "Path3")
    if rewritten and stored is not None:
        harness.check_eq(stored.rstrip(" "), path3.rstrip(" "), "Path3")
    else:
        harness.check_eq(stored, path3, "Path3")


@harness.case
def missing_key_records_empty_paths_and_a_failed_open():
    with harness.Scratch("video") as root, Profile("[VIDEO]\nOther=1\n"):
        result = stage_run(root)
        harness.check_eq(texts(result), ["Error(0x04)"], "boxes")
        values = read_profile()
        check_outcome(values, "0", "", "")
        harness.check_eq(value(values, "VIDEO", "Other"), "1", "other keys kept")
        harness.check_eq(os.listdir(root), [], "files created")


@harness.case
def missing_profile_behaves_like_a_missing_key():
    with harness.Scratch("video") as root, Profile():
        result = stage_run(root)
        harness.check_eq(texts(result), ["Error(0x04)"], "boxes")
        check_outcome(read_profile(), "0", "", "")


@harness.case
def upper_case_mov_stages_to_temp_mov_with_the_trailing_blank():
    with harness.Scratch("video") as root:
        src = os.path.join(root, "clips", "intro.MOV")
        stage = os.path.join(root, "stage")
        data = os.urandom(1000)
        make_file(src, data)
        make_file(os.path.join(stage, "temp.mov"), b"an earlier staged copy, longer than nothing" * 50)
        make_file(os.path.join(stage, "temp.avi"), b"kept")
        with Profile(source_profile(harness.winpath(src))):
            result = stage_run(stage)
            harness.check_eq(texts(result), [], "boxes")
            check_outcome(read_profile(), "1", harness.winpath(src),
                          harness.winpath(stage) + "\\temp.mov ")
        harness.check_eq(content(os.path.join(stage, "temp.mov")), data, "staged content")
        harness.check_eq(content(os.path.join(stage, "temp.avi")), b"kept", "other staging name untouched")
        harness.check_eq(sorted(os.listdir(stage)), ["temp.avi", "temp.mov"], "names on disk")


@harness.case
def path_matching_both_tests_deletes_temp_mov_and_stages_temp_avi():
    with harness.Scratch("video") as root:
        src = os.path.join(root, "films.avi", "clip.mov")
        stage = os.path.join(root, "stage")
        data = os.urandom(777)
        make_file(src, data)
        make_file(os.path.join(stage, "temp.mov"), b"old mov")
        make_file(os.path.join(stage, "temp.avi"), b"old avi, to be replaced")
        with Profile(source_profile(harness.winpath(src))):
            result = stage_run(stage)
            harness.check_eq(texts(result), [], "boxes")
            check_outcome(read_profile(), "1", harness.winpath(src),
                          harness.winpath(stage) + "\\temp.avi ")
        harness.check_eq(os.listdir(stage), ["temp.avi"], "temp.mov deleted")
        harness.check_eq(content(os.path.join(stage, "temp.avi")), data, "staged content")


@harness.case
def mixed_case_extension_matches_neither_test():
    with harness.Scratch("video") as root:
        src = os.path.join(root, "clips", "clip.Avi")
        stage = os.path.join(root, "stage")
        make_file(src, b"x" * 300)
        make_file(os.path.join(stage, "temp.avi"), b"untouched")
        with Profile(source_profile(harness.winpath(src))):
            result = stage_run(stage)
            harness.check_eq(texts(result), ["Error(0x07)"], "boxes")
            check_outcome(read_profile(), "0", harness.winpath(src), "")
        harness.check_eq(os.listdir(stage), ["temp.avi"], "files in the stage")
        harness.check_eq(content(os.path.join(stage, "temp.avi")), b"untouched", "not deleted")


@harness.case
def small_sizes_are_copied_exactly():
    # 250: slices of 2 and a last pass of 52; 99: only the last pass moves
    # data; 0: nothing to move but still a staged file.
    for size in (250, 99, 100, 1, 0, 1 << 20 | 37):
        with harness.Scratch("video") as root:
            src = os.path.join(root, "v%d.avi" % size)
            data = os.urandom(size)
            make_file(src, data)
            with Profile(source_profile(harness.winpath(src))):
                result = stage_run(root)
                harness.check_eq(texts(result), [], "boxes for size %d" % size)
                harness.check_eq(value(read_profile(), "VIDEO", "ProcessPathError"), "1",
                                 "ProcessPathError for size %d" % size)
            harness.check_eq(content(os.path.join(root, "temp.avi")), data, "copy of %d bytes" % size)


@harness.case
def second_run_overwrites_every_recorded_value():
    with harness.Scratch("video") as root:
        stage = os.path.join(root, "stage")
        os.makedirs(stage)
        missing = os.path.join(root, "gone.mov")
        src = os.path.join(root, "second.avi")
        data = os.urandom(4321)
        make_file(src, data)
        with Profile(source_profile(harness.winpath(missing))):
            first = stage_run(stage)
            harness.check_eq(texts(first), ["Error(0x04)"], "first run boxes")
            check_outcome(read_profile(), "0", harness.winpath(missing),
                          harness.winpath(stage) + "\\temp.mov ")
            write_profile(open(PROFILE, "rb").read().decode("latin-1").replace("\r\n", "\n")
                          .replace(harness.winpath(missing), harness.winpath(src), 1))
            second = stage_run(stage)
            harness.check_eq(texts(second), [], "second run boxes")
            values = read_profile()
            check_outcome(values, "1", harness.winpath(src), harness.winpath(stage) + "\\temp.avi ")
            harness.check_eq(list(values).count(("VIDEO3", "path3")), 1, "one Path3 entry")
        harness.check_eq(content(os.path.join(stage, "temp.avi")), data, "staged content")


@harness.case
def source_over_four_gib_is_copied_whole():
    # Sparse source: data blocks at the start, across 2 GiB and 4 GiB and at
    # the end, where a 32-bit size or offset would lose or misplace them.
    size = (1 << 32) + (5 << 20) + 250
    blocks = [(0, os.urandom(4096)), ((1 << 31) - 2048, os.urandom(4096)),
              ((1 << 32) - 2048, os.urandom(4096)), (size - 250, os.urandom(250))]
    with harness.Scratch("video") as root:
        src = os.path.join(root, "large.mov")
        staged = os.path.join(root, "stage", "temp.mov")
        try:
            with open(src, "wb") as f:
                for offset, data in blocks:
                    f.seek(offset)
                    f.write(data)
            harness.check_eq(os.path.getsize(src), size, "source size")
            os.makedirs(os.path.dirname(staged))
            with Profile(source_profile(harness.winpath(src))):
                result = stage_run(os.path.dirname(staged))
                harness.check_eq(texts(result), [], "boxes")
                harness.check_eq(value(read_profile(), "VIDEO", "ProcessPathError"), "1", "ProcessPathError")
            harness.check_eq(os.path.getsize(staged), size, "staged size")
            with open(staged, "rb") as f:
                for offset, data in blocks:
                    f.seek(offset)
                    harness.check_eq(f.read(len(data)) == data, True, "block at %d" % offset)
                for offset in (4096, 1 << 31, (1 << 32) + (1 << 20)):
                    f.seek(offset + 4096)
                    harness.check_eq(f.read(4096), bytes(4096), "zeros at %d" % offset)
        finally:
            for path in (src, staged):
                if os.path.exists(path):
                    os.remove(path)


@harness.case
def missing_source_still_records_path3_and_creates_nothing():
    with harness.Scratch("video") as root:
        missing = os.path.join(root, "nowhere", "clip.mov")
        make_file(os.path.join(root, "temp.mov"), b"earlier")
        with Profile(source_profile(harness.winpath(missing))):
            result = stage_run(root)
            harness.check_eq(texts(result), ["Error(0x04)"], "boxes")
            check_outcome(read_profile(), "0", harness.winpath(missing),
                          harness.winpath(root) + "\\temp.mov ")
        harness.check_eq(os.listdir(root), [], "earlier copy deleted, no new one")


@harness.case
def staged_file_that_cannot_be_created_is_error_07():
    with harness.Scratch("video") as root:
        src = os.path.join(root, "clip.avi")
        make_file(src, b"data" * 100)
        # A folder of the staging name survives the delete and blocks the create.
        os.makedirs(os.path.join(root, "stage", "temp.avi"))
        stage = os.path.join(root, "stage")
        with Profile(source_profile(harness.winpath(src))):
            result = stage_run(stage)
            harness.check_eq(texts(result), ["Error(0x07)"], "boxes")
            check_outcome(read_profile(), "0", harness.winpath(src), harness.winpath(stage) + "\\temp.avi ",
                          rewritten=True)
        harness.check(os.path.isdir(os.path.join(stage, "temp.avi")), "folder left alone")


@harness.case
def copy_ending_short_is_error_07_and_keeps_what_was_read():
    if not os.path.exists(SHORT_SOURCE):
        raise harness.Failure("no sysfs file to read short from: " + SHORT_SOURCE)
    with open(SHORT_SOURCE, "rb") as f:
        readable = f.read()
    with harness.Scratch("video") as root:
        src = os.path.join(root, "short.mov")
        os.symlink(SHORT_SOURCE, src)
        with Profile(source_profile(harness.winpath(src))):
            result = stage_run(root)
            harness.check_eq(texts(result), ["Error(0x07)"], "boxes")
            check_outcome(read_profile(), "0", harness.winpath(src), harness.winpath(root) + "\\temp.mov ",
                          rewritten=True)
        harness.check_eq(content(os.path.join(root, "temp.mov")), readable, "written is what was read")


def nested_folder(root, length):
    """A folder under |root| whose Windows path is |length| characters long."""
    path, win = root, harness.winpath(root)
    while len(win) < length:
        part = "d" * min(100, length - len(win) - 1)
        path, win = os.path.join(path, part), win + "\\" + part
    os.makedirs(path)
    harness.check_eq(len(harness.winpath(path)), length, "folder length")
    return path


@harness.case
def staged_path_longer_than_the_path_limit_is_error_07():
    with harness.Scratch("video") as root:
        src = os.path.join(root, "clip.mov")
        data = os.urandom(500)
        make_file(src, data)
        # 249 characters plus "\temp.mov " is 259: the longest that fits.
        fits = nested_folder(os.path.join(root, "a"), 249)
        with Profile(source_profile(harness.winpath(src))):
            result = stage_run(fits)
            harness.check_eq(texts(result), [], "boxes at 249")
            check_outcome(read_profile(), "1", harness.winpath(src), harness.winpath(fits) + "\\temp.mov ")
        harness.check_eq(content(os.path.join(fits, "temp.mov")), data, "copy at 249")
        too_long = nested_folder(os.path.join(root, "b"), 250)
        with Profile(source_profile(harness.winpath(src))):
            result = stage_run(too_long)
            harness.check_eq(texts(result), ["Error(0x07)"], "boxes at 250")
            check_outcome(read_profile(), "0", harness.winpath(src), "")
        harness.check_eq(os.listdir(too_long), [], "nothing staged at 250")


harness.main()
