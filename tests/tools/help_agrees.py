#!/usr/bin/env python3
"""--help, the man page and README describe the same tool: every command and option that the
tool's own table knows (as its bash completion lists them) is in all three, and every exit
status the help names is in README. Prints "N passed, M failed"."""
import argparse
import re
import subprocess
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--readme", required=True)
    args = parser.parse_args()
    tool = lambda *words: subprocess.run([args.tool, *words], capture_output=True, text=True,
                                         check=True).stdout
    completion = tool("--generate", "bash-completion")
    words = re.findall(r"compgen -W '([^']*)' -- \"\$current\"\)\)\n", completion)
    options, commands = words[-2].split(), words[-1].split()
    help_text, man = tool("--help"), tool("--generate", "man").replace("\\-", "-")
    with open(args.readme, encoding="utf-8") as f:
        readme = f.read()
    failures, passed = [], 0
    for name in options + commands:
        for where, text in (("--help", help_text), ("the man page", man), ("README", readme)):
            found = re.search(r"(^|[\s`(\[|])" + re.escape(name) + r"($|[\s`=\[\]),|.:])", text, re.M)
            if found:
                passed += 1
            else:
                failures.append(f"{name} is not in {where}")
    if len(options) < 10 or len(commands) < 10:
        failures.append(f"the completion lists {len(options)} options, {len(commands)} commands")
    for failure in failures:
        print("FAILED", failure)
    print(f"{passed} passed, {len(failures)} failed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
