"""Mutation fuzzer of kalvor-cli's input paths: the parameter file (`params FILE`, and `run FILE`
with a short time span) and `--set` values of every key.

    /usr/bin/python3 tools/fuzz/fuzz_cli.py --cli build-asan/cli/kalvor-cli --seconds 300

Build kalvor-cli with -fsanitize=address,undefined (see README.md). A finding is a signal, a
sanitizer report, an exit status other than 0, 2, 3 or 4, a refusal without a message or with
an internal one (an exception's text), or a run longer than --timeout; each is saved under
--found with the command line that reproduces it."""

import argparse
import json
import os
import random
import shutil
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mutate import EXTREMES, mutate  # noqa: E402

SANITIZER_ENV = {"ASAN_OPTIONS": "detect_leaks=1:abort_on_error=0:allocator_may_return_null=1",
                 "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1"}
# Text in a message that betrays an internal failure rather than a refusal written for a user.
INTERNAL = re.compile(r"runtime error:|AddressSanitizer|LeakSanitizer|terminate called|what\(\)|"
                      r"json\.exception|std::|Segmentation|Aborted|Traceback")
GOOD_EXITS = {0, 2, 3, 4}
# The keys added this turn get most of the --set inputs.
NEW_GROUPS = {"foc", "protection"}
NEW_KEYS = {"time.Exact", "control.Scheme"}
# Keeps `run` short whatever the file says: 0.2 ms simulated.
SHORT_RUN = ["--set", "time.Ts=0", "--set", "time.Te=0.0002", "--set", "time.H=5e-6",
             "--set", "time.Every=1"]


def keys(cli):
    """GROUP.KEY of every parameter, from `params --list`."""
    text = subprocess.run([cli, "params", "--list"], capture_output=True, text=True,
                          env=env(), check=True).stdout
    found = re.findall(r"^\s*([a-z_]+\.[A-Za-z0-9]+) =", text, re.M)
    return sorted(set(found))


def env():
    return {**os.environ, **SANITIZER_ENV, "QT_QPA_PLATFORM": "offscreen"}


def seeds(cli, folder):
    """Parameter files: the defaults, and the new groups away from their defaults."""
    defaults = subprocess.run([cli, "params"], capture_output=True, env=env(), check=True).stdout
    tree = json.loads(defaults)
    out = [defaults]
    variants = [
        {"control": {"Scheme": 1}, "foc": {"CurrentBandwidth": 3000, "SpeedBandwidth": 60,
                                           "Imax": 20, "Mtpa": True}},
        {"protection": {"Itrip": 15, "Idesat": 40, "Tdesat": 2e-6, "Uovp": 250,
                        "SafeState": 1}},
        {"time": {"Exact": True}},
        {"failures": {"FailT": [1, 0, 0, 0, 0, 0], "Onset": 0.0001, "Clear": 0.00015},
         "protection": {"Itrip": 5, "SafeState": 0}},
    ]
    for change in variants:
        t = json.loads(defaults)
        for group, members in change.items():
            t[group].update(members)
        out.append(json.dumps(t, indent=2).encode())
    out.append(json.dumps({"foc": tree.get("foc", {}), "protection": tree.get("protection", {})})
               .encode())
    out.append(b"")
    return out


def judge(proc, elapsed, timed_out):
    """Why the run is a finding, or None."""
    err = proc.stderr.decode("utf-8", "replace") if proc else ""
    if timed_out:
        return f"hang (more than {elapsed:.0f} s)"
    if proc.returncode < 0:
        return f"signal {-proc.returncode}"
    if proc.returncode not in GOOD_EXITS:
        return f"exit status {proc.returncode}"
    if INTERNAL.search(err):
        return "internal message: " + INTERNAL.search(err).group(0)
    if proc.returncode == 2 and not err.strip():
        return "refused without a message"
    if proc.returncode == 2 and len(err) > 4000:
        return f"a message of {len(err)} characters"
    return None


