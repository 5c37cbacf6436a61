#!/usr/bin/env python3
"""Bytes per input object in a GNU ld map file (mingw PE), largest first:
where an image's size goes. Zero-filled data (.bss) takes no room in the
file and is left out. Usage: map_summary.py MAP [TOP]"""
import collections
import re
import sys

line_re = re.compile(r"^ (\.\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
sizes = collections.Counter()
sections = collections.Counter()
pending = None
in_discard = False
for raw in open(sys.argv[1], errors="replace"):
    line = raw.rstrip("\n")
    if line.startswith("/DISCARD/"):
        in_discard = True
    elif re.match(r"^\S", line):
        in_discard = False
    if in_discard:
        continue
    m = line_re.match(line)
    if m and m.group(1) is None and pending:
        m = line_re.match(" " + pending + line)
    pending = None
    if not m:
        s = re.match(r"^ (\.\S+)$", line)
        if s:
            pending = s.group(1)
        continue
    section, size, origin = m.group(1), int(m.group(3), 16), m.group(4)
    if size == 0 or section is None:
        continue
    origin = re.sub(r".*/", "", origin)
    kind = section.split("$")[0]
    if kind.startswith(".debug") or kind.startswith(".gnu.lto") or kind.startswith(".bss"):
        continue
    sizes[origin] += size
    sections[kind] += size
top = int(sys.argv[2]) if len(sys.argv) > 2 else 25
print("by section:", ", ".join("%s %d" % kv for kv in sections.most_common(8)))
for origin, size in sizes.most_common(top):
    print("%8d  %s" % (size, origin))
