#!/usr/bin/env python3
"""Data-safety sweeps of norn-service, driven as a technician drives it: a separate process, its
command line, exit status, output and the instrument directory.

Power cut: each command that changes an instrument is run once fault-free under strace, which
lists every system call of the run that changes a file. Then, for each of those calls, the
command runs again on a fresh copy of the same instrument and strace kills it with SIGKILL as it
enters that call, before the call is made. A killed process leaves the page cache to the kernel,
so this proves the order and atomicity of the tool's file operations, not that the disk keeps
what was synced.

Flush order: the fault-free run's trace must show every file and folder flushed (fsync) before
it is renamed into place, no name renamed onto itself (that is a rewrite in place), every folder
flushed after a rename into it, and every append flushed. A kill cannot tell a missing fsync;
this is what a power cut would find.

Full disk: each command on an instrument kept in a small tmpfs filled up to a few KiB (needs
root, or at least the right to mount; skipped otherwise). After the run the filling is removed,
as a technician would make room, and the instrument is checked.

File-size limit: each command under a small RLIMIT_FSIZE (`ulimit -f`).

After every run the instrument must be intact:
  (a) it loads: `status --json` exits 0;
  (b) its data (serial, material, both payloads and erased flags) is the data from before the
      command or the data from after it;
  (c) every backup set it had before still verifies and is byte for byte what it was;
  (d) `--yes restore` exits 0 and leaves the data of the newest verified set (its manifest's
      serial and material, its NornData.dds and NornData.mac as the payloads).
A full-disk or file-size-limit run must also end with exit status 0, or 1 with exactly one
`norn-service: ` line on stderr (never a signal), print one JSON object (the runs use --json),
and, when it reports success, have done its work.

Before the sweeps the checks are shown to fail on a damaged state file, on changed data, on
a changed backup set and on a trace without fsync, so that a sweep cannot pass because a check
looks at nothing.

Usage: tool_sweeps.py --tool PATH/norn-service [--only COMMAND]... [--jobs N] [--keep]
Exit status 0 when every run left the instrument intact, 1 otherwise, 2 on a usage error.
When NORN_RELIABILITY_FIGURES names a file, the figures are appended to it as NAME<TAB>VALUE
lines (scripts/reliability-report.sh puts them into RELIABILITY.md).
"""

import argparse
import concurrent.futures
import errno
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

STRACE = "/usr/bin/strace"
RUN_TIMEOUT = 120  # seconds for one run of the tool; a run that hangs is a failure

# What the counting run traces: every call that can change a file, and the calls that name one
# (%file), so that a trace line shows the flags and, with -y, the path behind each descriptor.
TRACED = ("%file,write,pwrite64,writev,pwritev,pwritev2,sendfile,copy_file_range,splice,"
          "fsync,fdatasync,sync_file_range,ftruncate,fallocate,fchmod,fchown,"
          "rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat,rmdir")