class Fuzzer:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        self.work = tempfile.mkdtemp(prefix="kalvor-fuzz-")
        self.found = args.found
        os.makedirs(self.found, exist_ok=True)
        self.counts = {}
        self.findings = []

    def execute(self, name, argv, data=None):
        self.counts[name] = self.counts.get(name, 0) + 1
        timed_out, proc = False, None
        start = time.monotonic()
        try:
            proc = subprocess.run(argv, capture_output=True, env=env(),
                                  timeout=self.args.timeout, cwd=self.work)
        except subprocess.TimeoutExpired:
            timed_out = True
        why = judge(proc, time.monotonic() - start, timed_out)
        if why:
            self.record(name, argv, data, why, proc)

    def record(self, name, argv, data, why, proc):
        n = len(self.findings)
        stem = os.path.join(self.found, f"{name}-{n:03d}")
        if data is not None:
            with open(stem + ".input", "wb") as f:
                f.write(data)
        with open(stem + ".txt", "w") as f:
            f.write(why + "\n" + " ".join(repr(a) for a in argv) + "\n\n")
            if proc is not None:
                f.write(proc.stderr.decode("utf-8", "replace")[-20000:])
        self.findings.append((name, why))
        print(f"FOUND {name}: {why} ({stem})", flush=True)

    def file_case(self, seed_list):
        data = mutate(self.rng.choice(seed_list), self.rng)
        path = os.path.join(self.work, "p.json")
        with open(path, "wb") as f:
            f.write(data)
        kept = os.path.join(self.work, "kept.json")
        if self.rng.random() < 0.5:
            self.execute("params-file", [self.args.cli, "params", path, "--out", kept], data)
        else:
            self.execute("run-file", [self.args.cli, "run", path, "--quiet", "--out",
                                      os.path.join(self.work, "t.txt"), "--events",
                                      os.path.join(self.work, "e.csv")] + SHORT_RUN, data)

    def set_case(self, key_list, defaults):
        fresh = [k for k in key_list if k.split(".")[0] in NEW_GROUPS or k in NEW_KEYS]
        key = self.rng.choice(fresh if fresh and self.rng.random() < 0.7 else key_list)
        base = defaults.get(key, "0").encode()
        value = self.rng.choice([self.rng.choice(EXTREMES), mutate(base, self.rng),
                                 base + self.rng.choice(EXTREMES)])
        # A command-line argument holds no NUL byte and at most 128 KiB (Linux).
        value = value.replace(b"\x00", b"")[:120000]
        assignment = key.encode() + b"=" + value
        if self.rng.random() < 0.7:
            self.execute("set-params", [self.args.cli.encode(), b"params", b"--set", assignment],
                         assignment)
        else:
            argv = [self.args.cli.encode(), b"run", b"--quiet", b"--out",
                    os.path.join(self.work, "t.txt").encode()]
            argv += [a.encode() for a in SHORT_RUN] + [b"--set", assignment]
            self.execute("set-run", argv, assignment)

    def run(self):
        key_list = keys(self.args.cli)
        seed_list = seeds(self.args.cli, self.work)
        tree = json.loads(seed_list[0])
        defaults = {f"{g}.{k}": json.dumps(v) for g, m in tree.items() for k, v in m.items()}
        end = time.monotonic() + self.args.seconds
        start = time.monotonic()
        while time.monotonic() < end:
            if self.args.target in ("file", "all") and (self.args.target == "file" or
                                                       self.rng.random() < 0.5):
                self.file_case(seed_list)
            else:
                self.set_case(key_list, defaults)
        wall = time.monotonic() - start
        shutil.rmtree(self.work, ignore_errors=True)
        print(f"{sum(self.counts.values())} inputs in {wall:.0f} s: " +
              ", ".join(f"{k} {v}" for k, v in sorted(self.counts.items())) +
              f"; {len(self.findings)} findings", flush=True)
        return 1 if self.findings else 0


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--cli", required=True, help="kalvor-cli, best built with sanitizers")
    p.add_argument("--seconds", type=float, default=120, help="how long to fuzz")
    p.add_argument("--target", choices=("file", "set", "all"), default="all")
    p.add_argument("--timeout", type=float, default=60, help="a run longer than this is a hang")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--found", default="fuzz-found", help="folder for the findings")
    return Fuzzer(p.parse_args()).run()


if __name__ == "__main__":
    sys.exit(main())
