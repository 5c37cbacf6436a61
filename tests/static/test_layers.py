"""The include check of the build (scripts/check_layers.py) catches what it
claims to: each planted include fails it in a copy of the tree, which
passes untouched."""

import os
import shutil
import subprocess
import sys

import pytest

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECK = os.path.join(TOP, "scripts", "check_layers.py")

PLANTED = [
    ("engine/core/lines.h", "#include <windows.h>"),
    ("engine/core/lines.h", '#include "common/file_identity.h"'),
    ("uninstall/exit_codes.h", '#include "uninstall/launcher.h"'),
    ("uninstall/paths.cpp", '#include "engine/win/log/log_state.h"'),
    ("engine/win/text/text_exports.cpp", '#include "engine/win/startup/builtins.h"'),
    ("engine/win/platform/wide.h", '#include "engine/win/dialogs/dialog_state.h"'),
    ("common/fixed_string.h", '#include "engine/core/text.h"'),
]


def check(tree):
    return subprocess.run([sys.executable, CHECK, tree], stderr=subprocess.PIPE).returncode


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    copy = str(tmp_path_factory.mktemp("layers"))
    for folder in ("common", "engine", "uninstall"):
        shutil.copytree(os.path.join(TOP, folder), os.path.join(copy, folder))
    return copy


def test_each_planted_include_fails_the_check(tree):
    assert check(tree) == 0
    for path, line in PLANTED:
        target = os.path.join(tree, path)
        with open(target) as f:
            original = f.read()
        with open(target, "w") as f:
            f.write(line + "\n" + original)
        try:
            assert check(tree) == 1, line + " in " + path
        finally:
            with open(target, "w") as f:
                f.write(original)
