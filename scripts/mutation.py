#!/usr/bin/env python3
"""The project's mutation check: plant each fault of the catalogue, one at a time, in a scratch
copy of the tree, rebuild it incrementally, run the tests, and count the faults they catch.

A catalogue line is tab-separated: id, file, the text it replaces (found exactly once in that
file), the replacement, the verdict ("real", or "equivalent: <why no test can tell>") and what
the fault would break for a user. Lines starting with '#' are comments.

Exit status: 0 when every fault judged real was caught; 1 when one survived; 2 when the catalogue
no longer fits the tree (a text not found once, a fault that does not compile) or on bad usage.
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
# The tests a fault must get past: everything but the timings and the package build, which
# find no fault of behaviour and take long.
CTEST_EXCLUDE = "performance|package"
# Where the tool's sweeps can catch a fault: its own code and the instrument's state file.
SWEPT = ("tools/", "firmware/src/InstrumentStore")
# The verdict of a memory fault that only the sanitizers see (a byte past a block that the
# allocator's slack hides): it is planted in a second scratch build with them, where the tool's
# sweeps are left out as in every sanitizer run.
SANITIZED = "real, under the sanitizers"


class Fault:
    def __init__(self, number, fields):
        (self.id, self.file, self.original, self.replacement, self.verdict,
         self.effect) = fields
        self.line = number

    @property
    def real(self):
        return self.verdict in ("real", SANITIZED)

    @property
    def sanitized(self):
        return self.verdict == SANITIZED


def read_catalogue(path):
    faults, errors = [], []
    for number, text in enumerate(path.read_text().splitlines(), 1):
        if not text.strip() or text.startswith("#"):
            continue
        fields = text.split("\t")
        if len(fields) != 6 or not all(f.strip() for f in fields):
            errors.append(f"{path.name}:{number}: expected 6 non-empty tab-separated fields")
            continue
        fault = Fault(number, fields)
        if not (fault.real or fault.verdict.startswith("equivalent: ")):
            errors.append(f"{path.name}:{number}: verdict must be 'real', '{SANITIZED}' or "
                          "'equivalent: <why>'")
            continue
        faults.append(fault)
    ids = [f.id for f in faults]
    errors += [f"duplicate id {i}" for i in sorted({i for i in ids if ids.count(i) > 1})]
    return faults, errors


def check_fits(faults, tree):
    """Every original text is found exactly once in its file."""
    errors = []
    for fault in faults:
        path = tree / fault.file
        if not path.is_file():
            errors.append(f"{fault.id}: no file {fault.file}")
            continue
        count = path.read_text().count(fault.original)
        if count != 1:
            errors.append(f"{fault.id}: text found {count} times in {fault.file}")
    return errors


def run(command, cwd, log, timeout=None):
    with open(log, "w") as out:
        try:
            return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return -1


def make_scratch(work, sanitized=False):
    """A copy of the tree's tracked and new files (not the builds), and its build configured."""
    source, build = work / "src", work / ("build-asan" if sanitized else "build")
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                            check=True, capture_output=True).stdout.decode().split("\0")
    names = set(filter(None, listed))
    for stale in [p for p in source.rglob("*") if p.is_file()] if source.exists() else []:
        if str(stale.relative_to(source)) not in names:
            stale.unlink()
    for name in names:
        target = source / name
        if (ROOT / name).is_file():
            target.parent.mkdir(parents=True, exist_ok=True)
            if not target.exists() or target.read_bytes() != (ROOT / name).read_bytes():
                shutil.copy(ROOT / name, target)  # a fresh time: the build notices it
    configure = ["cmake", "-S", str(source), "-B", str(build), "-G", "Ninja",
                 "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DNORN_BUILD_BENCH=OFF"]
    if sanitized:
        configure.append("-DNORN_SANITIZE=ON")
    if shutil.which("ccache"):
        configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    log = work / f"configure{'-asan' if sanitized else ''}.log"
    if run(configure, ROOT, log) != 0:
        sys.exit(f"mutation: configuring the scratch copy failed, see {log}")
    return source, build


def ctest(build, log, labels_excluded, *extra):
    return run(["ctest", "--test-dir", str(build), "-j2", "--timeout", "300", "-LE",
                labels_excluded, *extra], build, log, timeout=1800)


