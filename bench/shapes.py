#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Times every kernel tier side by side on input shapes chosen to be hard for the fast paths:
codes the kernels must leave to the rules (unmapped codes, invalid bytes, surrogates, markup) at
many spacings, one-byte codes that come from a table lookup, short ASCII runs between two-byte
characters, and each variant letter on text full of the characters it changes.

Usage: shapes.py [--build DIR] [--megabytes N] [--runs N] [--only WORD] [--json FILE] [--search]
Prints a Markdown table: the time of each tier and its ratio to the portable tier. The tiers
run in turn in one process (varnok_race, dostrel_race), round after round, and each keeps its
median round.

--search goes through periodic shapes instead: a run of one class of character (ASCII, kanji,
kana...) of every period from 1 to 256 bytes, each followed by one character of another class,
in every direction and form, and reports the worst shape it finds for each tier.
"""
import argparse
import json
import random
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent

KANJI = "日本語漢字変換文字列処理東京大阪"
HIRAGANA = "あいうえおかきくけこさしすせそたちつてと"
KATAKANA = "アイウエオカキクケコサシスセソタチツテト"


def japanese(random_, length):
    pool = KANJI + HIRAGANA + KATAKANA + "、。「」"
    return "".join(random_.choice(pool) for _ in range(length))


def sprinkle(base, item, every):
    """`base` with `item` after every `every` characters."""
    return item.join(base[k:k + every] for k in range(0, len(base), every))


def text_of(random_, characters):
    """Mixed Japanese text with short ASCII words, about `characters` long."""
    parts = []
    total = 0
    while total < characters:
        piece = japanese(random_, random_.randint(2, 12)) if random_.random() < 0.7 else \
            " " + "".join(random_.choice("abcdefghij") for _ in range(random_.randint(1, 6))) + " "
        parts.append(piece)
        total += len(piece)
    return "".join(parts)


def shapes(megabytes):
    """(name, program, options, bytes) of each shape, about `megabytes` of input each."""
    random_ = random.Random(7)
    size = int(megabytes * 1e6)
    base = text_of(random_, 4096)
    out = []

    def repeat(data):
        return (data * (size // max(len(data), 1) + 1))[:size]

    def cp932(text):
        return text.encode("cp932")

    def utf16(text):
        return text.encode("utf-16-be")

    # varnok: what its kernels must leave to the rules, at several spacings (in characters),
    # and short ASCII runs; with UTF-16 output, and then (letters "-u") UTF-8.
    def varnok_shapes(letters, everies, runs):
        prefix = f"{letters}, " if letters else ""
        for every in everies:
            for item, code in (("unmapped F040", b"\xF0\x40"), ("invalid 0x80", b"\x80")):
                out.append((f"{prefix}{item} every {every}", "varnok", letters,
                            repeat(sprinkle(cp932(base[:every * 64]), code, 2 * every))))
        for run in runs:
            out.append((f"{prefix}ASCII runs of {run} between kanji", "varnok", letters,
                        repeat(cp932(("a" * run + "漢") * 64))))
        out.append((f"{prefix}halfwidth katakana and ASCII", "varnok", letters,
                    repeat(cp932("ｱｲｳ abc ｴｵ" * 64))))

    varnok_shapes("", (16, 40, 100, 400), (3, 8, 30, 62, 63))
    out.append(("-y, ASCII with 0x5C every 20", "varnok", "-y",
                repeat(cp932(("C:\\dir\\file.txt " * 2 + "x") * 32))))
    out.append(("-y on Japanese text", "varnok", "-y", repeat(cp932(base))))
    out.append(("-o, ASCII with 0x7E every 10", "varnok", "-o", repeat(cp932("~/a/b/c/d " * 64))))
    out.append(("-d on Japanese text", "varnok", "-d", repeat(cp932(base))))

    # dostrel: characters without a code, surrogates, one-byte codes from the table.
    for every in (16, 40, 100, 400):
        out.append((f"unmapped U+00A9 every {every}", "dostrel", "",
                    repeat(utf16(sprinkle(base[:every * 64], "\u00A9", every)))))
        out.append((f"surrogate pair every {every}", "dostrel", "",
                    repeat(utf16(sprinkle(base[:every * 64], "\U0001F600", every)))))
        out.append((f"-y, U+00A5 every {every}", "dostrel", "-y",
                    repeat(utf16(sprinkle(base[:every * 64], "\u00A5", every)))))
    out.append(("-o, U+203E every 40", "dostrel", "-o",
                repeat(utf16(sprinkle(base[:40 * 64], "\u203E", 40)))))
    out.append(("-v, U+00A6 every 40", "dostrel", "-v",
                repeat(utf16(sprinkle(base[:40 * 64], "\u00A6", 40)))))
    out.append(("U+0080 and U+F8F0 every 40", "dostrel", "",
                repeat(utf16(sprinkle(base[:40 * 64], "\u0080\uF8F0", 40)))))
    for run in (3, 8, 30):
        out.append((f"ASCII runs of {run} between kanji", "dostrel", "",
                    repeat(utf16(("a" * run + "漢") * 64))))
    out.append(("-m, markup every 20", "dostrel", "-m",
                repeat(utf16("<p>" + sprinkle(base[:20 * 64], "</p><p>", 20)))))
    out.append(("-r, backslash every 20", "dostrel", "-r",
                repeat(utf16(sprinkle(base[:20 * 64], "\\", 20)))))
    out.append(("-s, ASCII with backslash every 20", "dostrel", "-s",
                repeat(utf16(("C:\\dir\\file.txt " * 2 + "x") * 32))))
    out.append(("-y, plain ASCII", "dostrel", "-y", repeat(utf16("plain ascii text. " * 64))))

    # The same kinds of shape with UTF-8 on the Unicode side (u).
    def utf8(text):
        return text.encode("utf-8")

    varnok_shapes("-u", (16, 100), (3, 30, 62))
    for every in (16, 100):
        out.append((f"-u, unmapped U+00A9 every {every}", "dostrel", "-u",
                    repeat(utf8(sprinkle(base[:every * 64], "\u00A9", every)))))
        out.append((f"-u, four-byte character every {every}", "dostrel", "-u",
                    repeat(utf8(sprinkle(base[:every * 64], "\U0001F600", every)))))
        out.append((f"-u, ill-formed byte every {every}", "dostrel", "-u",
                    repeat(sprinkle(utf8(base[:every * 64]), b"\xFF", 3 * every))))
    for run in (3, 30, 62):
        out.append((f"-u, ASCII runs of {run} between kanji", "dostrel", "-u",
                    repeat(utf8(("a" * run + "漢") * 64))))
    out.append(("-u, halfwidth katakana and ASCII", "dostrel", "-u",
                repeat(utf8("ｱｲｳ abc ｴｵ" * 64))))
    out.append(("-um, markup every 20", "dostrel", "-um",
                repeat(utf8("<p>" + sprinkle(base[:20 * 64], "</p><p>", 20)))))
    return out


# The classes of character the periodic shapes mix, as text (or, for what only the rules take,
# the bytes themselves), for CP932 input and for Unicode input.
CP932_CLASSES = {
    "ASCII": "abcdefgh", "kanji": KANJI, "kana": HIRAGANA + KATAKANA, "halfwidth": "ｱｲｳｴｵ",
    "backslash": "\\", "unmapped F040": b"\xF0\x40", "invalid 0x80": b"\x80",
}
UNICODE_CLASSES = {
    "ASCII": "abcdefgh", "kanji": KANJI, "kana": HIRAGANA + KATAKANA, "halfwidth": "ｱｲｳｴｵ",
    "Greek": "αβγδ", "backslash": "\\", "unmapped U+00A9": "\u00A9", "beyond the BMP": "\U0001F600",
}
PERIODS = (1, 2, 3, 5, 8, 13, 21, 32, 48, 64, 96, 128, 192, 256)
# (program, letters, classes, encode): each direction and form, the letters that change ASCII
# among them.
DIRECTIONS = (
    ("varnok", "", CP932_CLASSES, "cp932"),
    ("varnok", "-u", CP932_CLASSES, "cp932"),
    ("varnok", "-uy", CP932_CLASSES, "cp932"),
    ("dostrel", "", UNICODE_CLASSES, "utf-16-be"),
    ("dostrel", "-u", UNICODE_CLASSES, "utf-8"),
)


def periodic_shapes(megabytes):
    """Yields (name, program, options, bytes): a run of one class `period` bytes long, then one
    character of another class, over and over; the runs are of ASCII or kanji, the classes of
    Japanese text."""
    size = int(megabytes * 1e6)
    for program, letters, classes, encoding in DIRECTIONS:
        def encoded(item, k):
            if isinstance(item, bytes):
                return item
            return item[k % len(item)].encode(encoding)

        for run_class in ("ASCII", "kanji"):
            for item_class in classes:
                if item_class == run_class:
                    continue
                for period in PERIODS:
                    unit = b""
                    k = 0
                    while len(unit) < period:
                        unit += encoded(classes[run_class], k)
                        k += 1
                    unit += encoded(classes[item_class], period)
                    data = (unit * (size // len(unit) + 1))[:size]
                    name = f"{letters or '-'} {run_class} {period} bytes, then {item_class}"
                    yield name, program, letters, data


def race(build, program, path, letters, runs):
    """Each tier's median time on the input at `path`: the tiers take turns on it in one process
    (varnok_race, dostrel_race), as whole processes of a few milliseconds vary by more than the
    tiers differ."""
    command = [str(build / "bench" / f"{program}_race"), str(path), str(runs)] + letters.split()
    report = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                            check=True).stderr
    return {line.split()[0]: float(line.split()[1]) / 1e3 for line in report.splitlines()}


def same_output(build, names, program, path, letters):
    """True when every tier's output is the same."""
    outputs = set()
    for tier in names:
        with open(path, "rb") as source:
            outputs.add(subprocess.run([str(build / "bench" / f"{program}_tier"), tier] +
                                       letters.split(), stdin=source,
                                       capture_output=True).stdout)
    return len(outputs) == 1


