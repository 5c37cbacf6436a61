#!/usr/bin/env python3
"""Fails the build when an include crosses a layer the wrong way.

Every include names its file from the project's root. The rules:
- The portable code (engine/core, and the launcher's portable files) builds
  natively too: it includes only the C++ standard library and project files
  that are portable themselves, down to the last include. A platform header
  (<windows.h>, any <*.h>) anywhere on the way fails.
- common/ includes only itself.
- The engine's platform/ (what the families share) includes no family.
- A family of the engine's exports (engine/win/<family>) includes no other
  family: what two families share lives in platform/.
- The launcher (uninstall/) reaches the engine only through engine/include
  and the portable engine/core, never through engine/win."""

import os
import re
import sys

PORTABLE_FOLDERS = ("engine/core/",)
PORTABLE_FILES = ("uninstall/image_layout.h", "uninstall/image_layout.cpp", "uninstall/exit_codes.h",
                  "uninstall/exit_codes.cpp")
FAMILIES = "engine/win/"
INCLUDE = re.compile(r'^\s*#\s*include\s+([<"])([^">]+)[">]', re.M)


def includes(top, path):
    try:
        with open(os.path.join(top, path), encoding="utf-8") as f:
            return INCLUDE.findall(f.read())
    except OSError:
        return []


def non_portable_reason(top, path, seen):
    """Why |path| is not portable (its first offending include), or None."""
    if path in seen:
        return None
    seen.add(path)
    for kind, name in includes(top, path):
        if kind == "<":
            if "." in name:
                return "%s includes <%s>" % (path, name)
        elif not os.path.exists(os.path.join(top, name)):
            return "%s includes %s, which is no project file" % (path, name)
        else:
            reason = non_portable_reason(top, name, seen)
            if reason:
                return reason
    return None


def source_files(top, folder):
    for base, _, names in os.walk(os.path.join(top, folder)):
        for name in names:
            if name.endswith((".h", ".cpp")):
                yield os.path.relpath(os.path.join(base, name), top).replace(os.sep, "/")


def layer_rule(path):
    """The prefixes a non-portable file at |path| may include, or None."""
    if path.startswith("common/"):
        return ("common/",)
    if path.startswith("engine/win/platform/"):
        return ("engine/win/platform/", "engine/core/", "engine/include/", "common/")
    if path.startswith(FAMILIES):
        family = FAMILIES + path[len(FAMILIES):].split("/")[0] + "/"
        return (family, "engine/win/platform/", "engine/core/", "engine/include/", "common/")
    if path.startswith("uninstall/"):
        return ("uninstall/", "engine/core/", "engine/include/", "common/")
    return None


def faults(top):
    found = []
    files = [f for folder in ("common", "engine", "uninstall") for f in source_files(top, folder)]
    for path in sorted(files):
        if path.startswith(PORTABLE_FOLDERS) or path in PORTABLE_FILES:
            reason = non_portable_reason(top, path, set())
            if reason:
                found.append("%s must stay portable: %s" % (path, reason))
            continue
        allowed = layer_rule(path)
        if allowed is None:
            continue
        for kind, name in includes(top, path):
            # A bare name is an outside library's header (the LZMA SDK).
            if kind == '"' and "/" in name and not name.startswith(allowed):
                found.append("%s includes %s" % (path, name))
    return found


def main(top):
    found = faults(top)
    for fault in found:
        print("layers: " + fault, file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