def build_and_test(build, log, sanitized=False):
    """'unbuilt', 'caught' or 'survived'. The slow sweeps run only when the rest passed."""
    if run(["cmake", "--build", str(build), "-j2"], build, log.with_suffix(".build")) != 0:
        return "unbuilt"
    if ctest(build, log, f"{CTEST_EXCLUDE}|sweeps", "--stop-on-failure") != 0:
        return "caught"
    if sanitized:
        return "survived"
    rc = ctest(build, log.with_suffix(".sweeps"), CTEST_EXCLUDE, "-L", "sweeps")
    return "survived" if rc == 0 else "caught"


FAILED_CTEST = re.compile(r"^\s*\d+ - (\S+) \(", re.M)
FAILED_GTEST = re.compile(r"^\[  FAILED  \] ([\w/]+\.[\w/.]+)", re.M)


def failing_tests(build, log, sweeps, sanitized):
    """Every test the planted fault fails: ctest's names, and for a ctest test that runs a whole
    suite binary, the failed cases inside it."""
    rc = ctest(build, log, f"{CTEST_EXCLUDE}|sweeps", "--output-on-failure")
    text = log.read_text(errors="replace") if rc != 0 else ""
    if not sanitized and (sweeps or rc == 0):
        if ctest(build, log.with_suffix(".sweeps"), CTEST_EXCLUDE, "-L", "sweeps") != 0:
            text += "\n 0 - Tool.Sweeps (Failed)\n"
    failed = set(FAILED_CTEST.findall(text)) | set(FAILED_GTEST.findall(text))
    return sorted(failed)


def plant_and_run(fault, source, build, logs, matrix=None):
    path = source / fault.file
    pristine = path.read_text()
    try:
        path.write_text(pristine.replace(fault.original, fault.replacement, 1))
        if matrix is None:
            return build_and_test(build, logs / fault.id, fault.sanitized)
        if run(["cmake", "--build", str(build), "-j2"], build, logs / f"{fault.id}.build") != 0:
            return "unbuilt"
        failed = failing_tests(build, logs / fault.id, fault.file.startswith(SWEPT),
                               fault.sanitized)
        with open(matrix, "a") as out:
            out.write(f"{fault.id}\t{','.join(failed)}\n")
        return "caught" if failed else "survived"
    finally:
        # A fresh timestamp, so that the next build puts the original back (a ccache hit).
        path.write_text(pristine)


def choose(faults, args):
    if args.only:
        wanted = set(args.only.split(","))
        unknown = wanted - {f.id for f in faults}
        if unknown:
            sys.exit(f"mutation: no fault {', '.join(sorted(unknown))} in the catalogue")
        return [f for f in faults if f.id in wanted]
    if args.sample:
        return sorted(random.Random(args.seed).sample(faults, min(args.sample, len(faults))),
                      key=lambda f: f.line)
    return faults


def report(results, elapsed):
    caught = [f for f, r in results if r == "caught"]
    print(f"{len(caught)} of {len(results)} faults caught ({elapsed:.0f} s)")
    for fault, result in results:
        if result == "survived":
            judged = "REAL FAULT, no test catches it" if fault.real else fault.verdict
            print(f"  survived {fault.id} ({fault.file}): {judged}")
        elif result == "unbuilt":
            print(f"  does not compile {fault.id} ({fault.file}): fix the catalogue")
    if any(r == "unbuilt" for _, r in results):
        return 2
    return 1 if any(r == "survived" and f.real for f, r in results) else 0


def run_faults(chosen, source, builds, logs, matrix=None):
    """Plants each fault in turn in `source`, tested with the build for its kind; the (fault,
    result) pairs, each printed as it comes."""
    results = []
    for fault in chosen:
        result = plant_and_run(fault, source, builds[fault.sanitized], logs, matrix)
        print(f"{fault.id:<28} {result}", flush=True)
        results.append((fault, result))
    return results


