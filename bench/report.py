#!/usr/bin/env python3
"""Turns the figures of scripts/bench.sh into bench/results.md."""

import argparse
import json
import re
import statistics
from collections import defaultdict
from datetime import datetime


def cpu_name():
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            for line in cpuinfo:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


def cpu_flags():
    try:
        with open("/proc/cpuinfo") as cpuinfo:
            for line in cpuinfo:
                if line.startswith("flags"):
                    flags = set(line.split(":", 1)[1].split())
                    wanted = ["pclmulqdq", "avx2", "avx512f", "vpclmulqdq"]
                    return ", ".join(flag for flag in wanted if flag in flags)
    except OSError:
        pass
    return ""


def size_name(size):
    return f"{size >> 20} MiB" if size >= 1 << 20 else f"{size >> 10} KiB"


def read_figures(path):
    figures = defaultdict(list)
    with open(path) as lines:
        for line in lines:
            parts = line.split()
            if len(parts) == 3 and parts[0] == "figure":
                figures[parts[1]].append(float(parts[2]))
    return figures


def crc32_table(path):
    with open(path) as source:
        data = json.load(source)
    rates = {}
    for bench in data["benchmarks"]:
        if bench.get("aggregate_name") != "median":
            continue
        name, size = bench["run_name"].rsplit("/", 1)
        rates[(name, int(size))] = bench["bytes_per_second"] / 1e9
    method = data["context"].get("crc32_method", "?")
    names = sorted({name for name, _ in rates}, key=lambda n: (n != "read", n != "zlib", n != "tarnel", n))
    sizes = sorted({size for _, size in rates})
    order = ["tarnel-tables", "tarnel-pclmul-128", "tarnel-vpclmul-256", "tarnel-vpclmul-512"]
    methods = [n for n in order if n in names]
    out = [f"Throughput in GB/s (median of 3 repetitions in random order). `Crc32` uses {method} here.", ""]
    out.append("| buffer | plain read | zlib | Crc32 | Crc32 / read (goal ≥ 0.5 from 64 KiB) | Crc32 / zlib | "
               + " | ".join(m.replace("tarnel-", "") for m in methods) + " |")
    out.append("|---|---|---|---|---|---|" + "---|" * len(methods))
    for size in sizes:
        read, zlib, ours = (rates.get((n, size), 0) for n in ("read", "zlib", "tarnel"))
        goal = "" if size < 64 << 10 else (" ✓" if ours >= 0.5 * read else " ✗")
        row = [size_name(size), f"{read:.1f}", f"{zlib:.2f}", f"{ours:.1f}",
               f"{ours / read:.2f}{goal}" if read else "-", f"{ours / zlib:.1f}x" if zlib else "-"]
        row += [f"{rates.get((m, size), 0):.1f}" for m in methods]
        out.append("| " + " | ".join(row) + " |")
    return out


def verify_table(figures):
    crc = statistics.median(figures["verify.crc_ms"])
    read = statistics.median(figures["verify.readfile_ms"])
    mapped = statistics.median(figures["verify.mapped_read_ms"])
    return [
        "Median of 9 rounds, the three taking turns; the file stays in the system's cache.",
        "",
        "| GetFileSizeAndCRC | ReadFile, 1 MiB pieces | read through a mapping | CRC / ReadFile | CRC / mapped read |",
        "|---|---|---|---|---|",
        f"| {crc:.1f} ms ({64 / 1.024 / crc:.1f} GB/s) | {read:.1f} ms | {mapped:.1f} ms | {crc / read:.2f} | "
        f"{crc / mapped:.2f} |",
    ]


LINE = re.compile(r"^(\d\d/\d\d/\d\d \d\d:\d\d:\d\d):(\d{3}) Tarnel Installer (\d+) (\d+) (.*)$")


def install_breakdown(path):
    entries = []
    try:
        with open(path) as log:
            for line in log:
                match = LINE.match(line.rstrip("\n"))
                if match:
                    stamp = datetime.strptime(match.group(1), "%m/%d/%y %H:%M:%S")
                    ms = stamp.timestamp() * 1000 + int(match.group(2))
                    entries.append((ms, match.group(3), match.group(5)))
    except OSError:
        return []
    if not entries:
        return []
    console = entries[0][1]
    service_lines = [e for e in entries if e[1] != console]
    total = entries[-1][0] - entries[0][0]
    parts = defaultdict(float)
    opened = {}
    for ms, _, message in entries:
        if message == "Trying to start Tarnel...":
            parts["console run up to the start of the Tarnel service"] = ms - entries[0][0]
            opened["service"] = ms
        elif "service" in opened and service_lines and ms == service_lines[0][0]:
            parts["Tarnel service process start"] = ms - opened.pop("service")
        elif message.startswith("Trying to start "):
            opened["driver"] = ms
        elif message.endswith(" started") and "driver" in opened:
            parts["driver service starts (StartService)"] += ms - opened.pop("driver")
        elif message.startswith("Action start : reg_inf"):
            opened["inf"] = ms
        elif message.startswith("Action ended : reg_inf") and "inf" in opened:
            parts["INF sections (SetupAPI)"] += ms - opened.pop("inf")
        elif message.startswith("Executing '"):
            opened["exec"] = ms
        elif message.startswith("Execution finished") and "exec" in opened:
            parts["vxaux's InstallExec (rundll32 process)"] += ms - opened.pop("exec")
        elif message.startswith("Execution of Tarnel-service") and service_lines:
            parts["service stop and the console's 100 ms polling"] = ms - service_lines[-1][0]
    parts["the rest: descriptions from tarnel.ini, checks, unload, verification, log"] = total - sum(parts.values())
    out = [f"Where the time of one install with --verbose goes (from its log, {total:.0f} ms in all):", "",
           "| part | ms |", "|---|---|"]
    out += [f"| {name} | {ms:.0f} |" for name, ms in parts.items()]
    return out