# Which traced calls change files, and how to tell:
#   ALWAYS    - every call does (or tries to);
#   OPENS     - when the flags ask for write access, creation or truncation;
#   WRITES_TO - when the descriptor at this position among the call's descriptors (decoded by
#               strace -y) is a file: not stdout or stderr, not a pipe, socket or device.
ALWAYS, OPENS, WRITES_TO = "always", "opens", "writes-to"
FILE_CHANGING_CALLS = {
    "open": (OPENS,), "openat": (OPENS,), "openat2": (OPENS,), "creat": (ALWAYS,),
    "write": (WRITES_TO, 0), "pwrite64": (WRITES_TO, 0), "writev": (WRITES_TO, 0),
    "pwritev": (WRITES_TO, 0), "pwritev2": (WRITES_TO, 0), "sendfile": (WRITES_TO, 0),
    "copy_file_range": (WRITES_TO, 1), "splice": (WRITES_TO, 1),
    "fsync": (ALWAYS,), "fdatasync": (ALWAYS,), "sync_file_range": (ALWAYS,),
    "truncate": (ALWAYS,), "ftruncate": (ALWAYS,), "fallocate": (ALWAYS,),
    "rename": (ALWAYS,), "renameat": (ALWAYS,), "renameat2": (ALWAYS,),
    "unlink": (ALWAYS,), "unlinkat": (ALWAYS,),
    "mkdir": (ALWAYS,), "mkdirat": (ALWAYS,), "rmdir": (ALWAYS,),
    "link": (ALWAYS,), "linkat": (ALWAYS,), "symlink": (ALWAYS,), "symlinkat": (ALWAYS,),
    "mknod": (ALWAYS,), "mknodat": (ALWAYS,),
    "chmod": (ALWAYS,), "fchmod": (ALWAYS,), "fchmodat": (ALWAYS,),
    "chown": (ALWAYS,), "fchown": (ALWAYS,), "fchownat": (ALWAYS,), "lchown": (ALWAYS,),
}
OPEN_FLAGS_THAT_CHANGE = {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_TMPFILE", "O_APPEND"}

NEW_SERIAL = "SN00000001"
NEW_MAC = "02:00:5e:10:20:30"
NEW_DDS = b"NORN-DDS;rev=4;calibrated=2026-11-30;gain=0.9987;offset=0.0012;range=0-1000"

FULL_DISK_SIZE = "512k"
FULL_DISK_FREE_KIB = (0, 4, 8, 12, 16, 32, 64)  # tmpfs counts whole 4 KiB pages
FILE_SIZE_LIMITS_KIB = (0, 1, 2, 4, 16)     # RLIMIT_FSIZE in 1024-byte blocks, as `ulimit -f`


class CScenario:
    """One command under test, and what its instrument needs beforehand."""

    def __init__(self, name, arguments, preparation=()):
        self.name = name
        self.slug = name.replace(" ", "-")
        self.arguments = arguments  # "{dds}" stands for the device data set file to import
        self.preparation = list(preparation)  # commands run after init and a first backup
        # Filled in by Prepare(): the baseline instrument and what it holds.
        self.baseline = None
        self.before = None
        self.sets_before = None
        self.after = None
        self.kill_points = []
        self.trace = ""  # of the fault-free run
        self.error = None


SCENARIOS = [
    CScenario("backup", ["backup"]),
    CScenario("restore", ["--yes", "restore"], [["--yes", "serial", NEW_SERIAL]]),
    CScenario("dds import", ["--yes", "dds", "import", "{dds}"]),
    CScenario("mac import", ["--yes", "mac", "import", NEW_MAC]),
    CScenario("batch", ["--yes", "batch", "dds={dds}", "mac=" + NEW_MAC]),
    CScenario("erase", ["--yes", "erase"]),
]


class CRun:
    def __init__(self, code, out, err, timed_out=False):
        self.code = code
        self.out = out
        self.err = err
        self.timed_out = timed_out

    def Describe(self):
        if self.timed_out:
            return "timed out after %d s" % RUN_TIMEOUT
        text = "exit %d" % self.code if self.code >= 0 else "killed by %s" % SignalName(-self.code)
        err = self.err.strip()
        return text + (": " + err.replace("\n", " | ") if err else " (nothing on stderr)")


def SignalName(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return "signal %d" % number


def Ending(code):
    """How a run of the tool ended, from its exit code (negative: the signal)."""
    if code is None:
        return "not run"
    return "exit %d" % code if code >= 0 else "killed by " + SignalName(-code)


def HexOf(text):
    return re.sub(r"[^0-9a-f]", "", str(text).lower())


def DataOf(status):
    """The instrument's data from a `status --json` object."""
    s = status["status"]
    return {
        "serial": s["serial"],
        "material": s["material"],
        "dds": {"erased": s["dds"]["erased"], "payload": HexOf(s["dds"]["payload"])},
        "mac": {"erased": s["mac"]["erased"], "payload": HexOf(s["mac"]["payload"])},
    }


def Abbreviated(value):
    text = json.dumps(value, sort_keys=True)
    return text if len(text) <= 60 else text[:40] + "..." + text[-12:]


def DataDifference(have, want):
    """The fields in which `have` differs from `want`, as text."""
    differences = []
    for key in ("serial", "material", "dds", "mac"):
        if have.get(key) != want.get(key):
            differences.append("%s %s (expected %s)" % (key, Abbreviated(have.get(key)),
                                                  Abbreviated(want.get(key))))
    return "; ".join(differences)


def SnapshotSets(instrument):
    """{set name: {relative path: bytes}} of the backup sets in the instrument directory."""
    sets = {}
    root = os.path.join(instrument, "backups")
    if not os.path.isdir(root):
        return sets
    for name in sorted(os.listdir(root)):
        directory = os.path.join(root, name)
        if not os.path.isdir(directory):
            continue
        files = {}
        for base, _, names in os.walk(directory):
            for file_name in names:
                path = os.path.join(base, file_name)
                with open(path, "rb") as f:
                    files[os.path.relpath(path, directory)] = f.read()
        sets[name] = files
    return sets


def CopyInstrument(source, destination):
    shutil.copytree(source, destination, symlinks=True)


class CHarness:
    def __init__(self, tool, scratch, keep):
        self.tool = tool
        self.scratch = scratch
        self.keep = keep
        self.dds_file = os.path.join(scratch, "import.dds")
        with open(self.dds_file, "wb") as f:
            f.write(NEW_DDS)
        # LeakSanitizer cannot work in a process that strace traces; the leak checks of a
        # sanitizer build are done by the other suites.
        self.traced_environment = dict(os.environ)
        asan = self.traced_environment.get("ASAN_OPTIONS", "")
        self.traced_environment["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "detect_leaks=0"

    # --- running the tool ------------------------------------------------------------------

    def Run(self, instrument, arguments, prefix=(), environment=None):
        command = list(prefix) + [self.tool, "--instrument", instrument] + list(arguments)
        try:
            done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                                  cwd=self.scratch, timeout=RUN_TIMEOUT, env=environment)
        except subprocess.TimeoutExpired as expired:
            return CRun(-1, (expired.stdout or b"").decode(errors="replace"),
                        (expired.stderr or b"").decode(errors="replace"), timed_out=True)
        return CRun(done.returncode, done.stdout.decode(errors="replace"),
                    done.stderr.decode(errors="replace"))

    def CommandArguments(self, scenario):
        return [a.replace("{dds}", self.dds_file) for a in ["--json"] + scenario.arguments]

    def Status(self, instrument):
        """(data, None) or (None, what went wrong)."""
        run = self.Run(instrument, ["--json", "status"])
        if run.code != 0 or run.timed_out:
            return None, "status --json: " + run.Describe()
        try:
            return DataOf(json.loads(run.out)), None
        except (ValueError, KeyError, TypeError) as error:
            return None, "status --json printed no status object (%s): %s" % (error, run.out[:200])

    def BackupList(self, instrument):
        """(list of sets, newest first, None) or (None, what went wrong)."""
        run = self.Run(instrument, ["--json", "backups"])
        if run.code != 0 or run.timed_out:
            return None, "backups --json: " + run.Describe()
        try:
            sets = json.loads(run.out)["sets"]
            if not isinstance(sets, list) or not all("name" in s for s in sets):
                raise ValueError("\"sets\" is not a list of named sets")
            return sets, None
        except (ValueError, KeyError, TypeError) as error:
            return None, "backups --json printed no list of sets (%s): %s" % (error, run.out[:200])

    # --- the instrument before and after a command -----------------------------------------

    def Prepare(self, scenario):
        """Makes the scenario's baseline instrument and records what it holds."""
        directory = os.path.join(self.scratch, "baseline", scenario.slug)
        os.makedirs(directory)
        instrument = os.path.join(directory, "instrument")
        run = self.Run(instrument, ["init"])
        if run.code != 0:
            return "preparing the instrument: init: " + run.Describe()
        for step in [["backup"]] + scenario.preparation:
            run = self.Run(instrument, step)
            if run.code != 0:
                return "preparing the instrument: %s: %s" % (" ".join(step), run.Describe())
        scenario.before, problem = self.Status(instrument)
        if problem:
            return "preparing the instrument: " + problem
        sets, problem = self.BackupList(instrument)
        if problem:
            return "preparing the instrument: " + problem
        if not sets or not all(s.get("verified") is True for s in sets):
            return "preparing the instrument: backups --json lists no set, or an unverified one"
        for entry in sets:
            problem = ManifestProblem(os.path.join(instrument, "backups", entry["name"]))
            if problem:
                return "preparing the instrument: backup set %s: %s" % (entry["name"], problem)
        scenario.sets_before = SnapshotSets(instrument)
        scenario.baseline = instrument
        return None

    def Reference(self, scenario):
        """Runs the command fault-free under strace: the data after it, and its kill points."""
        directory = os.path.join(self.scratch, "reference", scenario.slug)
        os.makedirs(directory)
        instrument = os.path.join(directory, "instrument")
        CopyInstrument(scenario.baseline, instrument)
        trace = os.path.join(directory, "trace.txt")
        prefix = [STRACE, "-f", "-qq", "-y", "-o", trace, "-e", "trace=" + TRACED]
        run = self.Run(instrument, self.CommandArguments(scenario), prefix,
                       self.traced_environment)
        if run.code != 0:
            return "the fault-free run: " + run.Describe()
        scenario.after, problem = self.Status(instrument)
        if problem:
            return "after the fault-free run: " + problem
        if scenario.name == "backup":
            problem = self.CheckNewBackupSet(scenario, instrument, run)
            if problem:
                return "the fault-free run: " + problem
        elif scenario.after == scenario.before:
            return "the fault-free run changed no data, so a kill could not be told from it"
        with open(trace, encoding="utf-8", errors="replace") as f:
            trace_text = f.read()
        scenario.kill_points, threads = KillPoints(trace_text, instrument)
        if threads > 1:
            print("%s: note: %d threads made file-changing calls; strace counts calls per "
                  "thread" % (scenario.name, threads))
        if not scenario.kill_points:
            return "the fault-free run made no file-changing system call"
        scenario.trace = trace_text
        problems = FlushOrderProblems(trace_text)
        if problems:
            return "the fault-free run " + "; ".join(problems).replace(instrument, "<instrument>")
        return None

    def CheckNewBackupSet(self, scenario, instrument, run):
        """A backup that reports success named a new set, and that set verifies."""
        try:
            name = json.loads(run.out)["backup_set"]
        except (ValueError, KeyError, TypeError):
            return "backup --json named no backup_set: " + run.out[:200]
        if name in scenario.sets_before:
            return "backup reported the set %s, which existed before" % name
        sets, problem = self.BackupList(instrument)
        if problem:
            return problem
        entry = next((s for s in sets if s.get("name") == name), None)
        if entry is None or entry.get("verified") is not True:
            return "the new backup set %s is %s" % (
                name, "not listed" if entry is None else "not verified")
        return None

    # --- the checks after a run ------------------------------------------------------------

    def CheckInstrument(self, scenario, instrument):
        """What is wrong with the instrument after a run of the scenario's command (empty when
        it is intact), and whether it held the data from "before" or from "after" the command."""
        problems = []
        data, problem = self.Status(instrument)
        held = None
        if data == scenario.before or data == scenario.after:
            held = "before" if data == scenario.before else "after"
        if problem:
            problems.append("(a) " + problem)
        elif held is None:
            problems.append("(b) the data is neither from before nor from after the command: " +
                            DataDifference(data, scenario.before) +
                            " / from after: " + (DataDifference(data, scenario.after) or "equal"))

        sets_now = SnapshotSets(instrument)
        listed, problem = self.BackupList(instrument)
        if problem:
            problems.append("(c) " + problem)
        for name, files in scenario.sets_before.items():
            if name not in sets_now:
                problems.append("(c) backup set %s is gone" % name)
                continue
            if sets_now[name] != files:
                changed = sorted(p for p in set(files) | set(sets_now[name])
                                 if files.get(p) != sets_now[name].get(p))
                problems.append("(c) backup set %s changed: %s" % (name, ", ".join(changed)))
            if listed is not None:
                entry = next((s for s in listed if s.get("name") == name), None)
                if entry is None or entry.get("verified") is not True:
                    problems.append("(c) backup set %s is %s by backups --json" % (
                        name, "not listed" if entry is None else "not verified"))

        problem = self.CheckRestore(instrument, listed)
        if problem:
            problems.append("(d) " + problem)
        return problems, held

    def CheckRestore(self, instrument, listed):
        """`--yes restore` gives back the data of the newest verified set; what went wrong."""
        if listed is None:
            return "no restore tried: backups --json did not list the sets"
        newest = next((s["name"] for s in listed if s.get("verified") is True), None)
        if newest is None:
            return "no verified backup set to restore from"
        expected, problem = SetData(os.path.join(instrument, "backups", newest))
        problem = problem or ManifestProblem(os.path.join(instrument, "backups", newest))
        if problem:
            return "the newest verified set %s: %s" % (newest, problem)
        run = self.Run(instrument, ["--json", "--yes", "restore"])
        if run.code != 0:
            return "--yes restore (newest verified set %s): %s" % (newest, run.Describe())
        data, problem = self.Status(instrument)
        if problem:
            return "after --yes restore: " + problem
        if data != expected:
            return "after --yes restore the data is not that of the set %s: %s" % (
                newest, DataDifference(data, expected))
        return None

    def CheckFailureReport(self, scenario, instrument, run):
        """A run under a full disk or a file-size limit: succeeded and did its work, or failed
        with exit 1 and one line on stderr; one JSON object on stdout either way."""
        if run.timed_out:
            return [run.Describe()]
        if run.code < 0:
            return ["the command died: " + run.Describe()]
        try:
            if not isinstance(json.loads(run.out), dict):
                raise ValueError("not an object")
        except ValueError as error:
            return ["--json printed no single JSON object (%s): %r (%s)" % (
                error, run.out[:200], run.Describe())]
        if run.code == 0:
            data, problem = self.Status(instrument)
            if problem:
                return ["the command reported success, then " + problem]
            if data != scenario.after:
                return ["the command reported success but the data is not that from after it: " +
                        DataDifference(data, scenario.after)]
            if scenario.name == "backup":
                problem = self.CheckNewBackupSet(scenario, instrument, run)
                if problem:
                    return ["the command reported success but " + problem]
            return []
        lines = run.err.splitlines()
        if run.code != 1:
            return ["exit status %d, expected 0 or 1: %s" % (run.code, run.Describe())]
        if len(lines) != 1 or not lines[0].startswith("norn-service: "):
            return ["exit 1 with %d stderr line(s) instead of one `norn-service: ` line: %r" % (
                len(lines), run.err[:400])]
        return []

    # --- power cut ---------------------------------------------------------------------------

    def KillRun(self, scenario, index, point):
        directory = os.path.join(self.scratch, "power-cut", scenario.slug, "%03d" % index)
        os.makedirs(directory)
        instrument = os.path.join(directory, "instrument")
        CopyInstrument(scenario.baseline, instrument)
        prefix = [STRACE, "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + point.name,
                  "-e", "inject=%s:signal=SIGKILL:when=%d" % (point.name, point.invocation)]
        run = self.Run(instrument, self.CommandArguments(scenario), prefix,
                       self.traced_environment)
        if run.code != -signal.SIGKILL:
            problems, held = ["the kill point was not reached: the run ended with " +
                              run.Describe()], None
        else:
            problems, held = self.CheckInstrument(scenario, instrument)
        if not problems and not self.keep:
            shutil.rmtree(directory, ignore_errors=True)
        return problems, held

    # --- full disk ---------------------------------------------------------------------------

    def FullDiskRun(self, scenario, free_kib):
        directory = os.path.join(self.scratch, "full-disk", "%s-%dk" % (scenario.slug, free_kib))
        os.makedirs(directory)
        problem = Mount(directory)
        if problem:
            return ["cannot mount the tmpfs: " + problem], None
        try:
            instrument = os.path.join(directory, "instrument")
            CopyInstrument(scenario.baseline, instrument)
            filler = os.path.join(directory, "filler")
            free = Fill(filler, free_kib * 1024)
            if free > free_kib * 1024 + 4096:
                return ["harness error: the tmpfs kept %d bytes free after filling" % free], None
            run = self.Run(instrument, self.CommandArguments(scenario))
            os.unlink(filler)  # the technician makes room; then the instrument must be whole
            problems = self.CheckFailureReport(scenario, instrument, run)
            problems += self.CheckInstrument(scenario, instrument)[0]
            if problems and self.keep:
                CopyInstrument(instrument, directory + "-instrument")
            return problems, run.code
        finally:
            Unmount(directory)

    # --- file-size limit ---------------------------------------------------------------------

    def LimitedRun(self, scenario, limit_kib):
        directory = os.path.join(self.scratch, "file-size", "%s-%dk" % (scenario.slug, limit_kib))
        os.makedirs(directory)
        instrument = os.path.join(directory, "instrument")
        CopyInstrument(scenario.baseline, instrument)
        run = self.Run(instrument, self.CommandArguments(scenario), LimitPrefix(limit_kib))
        problems = self.CheckFailureReport(scenario, instrument, run)
        problems += self.CheckInstrument(scenario, instrument)[0]
        return problems, run.code

    # --- the checks themselves ---------------------------------------------------------------

    def SelfCheck(self, scenario):
        """The checks notice what they are there to notice: a damaged state file, data from
        neither side of the command, and a changed backup set. What they missed."""
        missed = []
        cases = [
            ("(a)", "a damaged instrument.state", DamageStateFile),
            ("(b)", "data from neither side of the command",
             lambda instrument: self.Run(instrument, ["--yes", "material", "9999.9999.99"])),
            ("(c)", "a changed backup set", DamageNewestSet),
        ]
        for index, (check, what, damage) in enumerate(cases):
            instrument = os.path.join(self.scratch, "self-check", str(index), "instrument")
            CopyInstrument(scenario.baseline, instrument)
            damage(instrument)
            problems = self.CheckInstrument(scenario, instrument)[0]
            if not any(p.startswith(check) for p in problems):
                missed.append("check %s did not notice %s (it found: %s)" % (
                    check, what, "; ".join(problems) or "nothing"))
        unflushed = "\n".join(l for l in scenario.trace.splitlines() if " fsync(" not in l)
        if not FlushOrderProblems(unflushed):
            missed.append("the flush-order check did not notice a run without fsync")
        return missed


class CKillPoint:
    def __init__(self, name, invocation, call):
        self.name = name
        self.invocation = invocation  # of this system call, counted per thread as strace does
        self.call = call

    def Describe(self):
        return "%s #%d: %s" % (self.name, self.invocation, self.call)


TRACE_LINE = re.compile(r"^(\d+)\s+([a-z0-9_]+)\((.*)$")
QUOTED = re.compile(r'"(?:[^"\\]|\\.)*"(?:\.\.\.)?')
DESCRIPTOR = re.compile(r"(\d+)<([^>]*)>")


def ChangesFiles(name, arguments):
    kind = FILE_CHANGING_CALLS.get(name)
    if kind is None:
        return False
    if kind[0] == ALWAYS:
        return True
    if kind[0] == OPENS:
        flags = set(re.findall(r"\bO_[A-Z_]+\b", QUOTED.sub('""', arguments)))
        return bool(flags & OPEN_FLAGS_THAT_CHANGE)
    descriptors = DESCRIPTOR.findall(arguments)
    if len(descriptors) <= kind[1]:
        return True  # not decoded: count it rather than miss it
    number, path = descriptors[kind[1]]
    if number in ("1", "2"):
        return False
    return path.startswith("/") and not path.startswith(("/dev/", "/proc/", "/sys/"))


def KillPoints(trace, instrument):
    """The file-changing calls of a `strace -f -y` trace, in order, each once; and how many
    threads made them."""
    counts = {}
    points = []
    seen = set()
    threads = set()
    for line in trace.splitlines():
        match = TRACE_LINE.match(line)
        if not match:
            continue  # a resumed call, a signal, an exit
        thread, name, arguments = match.groups()
        counts[(thread, name)] = counts.get((thread, name), 0) + 1
        if not ChangesFiles(name, arguments):
            continue
        threads.add(thread)
        invocation = counts[(thread, name)]
        if (name, invocation) in seen:
            continue
        seen.add((name, invocation))
        call = re.sub(r"AT_FDCWD<[^>]*>", "AT_FDCWD", arguments.replace(instrument, "<instrument>"))
        call = re.sub(r"\d{8}T\d{6}Z", "<time>", call)  # the new backup set's name
        call = re.sub(r"\s*<unfinished \.\.\.>$", "", call)
        call = name + "(" + (call if len(call) <= 150 else call[:147] + "...")
        points.append(CKillPoint(name, invocation, call))
    return points, len(threads)


RESULT = re.compile(r"\)\s+=\s+(-?\d+)(?:<([^>]*)>)?")


def ParentOf(path):
    return os.path.dirname(path.rstrip("/"))


def FlushOrderProblems(trace):
    """What in a `strace -f -y` trace of a fault-free run could be lost to a power cut: a file
    or folder renamed into place before its content was flushed, a name renamed onto itself
    (written in place), a folder not flushed after a rename into it, an append not flushed."""
    unflushed = set()  # files written or truncated since their last fsync
    changed = set()  # folders whose entries changed since their last fsync
    renamed_into = set()  # folders a rename put an entry in, not flushed since
    appended = set()
    problems = []
    for line in trace.splitlines():
        match, result = TRACE_LINE.match(line), RESULT.search(line)
        if not match or not result or int(result.group(1)) < 0:
            continue  # failed, unfinished, or not a call
        name, arguments = match.group(2), match.group(3)
        names = [q.strip('"') for q in QUOTED.findall(arguments)]
        descriptors = DESCRIPTOR.findall(arguments)
        if name in ("open", "openat", "creat") and result.group(2):
            opened = result.group(2)
            if re.search(r"O_CREAT|O_TMPFILE", arguments) or name == "creat":
                changed.add(ParentOf(opened))
            if "O_TRUNC" in arguments:
                unflushed.add(opened)
            if "O_APPEND" in arguments:
                appended.add(opened)
        elif FILE_CHANGING_CALLS.get(name, ("",))[0] == WRITES_TO and ChangesFiles(name, arguments):
            unflushed.add(descriptors[FILE_CHANGING_CALLS[name][1]][1])
        elif name in ("fsync", "fdatasync") and descriptors:
            flushed = descriptors[0][1]
            unflushed.discard(flushed)
            changed.discard(flushed)
            renamed_into.discard(flushed)
        elif name in ("mkdir", "mkdirat", "unlink", "unlinkat", "rmdir") and names:
            changed.add(ParentOf(names[0]))
        elif name.startswith("rename") and len(names) == 2:
            old, new = names
            if old == new:
                problems.append("renames %s onto itself: it was written in place" % old)
            inside = sorted(p for p in unflushed if p == old or p.startswith(old + "/"))
            if inside:
                problems.append("renames %s before flushing %s" % (old, ", ".join(inside)))
            if old in changed:
                problems.append("renames the folder %s before flushing its entries" % old)
            for tracked in (unflushed, changed, renamed_into, appended):
                moved = {p for p in tracked if p == old or p.startswith(old + "/")}
                tracked -= moved
                tracked |= {new + p[len(old):] for p in moved}
            changed.update((ParentOf(old), ParentOf(new)))
            renamed_into.add(ParentOf(new))
    problems += ["renames into %s but never flushes that folder" % d for d in sorted(renamed_into)]
    problems += ["appends to %s but never flushes it" % p for p in sorted(appended & unflushed)]
    return problems


def SetData(directory):
    """The data a backup set was made from: its manifest's serial and material, its files as
    the payloads; or (None, what is missing)."""
    try:
        with open(os.path.join(directory, "manifest.json"), encoding="utf-8") as f:
            manifest = json.load(f)
        with open(os.path.join(directory, "NornData.dds"), "rb") as f:
            dds = f.read()
        with open(os.path.join(directory, "NornData.mac"), "rb") as f:
            mac = f.read()
        return {
            "serial": manifest["serial"],
            "material": manifest["material"],
            "dds": {"erased": False, "payload": dds.hex()},
            "mac": {"erased": False, "payload": mac.hex()},
        }, None
    except (OSError, ValueError, KeyError, TypeError) as error:
        return None, str(error)


def ManifestProblem(directory):
    """What in a backup set does not match its manifest (sizes and SHA-256 of the service data
    files), or None."""
    try:
        with open(os.path.join(directory, "manifest.json"), encoding="utf-8") as f:
            listed = json.load(f)["files"]
        for name in ("NornData.dds", "NornData.mac"):
            if name not in listed:
                return "manifest.json does not list " + name
        for name, entry in sorted(listed.items()):
            with open(os.path.join(directory, name), "rb") as f:
                content = f.read()
            if len(content) != entry["size"] or hashlib.sha256(content).hexdigest() != \
                    str(entry["sha256"]).lower():
                return "%s does not match its size and SHA-256 in manifest.json" % name
    except (OSError, ValueError, KeyError, TypeError, AttributeError) as error:
        return "manifest.json cannot be checked: %s" % error
    return None


def DamageStateFile(instrument):
    path = os.path.join(instrument, "instrument.state")
    with open(path, "r+b") as f:
        content = bytearray(f.read())
        content[len(content) // 2] ^= 0x01
        f.seek(0)
        f.write(content)


def DamageNewestSet(instrument):
    root = os.path.join(instrument, "backups")
    newest = sorted(os.listdir(root))[-1]
    with open(os.path.join(root, newest, "NornData.dds"), "ab") as f:
        f.write(b"\0")


def Mount(directory):
    """Mounts a small tmpfs on `directory`; what went wrong, or None."""
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + FULL_DISK_SIZE, "tmpfs",
                           directory], capture_output=True, text=True)
    if done.returncode != 0:
        lines = done.stderr.strip().splitlines()
        return lines[0] if lines else "mount exited %d" % done.returncode
    return None


def Unmount(directory):
    if subprocess.run(["umount", directory], capture_output=True).returncode != 0:
        subprocess.run(["umount", "-l", directory], capture_output=True)


def Fill(path, free_bytes):
    """Fills the file system of `path` with one file, then gives back `free_bytes`; the bytes
    free then."""
    with open(path, "wb", buffering=0) as f:
        for size in (1 << 16, 4096, 512, 1):
            chunk = bytes(size)
            while True:
                try:
                    if f.write(chunk) == 0:
                        break
                except OSError as error:
                    if error.errno != errno.ENOSPC:
                        raise
                    break
        full = f.tell()
        os.ftruncate(f.fileno(), max(0, full - free_bytes))
    space = os.statvfs(path)
    return space.f_bavail * space.f_frsize


# Runs a command under RLIMIT_FSIZE. Python ignores SIGXFSZ and an ignored signal stays ignored
# across exec, so the default is put back first: a tool that does not handle the signal dies of
# it, as it would in a shell.
LIMIT_TRAMPOLINE = (
    "import os, resource, signal, sys\n"
    "limit = int(sys.argv[1])\n"
    "resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))\n"
    "signal.signal(signal.SIGXFSZ, signal.SIG_DFL)\n"
    "os.execv(sys.argv[2], sys.argv[2:])\n")


def LimitPrefix(limit_kib):
    return [sys.executable, "-c", LIMIT_TRAMPOLINE, str(limit_kib * 1024)]


def CheckLimitTrampoline(scratch):
    """The file-size limit does what it should: a program that writes past it dies of
    SIGXFSZ."""
    target = os.path.join(scratch, "limit-probe")
    done = subprocess.run(LimitPrefix(1) + ["/bin/dd", "if=/dev/zero", "of=" + target,
                                            "bs=4096", "count=1"], capture_output=True)
    if done.returncode != -signal.SIGXFSZ:
        return "dd past a 1 KiB limit ended with status %d, not SIGXFSZ" % done.returncode
    return None


class CFigures:
    def __init__(self):
        self.rows = []

    def Add(self, name, value):
        self.rows.append((name, value))

    def Write(self):
        path = os.environ.get("NORN_RELIABILITY_FIGURES")
        if not path:
            return
        with open(path, "a", encoding="utf-8") as f:
            for name, value in self.rows:
                f.write("%s\t%s\n" % (name, value))


def Guarded(run, *arguments):
    """run(*arguments); a harness error (an exception) becomes the run's problem."""
    try:
        return run(*arguments)
    except Exception as error:  # pylint: disable=broad-except
        return ["harness error: %s: %s" % (type(error).__name__, error)], None


def Tally(outcomes):
    """"3 x, 2 y" of a list of outcomes, in their first order."""
    counts = {}
    for outcome in outcomes:
        counts[outcome] = counts.get(outcome, 0) + 1
    return ", ".join("%d %s" % (n, outcome) for outcome, n in counts.items())


def PrintProblems(title, problems):
    for problem in problems:
        print("  %s: %s" % (title, problem))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", required=True, help="the norn-service to sweep")
    parser.add_argument("--only", action="append", metavar="COMMAND",
                        choices=[s.name for s in SCENARIOS],
                        help="sweep only this command (repeatable; default: all)")
    parser.add_argument("--sweeps", default="power-cut,full-disk,file-size",
                        help="which sweeps, comma-separated (default: all three)")
    parser.add_argument("--jobs", type=int, default=min(4, os.cpu_count() or 1),
                        help="runs at a time (default: the cores, at most 4)")
    parser.add_argument("--keep", action="store_true",
                        help="keep the scratch directory, every run's instrument in it")
    parser.add_argument("--scratch", help="the scratch directory (default: a new one in TMPDIR)")
    parser.add_argument("-v", "--verbose", action="store_true", help="list every kill point")
    options = parser.parse_args()
    sweeps = set(options.sweeps.split(","))
    unknown = sweeps - {"power-cut", "full-disk", "file-size"}
    if unknown:
        parser.error("unknown sweep " + ", ".join(sorted(unknown)))
    tool = os.path.abspath(options.tool)
    if not os.access(tool, os.X_OK):
        parser.error("no tool at " + tool)
    if "power-cut" in sweeps and not os.access(STRACE, os.X_OK):
        print("tool_sweeps: %s is missing (scripts/install-deps.sh installs it)" % STRACE)
        return 1

    started = time.monotonic()
    scratch = options.scratch or tempfile.mkdtemp(prefix="norn-sweeps-")
    scratch = os.path.abspath(scratch)
    os.makedirs(scratch, exist_ok=True)
    harness = CHarness(tool, scratch, options.keep)
    scenarios = [s for s in SCENARIOS if not options.only or s.name in options.only]
    figures = CFigures()
    intact = True
    pool = concurrent.futures.ThreadPoolExecutor(max_workers=max(1, options.jobs))
    try:
        # Baselines first, then a pause: a backup set is named by the second it is made in, and
        # the runs' new sets must not share a second with the baselines' ones.
        for scenario, problem in zip(scenarios, pool.map(harness.Prepare, scenarios)):
            scenario.error = problem
        time.sleep(1.1)
        for scenario, problem in zip(scenarios, pool.map(
                lambda s: s.error or harness.Reference(s), scenarios)):
            scenario.error = problem
        ready = [s for s in scenarios if not s.error]
        for scenario in scenarios:
            if scenario.error:
                intact = False
                print("%s: cannot sweep: %s" % (scenario.name, scenario.error))
        if ready:
            missed = harness.SelfCheck(ready[0])
            for problem in missed:
                print("self-check: " + problem)
            if missed:
                intact = False
                ready = []
            else:
                print("self-check: the checks notice a damaged state file, data from neither "
                      "side of a command, a changed backup set and a run without fsync")

        if "power-cut" in sweeps:
            for scenario in ready:
                points = scenario.kill_points
                results = list(pool.map(
                    lambda item: Guarded(harness.KillRun, scenario, item[0], item[1]),
                    enumerate(points)))
                good = sum(1 for problems, _ in results if not problems)
                print("%s: %d of %d kill points intact" % (scenario.name, good, len(points)))
                if scenario.before != scenario.after:
                    print("  the kills left the data from %s" % Tally(
                        [held for _, held in results if held]))
                figures.Add("power-cut kill points intact (%s)" % scenario.name,
                            "%d of %d" % (good, len(points)))
                for point, (problems, _) in zip(points, results):
                    if options.verbose:
                        print("  %s %s" % ("intact " if not problems else "BROKEN ",
                                           point.Describe()))
                    PrintProblems("kill at " + point.Describe(), problems)
                intact = intact and good == len(points)

        if "full-disk" in sweeps:
            probe = os.path.join(scratch, "mount-probe")
            os.makedirs(probe)
            problem = Mount(probe)
            if problem:
                print("full disk: skipped, cannot mount a tmpfs (%s)" % problem)
                figures.Add("full-disk runs intact", "skipped (no tmpfs mount)")
            else:
                Unmount(probe)
                runs = [(s, k) for s in ready for k in FULL_DISK_FREE_KIB]
                results = list(pool.map(lambda item: Guarded(harness.FullDiskRun, *item), runs))
                good = 0
                for (scenario, free_kib), (problems, code) in zip(runs, results):
                    good += not problems
                    if options.verbose:
                        print("  %s full disk, %s, %d KiB free: %s" % (
                            "intact " if not problems else "BROKEN ", scenario.name, free_kib,
                            Ending(code)))
                    PrintProblems("full disk, %s, %d KiB free" % (scenario.name, free_kib),
                                  problems)
                print("full disk: %d of %d runs intact" % (good, len(runs)))
                if runs:
                    print("  the commands ended with " + Tally(
                        [Ending(code) for _, code in results if code is not None]))
                figures.Add("full-disk runs intact", "%d of %d" % (good, len(runs)))
                intact = intact and good == len(runs)

        if "file-size" in sweeps:
            problem = CheckLimitTrampoline(scratch)
            if problem:
                print("file-size limit: cannot set the limit: " + problem)
                intact = False
            else:
                runs = [(s, k) for s in ready for k in FILE_SIZE_LIMITS_KIB]
                results = list(pool.map(lambda item: Guarded(harness.LimitedRun, *item), runs))
                good = 0
                for (scenario, limit_kib), (problems, code) in zip(runs, results):
                    good += not problems
                    if options.verbose:
                        print("  %s file-size limit, %s, %d KiB: %s" % (
                            "intact " if not problems else "BROKEN ", scenario.name, limit_kib,
                            Ending(code)))
                    PrintProblems("file-size limit, %s, %d KiB" % (scenario.name, limit_kib),
                                  problems)
                print("file-size limit: %d of %d runs intact" % (good, len(runs)))
                if runs:
                    print("  the commands ended with " + Tally(
                        [Ending(code) for _, code in results if code is not None]))
                figures.Add("file-size-limit runs intact", "%d of %d" % (good, len(runs)))
                intact = intact and good == len(runs)
    finally:
        pool.shutdown()
        if options.keep:
            print("scratch kept: " + scratch)
        elif not options.scratch:
            shutil.rmtree(scratch, ignore_errors=True)

    figures.Write()
    print("sweeps: %s in %.0f s" % ("all intact" if intact else "NOT all intact",
                                    time.monotonic() - started))
    return 0 if intact else 1


if __name__ == "__main__":
    sys.exit(main())