def record_figure(results):
    """Puts a full run's figure into RELIABILITY.md, in place of the last one."""
    caught = sum(r == "caught" for _, r in results)
    survivors = [f for f, r in results if r == "survived"]
    sanitized = sum(f.sanitized for f, _ in results)
    lines = ["## Mutation check", "",
             "Last full run of `make mutation` (scripts/mutation.py over tests/mutation/faults.tsv),"
             f" {time.strftime('%Y-%m-%d')}: **{caught} of {len(results)} faults caught**"
             f" ({sanitized} of them planted in the sanitizer build)."]
    if survivors:
        lines += ["", "The survivors, each judged equivalent in the catalogue:", ""]
        lines += [f"- {f.id} (`{f.file}`): {f.verdict[len('equivalent: '):]}" for f in survivors]
    document = ROOT / "RELIABILITY.md"
    text = document.read_text()
    section = re.compile(r"^## Mutation check\n.*?(?=^## )", re.M | re.S)
    fresh = "\n".join(lines) + "\n\n"
    if section.search(text):
        text = section.sub(lambda _: fresh, text)
    else:
        text = text.replace("## Findings fixed", fresh + "## Findings fixed")
    document.write_text(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--catalogue", type=Path, default=ROOT / "tests/mutation/faults.tsv")
    parser.add_argument("--work", type=Path, default=ROOT / "build/mutation",
                        help="scratch copy and its build (default build/mutation)")
    parser.add_argument("--only", help="comma-separated fault ids")
    parser.add_argument("--sample", type=int, help="run this many faults, chosen by --seed")
    parser.add_argument("--seed", type=int, default=int(time.strftime("%Y%m%d")),
                        help="seed of the sample (default: today's date)")
    parser.add_argument("--list", action="store_true", help="check the catalogue fits and stop")
    parser.add_argument("--build", type=Path,
                        help="plant the faults in this tree itself and rebuild this configured, "
                             "passing build of it instead of a scratch copy (for CI, where the "
                             "tree is a throwaway clone); faults that need the sanitizers are "
                             "left out; the build is put back at the end")
    parser.add_argument("--matrix", type=Path,
                        help="run every test for every fault (slow) and append to this file a "
                             "line per fault: its id and the tests that failed; a test that is "
                             "the only one failing for some fault earns its place")
    args = parser.parse_args()

    faults, errors = read_catalogue(args.catalogue)
    errors += check_fits(faults, ROOT)
    if errors:
        print("\n".join(f"mutation: {e}" for e in errors), file=sys.stderr)
        return 2
    if args.list:
        real = sum(f.real for f in faults)
        sanitized = sum(f.sanitized for f in faults)
        print(f"{len(faults)} faults fit the tree ({real} real, {sanitized} of them under the "
              f"sanitizers, {len(faults) - real} equivalent)")
        return 0

    args.work.mkdir(parents=True, exist_ok=True)
    logs = args.work / "logs"
    logs.mkdir(exist_ok=True)
    if args.build:
        return run_in_place(faults, args, logs)
    chosen = choose(faults, args)
    builds = {}
    for sanitized in sorted({f.sanitized for f in chosen}):
        source, build = make_scratch(args.work, sanitized)
        print(f"mutation: building the scratch copy in {build}", flush=True)
        if build_and_test(build, logs / f"baseline{'-asan' if sanitized else ''}",
                          sanitized) != "survived":
            sys.exit(f"mutation: the unchanged tree does not build and pass, see {logs}")
        builds[sanitized] = build

    started = time.monotonic()
    results = run_faults(chosen, source, builds, logs, args.matrix and args.matrix.resolve())
    status = report(results, time.monotonic() - started)
    if status == 0 and not (args.only or args.sample or args.matrix):
        record_figure(results)
    return status


def run_in_place(faults, args, logs):
    build = args.build.resolve()
    chosen = choose([f for f in faults if not f.sanitized], args)
    started = time.monotonic()
    try:
        results = run_faults(chosen, ROOT, {False: build}, logs)
    finally:
        restored = run(["cmake", "--build", str(build), "-j2"], build,
                       logs / "restored.build") == 0
    if not restored:
        print(f"mutation: rebuilding {build} without the faults failed", file=sys.stderr)
        return 2
    return report(results, time.monotonic() - started)


if __name__ == "__main__":
    sys.exit(main())