def search(build, names, megabytes, runs, only):
    """Times the periodic shapes and prints the worst for each tier (its ratio to the portable
    tier), then every shape where a tier took more than 1.03 times the portable tier's time."""
    worst = {n: (0.0, "") for n in names if n != "portable"}
    losing = []
    with tempfile.TemporaryDirectory() as scratch:
        path = Path(scratch) / "input"
        for name, program, letters, data in periodic_shapes(megabytes):
            if only and only not in name:
                continue
            path.write_bytes(data)
            if not same_output(build, names, program, path, letters):
                sys.exit(f"{program} {name}: the tiers' outputs differ")
            times = race(build, program, path, letters, runs)
            for tier in worst:
                ratio = times[tier] / times["portable"]
                if ratio > worst[tier][0]:
                    worst[tier] = (ratio, f"{program} {name}")
                if ratio > 1.03:
                    losing.append((ratio, tier, f"{program} {name}"))
    print("| tier | worst shape | tier/portable |\n|---|---|---:|")
    for tier, (ratio, shape) in worst.items():
        print(f"| {tier} | {shape} | {ratio:.2f} |")
    print(f"\n{len(losing)} shape and tier pairs above 1.03 of the portable tier")
    for ratio, tier, shape in sorted(losing, reverse=True):
        print(f"- {tier}: {shape}: {ratio:.2f}")