def install_table(figures, rounds, log_path):
    tarnel = figures["install.tarnel_ms"]
    baseline = figures["install.baseline_ms"]
    if not tarnel or not baseline:
        return ["No install figures."]
    ratio = statistics.median(tarnel) / statistics.median(baseline)
    codes = {f"0x{int(c) & 0xFFFFFFFF:08X}" for c in figures["install.tarnel_exit"]}
    base_codes = {f"0x{int(c) & 0xFFFFFFFF:08X}" for c in figures["install.baseline_exit"]}
    out = [f"Wall time inside the Windows machine, {rounds} rounds taking turns, each run in a fresh prefix clone; "
           f"exit codes: tarnel.exe {', '.join(sorted(codes))}, baseline {', '.join(sorted(base_codes))}.", "",
           "| | median | runs (ms) |", "|---|---|---|",
           f"| tarnel.exe --install \"core;backsafe\" | {statistics.median(tarnel):.0f} ms | "
           + ", ".join(f"{v:.0f}" for v in tarnel) + " |",
           f"| baseline (SetupAPI sections, StartService) | {statistics.median(baseline):.0f} ms | "
           + ", ".join(f"{v:.0f}" for v in baseline) + " |"]
    if figures["baseline.inf_ms"]:
        out.append(f"| of it: INF sections / service starts | {statistics.median(figures['baseline.inf_ms']):.0f} / "
                   f"{statistics.median(figures['baseline.start_ms']):.0f} ms | |")
    out += ["", f"**Overhead: {ratio:.2f}x the baseline** (goal: below 1.3x).", ""]
    out += install_breakdown(log_path)
    return out


GROWTH = [
    ("pending.walk_us_per_pair", "pending-rename walk, counting callback", "µs per pair"),
    ("pending.find_us_per_pair", "pending-rename walk, FindPendingReplacement", "µs per pair"),
    ("registry.flat_us_per_key", "DeleteKeyRecursive, flat tree", "µs per key"),
    ("registry.fan10_us_per_key", "DeleteKeyRecursive, ten children a key", "µs per key"),
    ("cleanup.ms_per_file", "CleanUpFiles", "ms per file"),
    ("queue.us_per_call", "(platform) MoveFileExW delay-until-reboot behind n queued pairs", "µs per call"),
    ("log.alone_us_per_line", "log line at level 9, one process", "µs per line"),
    ("log.shared_us_per_line", "log line at level 9, a second process writing", "µs per line"),
]


def growth_table(figures):
    out = ["Cost per item at three sizes (median of its rounds; every measurement of a walk handles about "
           "as many items, small inputs many times over). Linear growth keeps the cost per item flat; the last "
           "column is the cost per item at the largest size over that at the smallest.", "",
           "| walk | unit | sizes | cost per item | largest / smallest |", "|---|---|---|---|---|"]
    for prefix, title, unit in GROWTH:
        series = sorted((int(key.rsplit(".", 1)[1]), statistics.median(values))
                        for key, values in figures.items() if key.startswith(prefix + "."))
        if not series:
            continue
        sizes = " / ".join(f"{size:,}" for size, _ in series)
        costs = " / ".join(f"{cost:.3g}" for _, cost in series)
        out.append(f"| {title} | {unit} | {sizes} | {costs} | {series[-1][1] / series[0][1]:.2f} |")
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--crc32", required=True)
    parser.add_argument("--figures", required=True)
    parser.add_argument("--install-log", required=True)
    parser.add_argument("--rounds", type=int, required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    figures = read_figures(args.figures)
    lines = ["# Benchmark results", "",
             f"Made by `bash scripts/bench.sh` on {datetime.now():%Y-%m-%d}. Processor: **{cpu_name()}** "
             f"({cpu_flags()}); Wine for the Windows figures. The machine is shared, so only the ratios of "
             "figures measured side by side in one run mean much.", "",
             "## CRC-32 (native)", ""]
    lines += crc32_table(args.crc32)
    lines += ["", "## GetFileSizeAndCRC on a 64 MiB file (Wine)", ""]
    lines += verify_table(figures)
    lines += ["", "## Install of \"core;backsafe\" beside a baseline (Wine)", ""]
    lines += install_table(figures, args.rounds, args.install_log)
    lines += ["", "## How costs grow (Wine)", ""]
    lines += growth_table(figures)
    lines += ["", "## Reading the figures", "",
              "- CRC-32: the 512-bit path does two VPCLMULQDQ and one VPTERNLOGQ for every 64 bytes, so in the "
              "caches it is held by the carry-less multiplier (four and eight registers in flight measure the "
              "same), while the plain read is loads alone; from memory both wait for the same bytes.",
              "- Install: both runs start the same six kernel drivers, which under Wine is most of the time. "
              "tarnel.exe adds its own service process (start, the console's 100 ms polling of its state, "
              "stop), vxaux's InstallExec command line (a rundll32 process, as tarnel.ini asks), and the "
              "descriptions from tarnel.ini, the checks before any change and the verification of each image.",
              "- Growth: the walks in the product do a fixed number of platform calls per item. The platform's "
              "MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT rewrites the whole queue for every pair it adds, so "
              "its cost per call grows with the queue; CleanUpFiles of many files on a long queue inherits "
              "that. A second process writing to the log makes lines wait for the file's append lock, which "
              "a writer retries every 10 ms."]
    with open(args.out, "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
