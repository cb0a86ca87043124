#!/usr/bin/env python3
# Writes the many-small-files tree the archive bench measures: FILES files of 0 to MAX_KIB KiB
# (sizes spread evenly, the same every run) in FOLDERS folders, contents random.
#   make_tree.py DIR FILES FOLDERS MAX_KIB
import os
import random
import sys

root, files, folders, max_kib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
sizes = random.Random(20000)
for f in range(folders):
    os.makedirs(os.path.join(root, "d%03d" % f), exist_ok=True)
noise = os.urandom(max_kib * 1024 + 4096)
for i in range(files):
    size = sizes.randint(0, max_kib * 1024)
    at = sizes.randint(0, 4096)
    with open(os.path.join(root, "d%03d" % (i % folders), "f%06d.bin" % i), "wb") as out:
        out.write(noise[at:at + size])
