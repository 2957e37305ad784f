#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Times the codecs against Python's own cp932 on the real corpus, side by side in one run:
bytes.decode, str.encode, and a file read through open(). Usage (after bench/run.sh made the
corpora): PYTHONPATH=build/python python3 bench/python_codecs.py [CORPUS_DIR]"""
import sys
import time

import cp932conv  # noqa: F401 (registers the codecs)

C = (sys.argv[1] if len(sys.argv) > 1 else "bench/corpus") + "/"
def best(f, n=5):
    t = []
    for _ in range(n):
        s = time.perf_counter(); f(); t.append(time.perf_counter() - s)
    return min(t)
data = open(C + "real.cp932", "rb").read()
text = data.decode("cp932")
for name in ("cp932", "cp932-vk"):
    d = best(lambda: data.decode(name)); e = best(lambda: text.encode(name))
    r = best(lambda: open(C + "real.cp932", encoding=name).read(), 3)
    print(f"{name:9} decode {d:.3f}s encode {e:.3f}s open().read() {r:.3f}s")
u = best(lambda: open(C + "real.utf16", encoding="utf-16").read(), 3)
print(f"utf-16    open().read() {u:.3f}s")
