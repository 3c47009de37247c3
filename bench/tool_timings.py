#!/usr/bin/env python3
"""Wall time of each norn-service command on this machine, fsyncs included: the median of
several runs, each on the same prepared instrument. A median above 100 ms is marked; above
200 ms the run fails, since something then went wrong rather than slow."""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

GOAL_MS = 100.0
LIMIT_MS = 200.0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--table", help="also write the table here as Markdown")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="norn-timings-", dir=os.environ.get("NORN_BENCH_DIR")) as scratch:
        instrument = os.path.join(scratch, "instrument")
        payload = os.path.join(scratch, "new.dds")
        with open(payload, "wb") as f:
            f.write(b"NEW-DEVICE-DATA-SET")

        def tool(*words, check=True):
            started = time.perf_counter()
            run = subprocess.run([args.tool, "--instrument", instrument, *words],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            elapsed = (time.perf_counter() - started) * 1000
            if check and run.returncode != 0:
                sys.exit(f"tool_timings: {' '.join(words)} failed: {run.stderr.strip()}")
            return elapsed

        tool("init")
        tool("backup")
        # Each command with what puts the instrument back where the next run starts from.
        commands = [
            ("status", ["status"], []),
            ("verify", ["verify"], []),
            ("backup", ["backup"], []),
            ("serial NEW", ["--yes", "serial", "SN00000001"], ["--yes", "serial", "SN12345678"]),
            ("dds import", ["--yes", "dds", "import", payload], ["--yes", "restore"]),
            ("mac import", ["--yes", "mac", "import", "00:1b:7c:aa:bb:cc"], ["--yes", "restore"]),
            ("batch", ["--yes", "batch", "dds=" + payload, "mac=00:1b:7c:aa:bb:cc"],
             ["--yes", "restore"]),
            ("restore", ["--yes", "restore"], []),
            ("erase", ["--yes", "erase"], ["--yes", "restore"]),
        ]
        rows = []
        for name, words, reset in commands:
            times = []
            for _ in range(args.runs):
                times.append(tool(*words))
                if reset:
                    tool(*reset)
            rows.append((name, statistics.median(times), min(times), max(times)))

    lines = ["| command | median | min | max |", "|---|---:|---:|---:|"]
    for name, median, low, high in rows:
        mark = " (above 100 ms)" if median > GOAL_MS else ""
        lines.append(f"| {name} | {median:.1f} ms{mark} | {low:.1f} ms | {high:.1f} ms |")
    print("\n".join(lines))
    if args.table:
        with open(args.table, "w") as f:
            f.write("\n".join(lines) + "\n")
    worst = max(median for _, median, _, _ in rows)
    if worst > LIMIT_MS:
        sys.exit(f"tool_timings: a median of {worst:.1f} ms is far above the {GOAL_MS:.0f} ms goal")


if __name__ == "__main__":
    main()
