"""Runs corvane-rules over the answer table: expected<TAB>command<TAB>args..."""
import subprocess
import sys

rules, table, suffix = sys.argv[1], sys.argv[2], sys.argv[3]
marks = {"{suffix}": suffix, "{SUFFIX}": suffix.upper(), "{bare}": suffix[1:],
         "{tab}": "\t", "{nbsp}": "\u00a0", "{ls}": "\u2028"}

def fill(text):
    for mark, value in marks.items():
        text = text.replace(mark, value)
    return text

passed = failed = 0
with open(table, encoding="utf-8") as f:
    for number, line in enumerate(f, 1):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        expected, *args = [fill(field) for field in line.split("\t")]
        run = subprocess.run([rules, *args], capture_output=True, text=True)
        if expected == "!2":
            ok = run.returncode == 2 and run.stdout == "" and run.stderr != ""
        else:
            ok = run.returncode == 0 and run.stdout == expected + "\n"
        if ok:
            passed += 1
        else:
            failed += 1
            print(f"line {number}: corvane-rules {args!r}\n  expected {expected!r}\n  got {run.stdout!r} "
                  f"(exit {run.returncode}) {run.stderr.strip()}")
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
