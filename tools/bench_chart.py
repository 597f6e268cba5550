#!/usr/bin/env python3
"""Draws Google Benchmark results as one SVG bar chart per codec.

Usage:
    tools/bench_chart.py [--out-dir DIR] [--machine TEXT] [--linear] RESULT.json [MORE.json ...]

Each RESULT.json is the output of a benchmark program run with
--benchmark_out=RESULT.json --benchmark_out_format=json. Several files may be given (for
example the codec and the hash benchmarks); their cases are merged. A case named
"<codec>/<implementation>/<bytes>" (or "BM_<Codec>_<Implementation>/<bytes>") becomes one
bar, its bytes_per_second, in the chart of its codec, grouped by input size. When a run has
repetitions, the median is drawn. The charts are written to DIR (default docs/perf) as
<codec>.svg; the machine text (default: host and CPU count from the JSON) and the date of
the run are printed under each chart.

With --rows FILE the charts show time per operation instead (lower is better), one group of
bars per row of FILE, for benchmarks that measure operations rather than bytes; see
draw_rows() for the file's form.

Only the Python standard library is used.
"""

import argparse
import html
import json
import math
import os
import re
import sys
from collections import OrderedDict

PALETTE = {
    "orlix": ["#9ecae1", "#6baed6", "#3182bd", "#08519c", "#08306b"],
    "memcpy": "#bdbdbd",
    "peers": ["#e6550d", "#31a354", "#756bb1", "#d62728", "#8c6d31", "#e377c2"],
}


def parse_name(name):
    """(codec, implementation, size) of a case name, or None."""
    parts = name.split("/")
    if len(parts) >= 3 and parts[2].isdigit():
        return parts[0], parts[1], int(parts[2])
    m = re.match(r"BM_([A-Za-z0-9]+)_([A-Za-z0-9]+)/(\d+)$", name)
    if m:
        return m.group(1), m.group(2).lower(), int(m.group(3))
    return None


