#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Times varnok and dostrel beside glibc iconv, ICU uconv, Python's codecs and the table-free
copy (the machine's limit), on three corpora in both directions, with UTF-16 and with UTF-8
(u), and prints a table.

Usage: bench.py [--build DIR] [--corpus DIR] [--runs N] [--megabytes N] [--json FILE]
                [--svg FILE] [--tier NAME] [--audit-only] [--startup-only] [--reference-only]
The results also go to a JSON file, and chart.py draws them as an SVG bar chart. A later table
sets each of our runs beside the same run with w (the audit) on the clean corpora, and on a
text of nothing but losses; --audit-only prints just that one. With --tier, "ours" is the
programs on that tier (varnok_tier NAME), to measure a tier the processor would not choose.
Every run also sets the portable tier beside the portable programs of a47cc2a (the commit before
the kernel tiers, built once in bench/out/reference from the repository's history), so that the
portable tier cannot slip unseen; --reference-only prints just that table.
Times are hyperfine medians, output to /dev/null (and, in the pipe columns, through a pipe to
cat); MB/s is input megabytes a second.
Needs hyperfine, iconv, uconv (icu-devtools), /usr/bin/time and the manpages-ja package.
"""
import argparse
import datetime
import hashlib
import json
import os
import platform
import shlex
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
CORPORA = ["real", "ascii", "double"]
PY_DECODE = ("import sys; sys.stdout.buffer.write("
             "sys.stdin.buffer.read().decode('cp932').encode('utf-16-be'))")
PY_ENCODE = ("import sys; sys.stdout.buffer.write("
             "sys.stdin.buffer.read().decode('utf-16').encode('cp932'))")
PY_DECODE8 = ("import sys; sys.stdout.buffer.write("
              "sys.stdin.buffer.read().decode('cp932').encode('utf-8'))")
PY_ENCODE8 = ("import sys; sys.stdout.buffer.write("
              "sys.stdin.buffer.read().decode('utf-8').encode('cp932'))")


def commands(build, tier=None):
    varnok = build / "varnok" / "varnok"
    dostrel = build / "dostrel" / "dostrel"
    if tier:
        varnok = f"{build / 'bench' / 'varnok_tier'} {tier}"
        dostrel = f"{build / 'bench' / 'dostrel_tier'} {tier}"
    limit = build / "bench" / "copy_limit"
    return {
        "decode": {  # CP932 -> UTF-16BE
            "ours": f"{varnok}",
            "portable": f"{build / 'bench' / 'varnok_tier'} portable",
            "iconv": "iconv -f CP932 -t UTF-16BE",
            "uconv": "uconv -f windows-31j -t UTF-16BE",
            "python": f"python3 -c {shlex.quote(PY_DECODE)}",
            "limit": f"{limit} widen",
        },
        "encode": {  # UTF-16 with a byte order mark -> CP932
            "ours": f"{dostrel}",
            "portable": f"{build / 'bench' / 'dostrel_tier'} portable",
            "iconv": "iconv -f UTF-16 -t CP932",
            "uconv": "uconv -f UTF-16 -t windows-31j",
            "python": f"python3 -c {shlex.quote(PY_ENCODE)}",
            "limit": f"{limit} narrow",
        },
        "decode8": {  # CP932 -> UTF-8
            "ours": f"{varnok} -u",
            "portable": f"{build / 'bench' / 'varnok_tier'} portable -u",
            "iconv": "iconv -f CP932 -t UTF-8",
            "uconv": "uconv -f windows-31j -t UTF-8",
            "python": f"python3 -c {shlex.quote(PY_DECODE8)}",
            "limit": f"{limit} copy",
        },
        "encode8": {  # UTF-8 -> CP932
            "ours": f"{dostrel} -u",
            "portable": f"{build / 'bench' / 'dostrel_tier'} portable -u",
            "iconv": "iconv -f UTF-8 -t CP932",
            "uconv": "uconv -f UTF-8 -t windows-31j",
            "python": f"python3 -c {shlex.quote(PY_ENCODE8)}",
            "limit": f"{limit} copy",
        },
    }


def input_of(corpus_dir, corpus, direction):
    suffix = {"decode": "cp932", "decode8": "cp932", "encode": "utf16", "encode8": "utf8"}
    return corpus_dir / f"{corpus}.{suffix[direction]}"


def digest(command, path):
    with open(path, "rb") as source:
        out = subprocess.run(command, shell=True, stdin=source, capture_output=True, check=True)
    return hashlib.sha256(out.stdout).hexdigest()


def time_group(group, path, runs, pipe):
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        args = ["hyperfine", "--warmup", "1", "--runs", str(runs), "--export-json", report.name,
                "--style", "none"]
        names = []
        for name, command in group.items():
            names.append(name)
            if pipe:
                args.append(f"{command} < {path} | cat > /dev/null")
            else:
                args.append(f"{command} < {path} > /dev/null")
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        results = json.load(open(report.name))["results"]
    return {name: result["median"] for name, result in zip(names, results)}


def time_interleaved(group, path, runs):
    """Median seconds of each command, its runs taken in turn with the others' (A B A B ...),
    so that a slow spell of a shared machine falls on all of them alike."""
    times = {name: [] for name in group}
    for _ in range(runs + 1):  # the first round warms up
        for name, command in group.items():
            with open(path, "rb") as source:
                start = time.perf_counter()
                subprocess.run(command, shell=True, stdin=source, stdout=subprocess.DEVNULL,
                               check=False)
                times[name].append(time.perf_counter() - start)
    return {name: sorted(values[1:])[runs // 2] for name, values in times.items()}


def peak_memory_kib(command, path):
    with open(path, "rb") as source, tempfile.NamedTemporaryFile(mode="r") as report:
        subprocess.run(f"/usr/bin/time -o {report.name} -f %M {command} > /dev/null", shell=True,
                       stdin=source, stderr=subprocess.DEVNULL, check=True)
        return int(report.read().strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(HERE.parent / "build"))
    parser.add_argument("--corpus", default=str(HERE / "corpus"))
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--megabytes", default="100")
    parser.add_argument("--json", default=str(HERE / "out" / "results.json"))
    parser.add_argument("--svg", default=str(HERE.parent / "docs" / "benchmark.svg"))
    parser.add_argument("--audit-only", action="store_true")
    parser.add_argument("--startup-only", action="store_true")
    parser.add_argument("--reference-only", action="store_true")
    parser.add_argument("--tier", default="")
    options = parser.parse_args()
    build, corpus_dir = Path(options.build), Path(options.corpus)
    if not (corpus_dir / "real.cp932").exists():
        subprocess.run([sys.executable, str(HERE / "make_corpus.py"), str(corpus_dir),
                        options.megabytes], check=True)
    table = commands(build, options.tier)

    kernel = options.tier or subprocess.run([str(build / "bench" / "kernel_report")],
                                            capture_output=True, text=True,
                                            check=True).stdout.strip()
    print(f"# {datetime.date.today()}, {platform.machine()}, {os.cpu_count()} cores, "
          f"{cpu_name()}; the programs run their {kernel} kernels here")
    if options.audit_only:
        audit_table(table, corpus_dir, options.runs)
        return
    if options.startup_only:
        startup_table(build, corpus_dir, options.runs)
        return
    if options.reference_only:
        reference_table(build, corpus_dir, options.runs)
        return
    # Outputs first: ours must equal iconv byte for byte; the others are reported.
    for direction, group in table.items():
        for corpus in CORPORA:
            path = input_of(corpus_dir, corpus, direction)
            reference = digest(group["iconv"], path)
            for name in ("ours", "portable", "uconv", "python"):
                same = digest(group[name], path) == reference
                if name in ("ours", "portable") and not same:
                    sys.exit(f"{direction} {corpus}: our output differs from iconv's")
                if not same:
                    print(f"# note: {name} {direction} {corpus} differs from iconv")
    print("# outputs checked: ours (both tiers) is identical to iconv on all twelve runs")
    print()
    print(f"| corpus | direction | ours s ({kernel}) | ours MB/s | portable s | iconv s | uconv s "
          "| Python s | limit s | ours/iconv | ours/limit | pipe: ours/iconv | pipe: ours/limit |")
    print("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    names = {"decode": "CP932 to UTF-16 (varnok)", "encode": "UTF-16 to CP932 (dostrel)",
             "decode8": "CP932 to UTF-8 (varnok -u)", "encode8": "UTF-8 to CP932 (dostrel -u)"}
    rows = []
    for direction, group in table.items():
        for corpus in CORPORA:
            path = input_of(corpus_dir, corpus, direction)
            megabytes = path.stat().st_size / 1e6
            null = time_group(group, path, options.runs, pipe=False)
            pipe = time_group(group, path, options.runs, pipe=True)
            print(f"| {corpus} | {names[direction]} | {null['ours']:.3f} | "
                  f"{megabytes / null['ours']:.0f} | {null['portable']:.3f} | "
                  f"{null['iconv']:.3f} | {null['uconv']:.3f} | "
                  f"{null['python']:.3f} | {null['limit']:.3f} | "
                  f"{null['ours'] / null['iconv']:.2f} | {null['ours'] / null['limit']:.2f} | "
                  f"{pipe['ours'] / pipe['iconv']:.2f} | {pipe['ours'] / pipe['limit']:.2f} |")
            sys.stdout.flush()
            rows.append({"corpus": corpus, "direction": names[direction], "times": null,
                         "pipe_times": pipe})
    results = {"title": f"varnok and dostrel ({kernel} kernels), {datetime.date.today()}, "
                        f"{cpu_name()}",
               "rows": rows}
    Path(options.json).parent.mkdir(parents=True, exist_ok=True)
    Path(options.json).write_text(json.dumps(results, indent=1) + "\n")
    subprocess.run([sys.executable, str(HERE / "chart.py"), options.json, options.svg],
                   check=True)
    print()
    real_megabytes = input_of(corpus_dir, "real", "decode").stat().st_size / 1e6
    print(f"| peak resident memory, {real_megabytes:.0f} MB real corpus | CP932 to UTF-16 "
          "| UTF-16 to CP932 | CP932 to UTF-8 | UTF-8 to CP932 |")
    print("|---|---:|---:|---:|---:|")
    for name in ("ours", "portable", "iconv"):
        kib = [peak_memory_kib(table[direction][name], input_of(corpus_dir, "real", direction))
               for direction in ("decode", "encode", "decode8", "encode8")]
        label = {"ours": "varnok / dostrel", "portable": "portable kernels"}.get(name, name)
        print(f"| {label} | " + " | ".join(f"{k} KiB" for k in kib) + " |")
    print()
    audit_table(table, corpus_dir, options.runs)
    print()
    startup_table(build, corpus_dir, options.runs)
    print()
    reference_table(build, corpus_dir, options.runs)


REFERENCE = "a47cc2a"


def reference_programs():
    """a47cc2a's varnok_portable and dostrel_portable, built once from the repository."""
    folder = HERE / "out" / "reference"
    programs = (folder / "build" / "bench" / "varnok_portable",
                folder / "build" / "bench" / "dostrel_portable")
    if all(program.exists() for program in programs):
        return programs
    source = folder / "source"
    source.mkdir(parents=True, exist_ok=True)
    archive = subprocess.run(["git", "-C", str(HERE.parent), "archive", REFERENCE],
                             capture_output=True, check=True).stdout
    subprocess.run(["tar", "-x", "-C", str(source)], input=archive, check=True)
    subprocess.run(["cmake", "-S", str(source), "-B", str(folder / "build"),
                    "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(folder / "build"), "-j", str(os.cpu_count()),
                    "--target", "varnok_portable", "dostrel_portable"], check=True,
                   stdout=subprocess.DEVNULL)
    return programs


def reference_table(build, corpus_dir, runs):
    """The portable tier beside a47cc2a's portable programs, taken in turn: it must stay as
    fast on Japanese text."""
    old_varnok, old_dostrel = reference_programs()
    print(f"| corpus | direction | portable tier s | {REFERENCE} s | portable/{REFERENCE} |")
    print("|---|---|---:|---:|---:|")
    for corpus in ("real", "double"):
        for name, old, direction in (("varnok", old_varnok, "decode"),
                                     ("dostrel", old_dostrel, "encode")):
            times = time_interleaved(
                {"now": f"{build / 'bench' / (name + '_tier')} portable", "old": str(old)},
                input_of(corpus_dir, corpus, direction), runs)
            print(f"| {corpus} | {name} | {times['now']:.3f} | {times['old']:.3f} "
                  f"| {times['now'] / times['old']:.2f} |")
            sys.stdout.flush()


def audit_table(table, corpus_dir, runs):
    """Our runs without and with w, in turn: on the clean corpora (the audit writes
    nothing, its cost is the counting of line feeds), and on 10 MB of CP932 codes without a
    character in lines of 40 (5 million audit lines, to /dev/null)."""
    print("| corpus | direction | without w s | with w s | with/without | peak memory with w |")
    print("|---|---|---:|---:|---:|---:|")
    names = {"decode": "varnok", "encode": "dostrel", "decode8": "varnok -u",
             "encode8": "dostrel -u"}
    lossy = corpus_dir / "lossy.cp932"
    if not lossy.exists():
        lossy.write_bytes((b"\xf0\x40" * 40 + b"\n") * 125000)
    cases = [(corpus, direction) for direction in table for corpus in CORPORA]
    for corpus, direction in cases + [("lossy", "decode")]:
        path = lossy if corpus == "lossy" else input_of(corpus_dir, corpus, direction)
        ours = table[direction]["ours"]
        audited = f"{ours} -w"
        if digest(ours, path) != digest(f"{audited} 2> /dev/null", path):
            sys.exit(f"{direction} {corpus}: w changed the output")
        times = time_interleaved({"without": ours, "with": f"{audited} 2> /dev/null"}, path,
                                 runs)
        kib = peak_memory_kib(audited, path)
        print(f"| {corpus} | {names[direction]} | {times['without']:.3f} | {times['with']:.3f} "
              f"| {times['with'] / times['without']:.2f} | {kib} KiB |")
        sys.stdout.flush()


def startup_table(build, corpus_dir, runs):
    """A 4 KiB file end to end, as a migration converts one file a process: our programs
    beside iconv and cat, hyperfine with no shell in between."""
    small = corpus_dir / "small.cp932"
    small16 = corpus_dir / "small.utf16"
    small.write_bytes((corpus_dir / "real.cp932").read_bytes()[:4096])
    small16.write_bytes((corpus_dir / "real.utf16").read_bytes()[:4096])
    group = {
        "varnok -u": f"{build / 'varnok' / 'varnok'} -u {small}",
        "dostrel": f"{build / 'dostrel' / 'dostrel'} {small16}",
        "iconv": f"iconv -f CP932 -t UTF-8 {small}",
        "cat": f"cat {small}",
    }
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        args = ["hyperfine", "-N", "--warmup", "30", "--runs", str(50 * runs), "--export-json",
                report.name, "--style", "none", "--output", "null"] + list(group.values())
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        results = json.load(open(report.name))["results"]
    times = {name: result["median"] for name, result in zip(group, results)}
    print("| 4 KiB file, one process | ms | against iconv | against cat |")
    print("|---|---:|---:|---:|")
    for name, seconds in times.items():
        print(f"| {name} | {seconds * 1e3:.2f} | {seconds / times['iconv']:.2f} | "
              f"{seconds / times['cat']:.2f} |")


def cpu_name():
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor()


if __name__ == "__main__":
    main()