def tiers(build):
    report = subprocess.run([str(build / "bench" / "kernel_report"), "--all"], capture_output=True,
                            text=True, check=True).stdout.split()
    return report


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(HERE.parent / "build"))
    parser.add_argument("--megabytes", type=float, default=20)
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--only", default="")
    parser.add_argument("--json", default=str(HERE / "out" / "shapes.json"))
    parser.add_argument("--search", action="store_true")
    options = parser.parse_args()
    build = Path(options.build)
    names = tiers(build)
    if options.search:
        search(build, names, options.megabytes, options.runs, options.only)
        return
    print(f"| program | shape | {' | '.join(n + ' s' for n in names)} | "
          f"{' | '.join(n + '/portable' for n in names if n != 'portable')} |")
    print("|---|---|" + "---:|" * (2 * len(names) - 1))
    rows = []
    with tempfile.TemporaryDirectory() as scratch:
        for name, program, letters, data in shapes(options.megabytes):
            if options.only and options.only not in name:
                continue
            path = Path(scratch) / "input"
            path.write_bytes(data)
            if not same_output(build, names, program, path, letters):
                sys.exit(f"{program} {name}: the tiers' outputs differ")
            medians = race(build, program, path, letters, options.runs)
            times = [medians[n] for n in names]
            by_tier = dict(zip(names, times))
            ratios = [by_tier[n] / by_tier["portable"] for n in names if n != "portable"]
            print(f"| {program} | {name} | {' | '.join(f'{t:.3f}' for t in times)} | "
                  f"{' | '.join(f'{r:.2f}' for r in ratios)} |")
            sys.stdout.flush()
            rows.append({"program": program, "shape": name, "times": by_tier})
    Path(options.json).parent.mkdir(parents=True, exist_ok=True)
    Path(options.json).write_text(json.dumps(rows, indent=1) + "\n")


if __name__ == "__main__":
    main()
