"""Mutation fuzzer of the curve-file reader ("Add curve from file..."): the 36-column export
format and CSV with a header, through build-asan/tools/fuzz/curve_table_harness.

    /usr/bin/python3 tools/fuzz/fuzz_curves.py --harness build-asan/tools/fuzz/curve_table_harness \
        --cli build-asan/cli/kalvor-cli --seconds 300

Mutants are read in batches by one harness process; a finding (signal, sanitizer report, a
table that is not rectangular, a refusal without a message, a hang) is saved under --found
with the input the harness named last."""

import argparse
import os
import random
import shutil
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mutate import mutate  # noqa: E402

ENV = {**os.environ, "ASAN_OPTIONS": "detect_leaks=1:abort_on_error=0:allocator_may_return_null=1",
       "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1"}
SANITIZER = re.compile(r"runtime error:|AddressSanitizer|LeakSanitizer|terminate called")


def seeds(cli, work):
    """A short run in both formats, and small hand-written CSVs of measured data."""
    out = []
    for fmt in ([], ["--csv"]):
        path = os.path.join(work, "seed.txt")
        subprocess.run([cli, "run", "--quiet", "--set", "time.Te=0.0002", "--out", path] + fmt,
                       env=ENV, check=True)
        with open(path, "rb") as f:
            out.append(f.read())
    out += [b"t;u\n0;1\n0.1;2\n0.2;3\n", b"time\tI\tU\r\n0\t1\t2\r\n1\t3\t4\r\n",
            b"\"t [s]\",\"x\"\n0,1e-3\n1,-2E+3\n2,nan\n3,inf\n"]
    return out


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--harness", required=True)
    p.add_argument("--cli", required=True, help="kalvor-cli, to make the seed tables")
    p.add_argument("--seconds", type=float, default=120)
    p.add_argument("--batch", type=int, default=50)
    p.add_argument("--timeout", type=float, default=120)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--found", default="fuzz-found")
    args = p.parse_args()
    rng = random.Random(args.seed)
    work = tempfile.mkdtemp(prefix="kalvor-fuzz-curves-")
    os.makedirs(args.found, exist_ok=True)
    seed_list = seeds(args.cli, work)
    total, findings, start = 0, 0, time.monotonic()
    taken = 0
    while time.monotonic() < start + args.seconds:
        paths = []
        for i in range(args.batch):
            path = os.path.join(work, f"m{i:03d}.txt")
            with open(path, "wb") as f:
                f.write(mutate(rng.choice(seed_list), rng))
            paths.append(path)
        total += len(paths)
        try:
            proc = subprocess.run([args.harness] + paths, capture_output=True, env=ENV,
                                  timeout=args.timeout)
            err = proc.stderr.decode("utf-8", "replace")
            out = proc.stdout.decode("utf-8", "replace")
            taken += out.count("\tok\t")
            bad = proc.returncode not in (0, 1) or SANITIZER.search(err) or "UNSOUND" in out
            why = f"exit {proc.returncode}" if bad else None
        except subprocess.TimeoutExpired as timeout:
            err = (timeout.stderr or b"").decode("utf-8", "replace")
            out, why = "", "hang"
        if why or "UNSOUND" in out:
            named = re.findall(r"^reading (.*)$", err, re.M)
            culprit = named[-1] if named else paths[0]
            for line in out.splitlines():
                if line.endswith("UNSOUND"):
                    culprit = line.split("\t")[0]
            findings += 1
            stem = os.path.join(args.found, f"curve-{findings:03d}")
            os.replace(culprit, stem + ".input")
            with open(stem + ".txt", "w") as f:
                f.write(f"{why}\n{err[-20000:]}")
            print(f"FOUND curve: {why} ({stem})", flush=True)
    wall = time.monotonic() - start
    shutil.rmtree(work, ignore_errors=True)
    print(f"{total} inputs in {wall:.0f} s ({taken} taken as tables); {findings} findings",
          flush=True)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
