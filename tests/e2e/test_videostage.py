"""videostage.exe under the driver: the profile C:\\windows\\setting.ini, the
staged copy in the working directory, the message boxes and their order."""

import os

import pytest

# A sysfs file reports a size of 4096 but reads back a few dozen bytes: a
# source whose reads end before its size.
SHORT_SOURCE = "/sys/kernel/mm/transparent_hugepage/enabled"


def profile_path(wine):
    return os.path.join(wine.windows_dir, "setting.ini")


class Profile:
    """Moves any existing setting.ini aside for one case and puts it back."""

    def __init__(self, wine, text=None):
        self.wine = wine
        self.path = profile_path(wine)
        self.text = text

    def __enter__(self):
        self.saved = None
        if os.path.exists(self.path):
            with open(self.path, "rb") as f:
                self.saved = f.read()
            os.remove(self.path)
        if self.text is not None:
            write_profile(self.wine, self.text)
        return self

    def __exit__(self, *exc):
        if os.path.exists(self.path):
            os.remove(self.path)
        if self.saved is not None:
            with open(self.path, "wb") as f:
                f.write(self.saved)


def write_profile(wine, text):
    with open(profile_path(wine), "wb") as f:
        f.write(text.replace("\n", "\r\n").encode("latin-1"))


def source_profile(path):
    return "[VIDEO]\nPath=%s\n" % path


def read_profile(wine):
    """{(section, key): value} with each value exactly as stored, blanks kept."""
    values, section = {}, None
    with open(profile_path(wine), "rb") as f:
        for line in f.read().decode("latin-1").split("\r\n"):
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].upper()
            elif "=" in line and section is not None:
                key, _, value = line.partition("=")
                values[(section, key.strip().lower())] = value
    return values


def value(values, section, key):
    return values.get((section.upper(), key.lower()))


def stage_run(wine, cwd):
    result = wine.run('"%s"' % wine.winpath(os.path.join(wine.bin, "videostage.exe")), cwd=cwd)
    assert not result.timed_out, "videostage did not end"
    assert result.exit_code == 0, "exit code"
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
    assert value(values, "VIDEO", "ProcessPathError") == error, "ProcessPathError"
    assert value(values, "VIDEO2", "Path2") == path2, "Path2"
    stored = value(values, "VIDEO3", "Path3")
    if rewritten and stored is not None:
        assert stored.rstrip(" ") == path3.rstrip(" "), "Path3"
    else:
        assert stored == path3, "Path3"


def test_missing_key_records_empty_paths_and_a_failed_open(wine):
    with wine.scratch("video") as root, Profile(wine, "[VIDEO]\nOther=1\n"):
        result = stage_run(wine, root)
        assert texts(result) == ["Error(0x04)"], "boxes"
        values = read_profile(wine)
        check_outcome(values, "0", "", "")
        assert value(values, "VIDEO", "Other") == "1", "other keys kept"
        assert os.listdir(root) == [], "files created"


def test_missing_profile_behaves_like_a_missing_key(wine):
    with wine.scratch("video") as root, Profile(wine):
        result = stage_run(wine, root)
        assert texts(result) == ["Error(0x04)"], "boxes"
        check_outcome(read_profile(wine), "0", "", "")


def test_upper_case_mov_stages_to_temp_mov_with_the_trailing_blank(wine):
    with wine.scratch("video") as root:
        src = os.path.join(root, "clips", "intro.MOV")
        stage = os.path.join(root, "stage")
        data = os.urandom(1000)
        make_file(src, data)
        make_file(os.path.join(stage, "temp.mov"), b"an earlier staged copy, longer than nothing" * 50)
        make_file(os.path.join(stage, "temp.avi"), b"kept")
        with Profile(wine, source_profile(wine.winpath(src))):
            result = stage_run(wine, stage)
            assert texts(result) == [], "boxes"
            check_outcome(read_profile(wine), "1", wine.winpath(src),
                          wine.winpath(stage) + "\\temp.mov ")
        assert content(os.path.join(stage, "temp.mov")) == data, "staged content"
        assert content(os.path.join(stage, "temp.avi")) == b"kept", "other staging name untouched"
        assert sorted(os.listdir(stage)) == ["temp.avi", "temp.mov"], "names on disk"


