#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Makes the benchmark corpora in a directory (never committed):

  real.cp932     Japanese manual pages (Debian's manpages-ja, UTF-8) in CP932, repeated
  ascii.cp932    pure ASCII text
  double.cp932   only two-byte characters
and of each the UTF-16BE version with a byte order mark (*.utf16) and the UTF-8 version
(*.utf8).

Lines that do not survive a strict round trip through CP932 are dropped, and the script says how
many. Usage: make_corpus.py DIR [MEGABYTES]
"""
import gzip
import os
import random
import sys
from pathlib import Path

MAN_DIR = Path("/usr/share/man/ja")


def real_text():
    kept, dropped = [], 0
    pages = sorted(MAN_DIR.rglob("*.gz"))
    if not pages:
        sys.exit(f"no manual pages under {MAN_DIR}: install the package manpages-ja")
    for page in pages:
        text = gzip.open(page).read().decode("utf-8", errors="replace")
        for line in text.splitlines(keepends=True):
            try:
                encoded = line.encode("cp932")
                if encoded.decode("cp932") != line:
                    raise ValueError
                kept.append(encoded)
            except (UnicodeError, ValueError):
                dropped += 1
    total = len(kept) + dropped
    print(f"real corpus: {len(pages)} pages, {total} lines, dropped {dropped} "
          f"({100.0 * dropped / max(total, 1):.2f}%) that CP932 cannot hold", file=sys.stderr)
    return b"".join(kept)


def ascii_text(size):
    words = b"the quick brown fox jumps over lazy dogs and converts legacy files 0123456789".split()
    rng = random.Random(932)
    out, length = [], 0
    while length < size:
        line = b" ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + b"\n"
        out.append(line)
        length += len(line)
    return b"".join(out)


def double_text(seed_text):
    # Every two-byte character of the real text, in its order: hiragana, katakana, kanji...
    chars, at = [], 0
    while at < len(seed_text):
        byte = seed_text[at]
        if 0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC:
            chars.append(seed_text[at:at + 2])
            at += 2
        else:
            at += 1
    return b"".join(chars)


def repeat_to(data, size):
    return (data * (size // len(data) + 1))[:size] if data else data


def trim_to_characters(data):
    # Cut after the last whole character: never end on a lead byte.
    at, end = 0, 0
    while at < len(data):
        byte = data[at]
        step = 2 if (0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC) else 1
        if at + step > len(data):
            break
        at += step
        end = at
    return data[:end]


def main():
    out_dir = Path(sys.argv[1])
    size = int(float(sys.argv[2]) * 1_000_000) if len(sys.argv) > 2 else 100_000_000
    out_dir.mkdir(parents=True, exist_ok=True)
    real = real_text()
    corpora = {
        "real": trim_to_characters(repeat_to(real, size)),
        "ascii": repeat_to(ascii_text(1_000_000), size),
        "double": repeat_to(double_text(real), size - size % 2),
    }
    for name, data in corpora.items():
        (out_dir / f"{name}.cp932").write_bytes(data)
        utf16 = b"\xfe\xff" + data.decode("cp932").encode("utf-16-be")
        (out_dir / f"{name}.utf16").write_bytes(utf16)
        utf8 = data.decode("cp932").encode("utf-8")
        (out_dir / f"{name}.utf8").write_bytes(utf8)
        print(f"{name}: {len(data)} bytes CP932, {len(utf16)} bytes UTF-16, {len(utf8)} bytes "
              "UTF-8", file=sys.stderr)


if __name__ == "__main__":
    main()
