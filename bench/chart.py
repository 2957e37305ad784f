#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the benchmark's results as an SVG bar chart: for each corpus and direction, one bar a
tool (time in seconds, shorter is faster), ours highlighted. Standard library only.

Usage: chart.py RESULTS.json OUTPUT.svg
RESULTS.json is what bench.py writes: {"title": ..., "rows": [{"corpus", "direction",
"times": {tool: seconds}}]}.
"""
import json
import sys
from xml.sax.saxutils import escape

TOOLS = [("ours", "varnok / dostrel", "#d9480f"), ("portable", "portable kernels", "#ffa94d"),
         ("iconv", "glibc iconv", "#868e96"),
         ("uconv", "ICU uconv", "#adb5bd"), ("python", "Python codecs", "#ced4da"),
         ("limit", "table-free copy", "#495057")]
BAR, GAP, LABEL, WIDTH, CHART = 13, 14, 230, 860, 540


def render(results):
    rows = results["rows"]
    tools = [tool for tool in TOOLS if all(tool[0] in row["times"] for row in rows)]
    longest = max(row["times"][name] for row in rows for name, _, _ in tools)
    group = len(tools) * BAR + GAP
    top = 70
    height = top + len(rows) * group + 40
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{height}" '
           f'font-family="sans-serif" font-size="12">',
           f'<rect width="{WIDTH}" height="{height}" fill="white"/>',
           f'<text x="10" y="22" font-size="15" font-weight="bold">'
           f'{escape(results["title"])}</text>',
           '<text x="10" y="40" fill="#495057">seconds for 100 MB, shorter is faster</text>']
    x = 10
    for name, label, colour in tools:  # legend
        out.append(f'<rect x="{x}" y="50" width="12" height="12" fill="{colour}"/>')
        out.append(f'<text x="{x + 16}" y="60">{escape(label)}</text>')
        x += 30 + 7 * len(label)
    for index, row in enumerate(rows):
        y = top + index * group
        out.append(f'<text x="10" y="{y + len(tools) * BAR / 2 + 4}">'
                   f'{escape(row["corpus"])}: {escape(row["direction"])}</text>')
        for k, (name, _, colour) in enumerate(tools):
            seconds = row["times"][name]
            length = max(1.0, CHART * seconds / longest)
            bar_y = y + k * BAR
            weight = ' font-weight="bold"' if name == "ours" else ""
            out.append(f'<rect x="{LABEL}" y="{bar_y}" width="{length:.1f}" height="{BAR - 2}" '
                       f'fill="{colour}"/>')
            out.append(f'<text x="{LABEL + length + 4:.1f}" y="{bar_y + BAR - 3}"{weight}>'
                       f'{seconds:.3f}</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1]) as source:
        results = json.load(source)
    with open(sys.argv[2], "w") as target:
        target.write(render(results))


if __name__ == "__main__":
    main()