def test_path_matching_both_tests_deletes_temp_mov_and_stages_temp_avi(wine):
    with wine.scratch("video") as root:
        src = os.path.join(root, "films.avi", "clip.mov")
        stage = os.path.join(root, "stage")
        data = os.urandom(777)
        make_file(src, data)
        make_file(os.path.join(stage, "temp.mov"), b"old mov")
        make_file(os.path.join(stage, "temp.avi"), b"old avi, to be replaced")
        with Profile(wine, source_profile(wine.winpath(src))):
            result = stage_run(wine, stage)
            assert texts(result) == [], "boxes"
            check_outcome(read_profile(wine), "1", wine.winpath(src),
                          wine.winpath(stage) + "\\temp.avi ")
        assert os.listdir(stage) == ["temp.avi"], "temp.mov deleted"
        assert content(os.path.join(stage, "temp.avi")) == data, "staged content"


def test_mixed_case_extension_matches_neither_test(wine):
    with wine.scratch("video") as root:
        src = os.path.join(root, "clips", "clip.Avi")
        stage = os.path.join(root, "stage")
        make_file(src, b"x" * 300)
        make_file(os.path.join(stage, "temp.avi"), b"untouched")
        with Profile(wine, source_profile(wine.winpath(src))):
            result = stage_run(wine, stage)
            assert texts(result) == ["Error(0x07)"], "boxes"
            check_outcome(read_profile(wine), "0", wine.winpath(src), "")
        assert os.listdir(stage) == ["temp.avi"], "files in the stage"
        assert content(os.path.join(stage, "temp.avi")) == b"untouched", "not deleted"


def test_small_sizes_are_copied_exactly(wine):
    # 250: slices of 2 and a last pass of 52; 99: only the last pass moves
    # data; 0: nothing to move but still a staged file.
    for size in (250, 99, 100, 1, 0, 1 << 20 | 37):
        with wine.scratch("video") as root:
            src = os.path.join(root, "v%d.avi" % size)
            data = os.urandom(size)
            make_file(src, data)
            with Profile(wine, source_profile(wine.winpath(src))):
                result = stage_run(wine, root)
                assert texts(result) == [], "boxes for size %d" % size
                assert value(read_profile(wine), "VIDEO", "ProcessPathError") == "1", \
                    "ProcessPathError for size %d" % size
            assert content(os.path.join(root, "temp.avi")) == data, "copy of %d bytes" % size


def test_second_run_overwrites_every_recorded_value(wine):
    with wine.scratch("video") as root:
        stage = os.path.join(root, "stage")
        os.makedirs(stage)
        missing = os.path.join(root, "gone.mov")
        src = os.path.join(root, "second.avi")
        data = os.urandom(4321)
        make_file(src, data)
        with Profile(wine, source_profile(wine.winpath(missing))):
            first = stage_run(wine, stage)
            assert texts(first) == ["Error(0x04)"], "first run boxes"
            check_outcome(read_profile(wine), "0", wine.winpath(missing),
                          wine.winpath(stage) + "\\temp.mov ")
            write_profile(wine, open(profile_path(wine), "rb").read().decode("latin-1").replace("\r\n", "\n")
                          .replace(wine.winpath(missing), wine.winpath(src), 1))
            second = stage_run(wine, stage)
            assert texts(second) == [], "second run boxes"
            values = read_profile(wine)
            check_outcome(values, "1", wine.winpath(src), wine.winpath(stage) + "\\temp.avi ")
            assert list(values).count(("VIDEO3", "path3")) == 1, "one Path3 entry"
        assert content(os.path.join(stage, "temp.avi")) == data, "staged content"


def test_source_over_four_gib_is_copied_whole(wine):
    # Sparse source: data blocks at the start, across 2 GiB and 4 GiB and at
    # the end, where a 32-bit size or offset would lose or misplace them.
    size = (1 << 32) + (5 << 20) + 250
    blocks = [(0, os.urandom(4096)), ((1 << 31) - 2048, os.urandom(4096)),
              ((1 << 32) - 2048, os.urandom(4096)), (size - 250, os.urandom(250))]
    with wine.scratch("video") as root:
        src = os.path.join(root, "large.mov")
        staged = os.path.join(root, "stage", "temp.mov")
        try:
            with open(src, "wb") as f:
                for offset, data in blocks:
                    f.seek(offset)
                    f.write(data)
            assert os.path.getsize(src) == size, "source size"
            os.makedirs(os.path.dirname(staged))
            with Profile(wine, source_profile(wine.winpath(src))):
                result = stage_run(wine, os.path.dirname(staged))
                assert texts(result) == [], "boxes"
                assert value(read_profile(wine), "VIDEO", "ProcessPathError") == "1", "ProcessPathError"
            assert os.path.getsize(staged) == size, "staged size"
            with open(staged, "rb") as f:
                for offset, data in blocks:
                    f.seek(offset)
                    assert f.read(len(data)) == data, "block at %d" % offset
                for offset in (4096, 1 << 31, (1 << 32) + (1 << 20)):
                    f.seek(offset + 4096)
                    assert f.read(4096) == bytes(4096), "zeros at %d" % offset
        finally:
            for path in (src, staged):
                if os.path.exists(path):
                    os.remove(path)


