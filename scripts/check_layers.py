#!/usr/bin/env python3
"""Fails the build when a lower layer includes a higher one.

Every include names its file from the project's root. The engine's portable
core includes only itself and common/; platform/ (what the families share)
includes no family; common/ includes only itself."""

import os
import re
import sys

ALLOWED = {
    "common": ("common/",),
    "engine/core": ("engine/core/", "common/"),
    "engine/win/platform": ("engine/win/platform/", "engine/core/", "engine/include/", "common/"),
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(top):
    faults = []
    for layer, allowed in ALLOWED.items():
        for folder, _, names in os.walk(os.path.join(top, layer)):
            for name in names:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as f:
                    for included in INCLUDE.findall(f.read()):
                        if not included.startswith(allowed):
                            faults.append("%s includes %s" % (os.path.relpath(path, top), included))
    for fault in faults:
        print("layers: " + fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
