#!/usr/bin/env python3
"""The JSON contract of norn-service: every command, on its success and its failure paths,
prints exactly one JSON object on stdout, valid UTF-8, that the schema in
tools/ServiceTool/norn-service.schema.json accepts, whose exit_code is the process's, and whose
command keys are all there. Prints "N passed, M failed" and exits 1 on any failure."""
import argparse
import hashlib
import json
import os
import subprocess
import sys
import tempfile

import jsonschema


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--schema", required=True)
    args = parser.parse_args()
    with open(args.schema, encoding="utf-8") as f:
        schema = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)
    scratch = tempfile.mkdtemp(prefix="norn-json-")
    inst = os.path.join(scratch, "instrument")
    dds = os.path.join(scratch, "new.dds")
    with open(dds, "wb") as f:
        f.write(b"NEW-DDS")
    failures = []
    passed = 0

    def run(words, stdin="", expect=None, check=True):
        nonlocal passed
        run = subprocess.run([args.tool, "--json", "--instrument", inst, *words],
                             input=stdin.encode(), capture_output=True)
        if not check:
            return run
        name = " ".join(words)
        problems = []
        try:
            text = run.stdout.decode("utf-8", errors="strict")
        except UnicodeDecodeError as error:
            problems.append(f"not UTF-8: {error}")
            text = ""
        lines = text.splitlines()
        if len(lines) != 1:
            problems.append(f"{len(lines)} lines on stdout")
        obj = None
        try:
            obj = json.loads(text)
        except ValueError as error:
            problems.append(f"not JSON: {error}")
        if obj is not None:
            problems += [e.message for e in validator.iter_errors(obj)]
            if obj.get("exit_code") != run.returncode:
                problems.append(f"exit_code {obj.get('exit_code')} but exit status {run.returncode}")
        if expect is not None and run.returncode != expect:
            problems.append(f"exit status {run.returncode}, expected {expect}")
        if problems:
            failures.append(f"{name}: " + "; ".join(problems) + f"\n    {text.strip()[:300]}")
        else:
            passed += 1
        return obj

    # Before there is an instrument, and bad input.
    for words, code in [(["status"], 1), (["frobnicate"], 2), (["--frob", "status"], 2),
                        (["serial", "SN123456789012"], 2), (["--fault", "Nope=null", "status"], 2),
                        (["--root", "x" * 100, "status"], 2), (["log"], 1), (["history"], 1)]:
        run(words, expect=code)
    run(["init"], expect=0)
    run(["init"], expect=1)
    # Every command on its success path, then on failure paths.
    table = [
        (["status"], 0), (["info"], 0), (["verify"], 1), (["backups"], 0),
        (["--yes", "erase"], 1), (["backup"], 0), (["verify"], 0), (["backups"], 0),
        (["--dry-run", "restore"], 0), (["restore"], 1), (["--yes", "restore"], 0),
        (["--yes", "serial", "SN00000042"], 0), (["serial"], 0), (["--yes", "material", "M-1"], 0),
        (["material"], 0), (["--yes", "dds", "import", dds], 0), (["dds", "export"], 0),
        (["--yes", "mac", "import", "00-1b-7c-aa-bb-cc"], 0), (["mac", "export"], 1),
        (["--yes", "batch", "dds=" + dds, "mac=001b.7c12.3456"], 0),
        (["--yes", "--fault", "WriteBlock=hr:E_FAIL", "batch", "dds=" + dds], 1),
        (["--fault", "PrepareRead=status:1", "backup"], 1),
        (["--no-error-manager", "--fault", "PrepareRead=status:1", "backup"], 1),
        (["backup"], 0), (["--yes", "erase"], 0), (["dds", "export"], 1), (["status"], 0),
        (["--yes", "--from", "no-such-set", "restore"], 1), (["--yes", "restore"], 0),
        (["--keep", "1", "prune"], 0), (["log"], 0), (["history"], 0), (["demo"], 0),
    ]
    for words, code in table:
        run(words, expect=code)
    # A serial whose bytes are not UTF-8 (stored behind the tool's back) is escaped, not passed.
    state_path = os.path.join(inst, "instrument.state")
    with open(state_path) as f:
        lines = f.read().split("\n")
    lines = [("value 3 " + b"SN\xff\xfe".hex()) if l.startswith("value 3 ") else l
             for l in lines if not l.startswith("checksum ")]
    body = "\n".join(l for l in lines if l) + "\n"
    with open(state_path, "w") as f:
        f.write(body + "checksum " + hashlib.sha256(body.encode()).hexdigest() + "\n")
    obj = run(["serial"], expect=0)
    if obj is not None and obj.get("serial") != "SN\\xff\\xfe":
        failures.append(f"serial with bytes ff fe reads {obj.get('serial')!r}")
    run(["status"], expect=0)
    # A locked instrument.
    import fcntl
    with open(os.path.join(inst, ".lock"), "r+") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        run(["status"], expect=1)
    for failure in failures:
        print("FAILED", failure)
    print(f"{passed} passed, {len(failures)} failed")
    subprocess.run(["rm", "-rf", scratch])
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