def load(paths):
    """codec -> size -> implementation -> bytes/s, and the runs' contexts."""
    results = OrderedDict()
    contexts = []
    for path in paths:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        contexts.append(data.get("context", {}))
        runs = data.get("benchmarks", [])
        medians = {b["run_name"] for b in runs
                   if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median"}
        for b in runs:
            if "bytes_per_second" not in b:
                continue
            if b.get("run_type") == "aggregate":
                if b.get("aggregate_name") != "median":
                    continue
            elif b.get("run_name", b["name"]) in medians:
                continue
            parsed = parse_name(b.get("run_name", b["name"]))
            if parsed is None:
                continue
            codec, impl, size = parsed
            results.setdefault(codec, OrderedDict()).setdefault(size, OrderedDict())[impl] = \
                float(b["bytes_per_second"])
    return results, contexts


def size_label(size):
    if size >= 1 << 20 and size % (1 << 20) == 0:
        return "%d MiB" % (size >> 20)
    if size >= 1 << 10 and size % (1 << 10) == 0:
        return "%d KiB" % (size >> 10)
    return "%d B" % size


def colors_for(impls):
    colors = {}
    orlix = [i for i in impls if i.startswith("orlix")]
    peers = [i for i in impls if not i.startswith("orlix") and i != "memcpy"]
    for k, impl in enumerate(orlix):
        shades = PALETTE["orlix"]
        colors[impl] = shades[min(len(shades) - 1, k + max(0, len(shades) - len(orlix)))]
    for k, impl in enumerate(peers):
        colors[impl] = PALETTE["peers"][k % len(PALETTE["peers"])]
    colors["memcpy"] = PALETTE["memcpy"]
    return colors


def figure(value):
    """A bar's value as text: two decimals below 100, whole numbers with thousands apart above."""
    return "%.2f" % value if value < 100 else "{:,.0f}".format(value)


def draw(codec, by_size, footer, log_scale, unit=("throughput (GB/s", 1e9), label=size_label):
    impls = []
    for per_impl in by_size.values():
        for impl in per_impl:
            if impl not in impls:
                impls.append(impl)
    colors = colors_for(impls)
    title, divisor = unit
    gbs = [v / divisor for per_impl in by_size.values() for v in per_impl.values()]
    top = max(gbs) if gbs else 1.0
    if log_scale:
        low = 10 ** math.floor(math.log10(max(min(gbs), 1e-3))) if gbs else 0.1
        high = 10 ** math.ceil(math.log10(top))
        ticks = [10 ** e for e in range(int(round(math.log10(low))), int(round(math.log10(high))) + 1)]

        def scale(x):
            return (math.log10(max(x, low)) - math.log10(low)) / (math.log10(high) - math.log10(low))
    else:
        step = 10 ** math.floor(math.log10(top))
        high = math.ceil(top / step) * step
        ticks = [step * k for k in range(int(high / step) + 1)]

        def scale(x):
            return x / high

    label_w, plot_w, bar_h, gap = 150, 520, 16, 14
    y = 50
    rows = []
    for size, per_impl in by_size.items():
        rows.append(("group", label(size), y))
        y += 20
        for impl in impls:
            if impl in per_impl:
                rows.append(("bar", impl, y, per_impl[impl] / divisor))
                y += bar_h + 3
        y += gap
    height = y + 40
    width = label_w + plot_w + 110
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
           'font-family="sans-serif" font-size="12">' % (width, height),
           '<rect width="100%" height="100%" fill="white"/>',
           '<text x="10" y="22" font-size="16" font-weight="bold">%s %s%s)</text>'
           % (html.escape(codec), html.escape(title), ", log scale" if log_scale else "")]
    for t in ticks:
        x = label_w + scale(t) * plot_w
        out.append('<line x1="%.1f" y1="40" x2="%.1f" y2="%d" stroke="#e0e0e0"/>' % (x, x, y - gap))
        out.append('<text x="%.1f" y="%d" text-anchor="middle" fill="#666">%g</text>'
                   % (x, y - gap + 14, t))
    for row in rows:
        if row[0] == "group":
            out.append('<text x="10" y="%d" font-weight="bold">%s</text>' % (row[2] + 12, row[1]))
            continue
        _, impl, ry, value = row
        w = max(1.0, scale(value) * plot_w)
        out.append('<text x="%d" y="%d" text-anchor="end">%s</text>'
                   % (label_w - 6, ry + 12, html.escape(impl)))
        out.append('<rect x="%d" y="%d" width="%.1f" height="%d" fill="%s"/>'
                   % (label_w, ry, w, bar_h, colors[impl]))
        out.append('<text x="%.1f" y="%d">%s</text>' % (label_w + w + 4, ry + 12, figure(value)))
    out.append('<text x="10" y="%d" fill="#666">%s</text>' % (height - 12, html.escape(footer)))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("results", nargs="+", help="Google Benchmark JSON files")
    parser.add_argument("--out-dir", default="docs/perf")
    parser.add_argument("--machine", help="machine text under the charts")
    parser.add_argument("--linear", action="store_true", help="linear instead of log scale")
    parser.add_argument("--rows", help="JSON file naming cases to chart as time per operation")
    args = parser.parse_args(argv)
    if args.rows:
        return draw_rows(args)
    results, contexts = load(args.results)
    if not results:
        sys.stderr.write("no case with bytes_per_second in %s\n" % ", ".join(args.results))
        return 1
    ctx = contexts[0] if contexts else {}
    machine = args.machine or "%s, %s CPUs" % (ctx.get("host_name", "?"), ctx.get("num_cpus", "?"))
    date = ctx.get("date", "")[:10]
    os.makedirs(args.out_dir, exist_ok=True)
    for codec, by_size in results.items():
        path = os.path.join(args.out_dir, codec + ".svg")
        with open(path, "w", encoding="utf-8") as f:
            f.write(draw(codec, by_size, "%s; %s" % (machine, date), not args.linear))
        print(path)
    return 0


def load_times(paths):
    """run name -> median real time per iteration in nanoseconds, and the runs' contexts."""
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    times, contexts = {}, []
    for path in paths:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
        contexts.append(data.get("context", {}))
        for b in data.get("benchmarks", []):
            name = b.get("run_name", b["name"])
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                continue
            if b.get("run_type") != "aggregate" and name in times:
                continue
            times[name] = float(b["real_time"]) * scale.get(b.get("time_unit", "ns"), 1.0)
    return times, contexts


def draw_rows(args):
    """Charts of time per operation (lower is better). The --rows file is a JSON list of
    charts: {"chart": file name, "groups": [{"label": text, "bars": {bar label: case}}]};
    a case missing from the results (a peer that was not installed) drops its bar."""
    with open(args.rows, encoding="utf-8") as f:
        charts = json.load(f)
    times, contexts = load_times(args.results)
    ctx = contexts[0] if contexts else {}
    machine = args.machine or "%s, %s CPUs" % (ctx.get("host_name", "?"), ctx.get("num_cpus", "?"))
    footer = "%s; %s" % (machine, ctx.get("date", "")[:10])
    os.makedirs(args.out_dir, exist_ok=True)
    for chart in charts:
        groups = OrderedDict()
        for k, group in enumerate(chart["groups"]):
            bars = OrderedDict((bar, times[case]) for bar, case in group["bars"].items()
                               if case in times)
            if bars:
                groups[k] = bars
        labels = [g["label"] for g in chart["groups"]]
        path = os.path.join(args.out_dir, chart["chart"] + ".svg")
        with open(path, "w", encoding="utf-8") as f:
            f.write(draw(chart.get("title", chart["chart"]), groups, footer, not args.linear,
                         ("time per operation (ns, lower is better", 1.0),
                         lambda k: html.escape(labels[k])))
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
