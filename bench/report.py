#!/usr/bin/env python3
"""Runs the bench programs of a build folder and writes the table of their ROW lines.

    report.py BUILD_DIR OUTPUT.md

Run it under an X server (xvfb-run): the start-up, view-switch and listing programs open windows.
"""
import datetime
import os
import platform
import subprocess
import sys
import time

# The copy runs last: the write-back and freeing of its gigabytes goes on in the kernel for a while
# afterwards, and would take the processors from the window benchmarks' UI threads.
PROGRAMS = ["bench_folder", "bench_views", "bench_thumbnails", "bench_search", "bench_startup", "bench_switch", "bench_tabs", "bench_archive", "bench_rename", "bench_compare",
            "bench_download", "bench_remote", "bench_copy"]


def settle(seconds):
    """Lets the previous program's disk work finish before the next one is timed."""
    os.sync()
    time.sleep(seconds)


def run(path, args=()):
    # ext4 passes over inodes freed in the last minute when it makes new ones, which slows making
    # files a great deal right after the listing benchmarks removed theirs: the copies wait that out.
    settle(65 if os.path.basename(path) == "bench_copy" else 5)
    print(f"== {os.path.basename(path)}", flush=True)
    proc = subprocess.run([path, *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if proc.returncode != 0:
        print(f"   exited with {proc.returncode}", flush=True)
    return proc.stdout


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def main():
    build, out = sys.argv[1], sys.argv[2]
    bench = os.path.join(build, "bench")
    rows = []
    for name in PROGRAMS:
        for line in run(os.path.join(bench, name)).splitlines():
            if line.startswith("ROW\t"):
                cells = line.split("\t")[1:]
                rows.append(cells)
                measure, ours, base, ratio, target, met = cells
                print(f"   {measure}: {ours} vs {base} = {ratio} (target {target}): {met}", flush=True)
    listing = run(os.path.join(bench, "bench_listing"),
                  ["--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"])

    rounds = os.environ.get("KV_BENCH_ROUNDS", "5")
    lines = [
        "# Benchmarks",
        "",
        "Written by `make bench`; every ratio compares two things measured in the same run, as the",
        f"median of {rounds} rounds (3 for the slowest), so the noise of a shared machine cancels out as far",
        "as it can. Folders and copies live under `/tmp` (`KV_BENCH_DIR` changes that); the windows run",
        "under Xvfb.",
        "",
        f"- Date: {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')}",
        f"- Machine: {os.cpu_count()} CPUs ({cpu_model()}), kernel {platform.release()}",
        "",
        "| Measure | Ours | Floor / baseline | Ratio | Target | Met? |",
        "|---|---|---|---|---|---|",
    ]
    for measure, ours, base, ratio, target, met in rows:
        lines.append(f"| {measure} | {ours} | {base} | {ratio} | {target} | {met} |")
    notes_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "notes.md")
    if os.path.exists(notes_path):
        with open(notes_path) as f:
            lines += ["", f.read().rstrip()]
    lines += ["", "## Listing engine alone (Google Benchmark)", "", "```", listing.rstrip(), "```", ""]
    with open(out, "w") as f:
        f.write("\n".join(lines))
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