def test_missing_source_still_records_path3_and_creates_nothing(wine):
    with wine.scratch("video") as root:
        missing = os.path.join(root, "nowhere", "clip.mov")
        make_file(os.path.join(root, "temp.mov"), b"earlier")
        with Profile(wine, source_profile(wine.winpath(missing))):
            result = stage_run(wine, root)
            assert texts(result) == ["Error(0x04)"], "boxes"
            check_outcome(read_profile(wine), "0", wine.winpath(missing),
                          wine.winpath(root) + "\\temp.mov ")
        assert os.listdir(root) == [], "earlier copy deleted, no new one"


def test_staged_file_that_cannot_be_created_is_error_07(wine):
    with wine.scratch("video") as root:
        src = os.path.join(root, "clip.avi")
        make_file(src, b"data" * 100)
        # A folder of the staging name survives the delete and blocks the create.
        os.makedirs(os.path.join(root, "stage", "temp.avi"))
        stage = os.path.join(root, "stage")
        with Profile(wine, source_profile(wine.winpath(src))):
            result = stage_run(wine, stage)
            assert texts(result) == ["Error(0x07)"], "boxes"
            check_outcome(read_profile(wine), "0", wine.winpath(src), wine.winpath(stage) + "\\temp.avi ",
                          rewritten=True)
        assert os.path.isdir(os.path.join(stage, "temp.avi")), "folder left alone"


def test_copy_ending_short_is_error_07_and_keeps_what_was_read(wine):
    if not os.path.exists(SHORT_SOURCE):
        pytest.fail("no sysfs file to read short from: " + SHORT_SOURCE)
    with open(SHORT_SOURCE, "rb") as f:
        readable = f.read()
    with wine.scratch("video") as root:
        src = os.path.join(root, "short.mov")
        os.symlink(SHORT_SOURCE, src)
        with Profile(wine, source_profile(wine.winpath(src))):
            result = stage_run(wine, root)
            assert texts(result) == ["Error(0x07)"], "boxes"
            check_outcome(read_profile(wine), "0", wine.winpath(src), wine.winpath(root) + "\\temp.mov ",
                          rewritten=True)
        assert content(os.path.join(root, "temp.mov")) == readable, "written is what was read"


def nested_folder(wine, root, length):
    """A folder under |root| whose Windows path is |length| characters long."""
    path, win = root, wine.winpath(root)
    while len(win) < length:
        part = "d" * min(100, length - len(win) - 1)
        path, win = os.path.join(path, part), win + "\\" + part
    os.makedirs(path)
    assert len(wine.winpath(path)) == length, "folder length"
    return path


def test_staged_path_longer_than_the_path_limit_is_error_07(wine):
    with wine.scratch("video") as root:
        src = os.path.join(root, "clip.mov")
        data = os.urandom(500)
        make_file(src, data)
        # 249 characters plus "\temp.mov " is 259: the longest that fits.
        fits = nested_folder(wine, os.path.join(root, "a"), 249)
        with Profile(wine, source_profile(wine.winpath(src))):
            result = stage_run(wine, fits)
            assert texts(result) == [], "boxes at 249"
            check_outcome(read_profile(wine), "1", wine.winpath(src), wine.winpath(fits) + "\\temp.mov ")
        assert content(os.path.join(fits, "temp.mov")) == data, "copy at 249"
        too_long = nested_folder(wine, os.path.join(root, "b"), 250)
        with Profile(wine, source_profile(wine.winpath(src))):
            result = stage_run(wine, too_long)
            assert texts(result) == ["Error(0x07)"], "boxes at 250"
            check_outcome(read_profile(wine), "0", wine.winpath(src), "")
        assert os.listdir(too_long) == [], "nothing staged at 250"


