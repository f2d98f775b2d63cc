"""Mutation fuzzer of `python3 -m kalvor dataset` and `sweep`: mutated CASES.json files, and
existing files as a dataset's --out (a non-dataset HDF5 file, a damaged dataset, text) or as a
part file of a resumed run.

    PYTHONPATH=build/python /usr/bin/python3 tools/fuzz/fuzz_cases.py --seconds 300

The cases run on one LocalCluster the driver starts (--scheduler), so that an input costs an
interpreter's start, not a cluster's. A finding is a traceback, an exit status other than 0
or 2, a refusal without a message, a run longer than --timeout, files left beside the output
after a refusal, or an existing --out that a refusal changed."""

import argparse
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mutate import mutate  # noqa: E402

SHORT = {"time": {"Te": 0.002}}
SEEDS = [
    {"base": SHORT, "cases": [{"control.Ud": 150}, {"protection.Itrip": 5}]},
    {"base": SHORT, "cases": {"foc.CurrentBandwidth": [2000, 4000], "control.Scheme": [0, 1]},
     "metrics": ["final_speed", "trip_kind"]},
    {"base": {"time": {"Te": 0.002, "Exact": True}, "protection": {"Uovp": 250}},
     "cases": [{"failures.FailT": [1, 0, 0, 0, 0, 0], "failures.Onset": 0.001}],
     "metrics": "peak_current"},
    {"base": SHORT, "cases": [{"Ud": 100}, {"time.Te": 0.001}]},
]


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Fuzzer:
    def __init__(self, args, scheduler):
        self.args, self.scheduler = args, scheduler
        self.rng = random.Random(args.seed)
        self.counts, self.findings = {}, []
        os.makedirs(args.found, exist_ok=True)

    def command(self, kind, cases, out, *extra):
        argv = [sys.executable, "-m", "kalvor", kind, cases, "--quiet", "--out", out]
        if self.scheduler:
            argv += ["--scheduler", self.scheduler]
        return argv + list(extra)

    def execute(self, name, argv, folder, data, existing=None):
        """Runs argv in folder; existing is (path, digest) of an --out that must survive a
        refusal unchanged."""
        self.counts[name] = self.counts.get(name, 0) + 1
        before = set(os.listdir(folder))
        try:
            proc = subprocess.run(argv, capture_output=True, cwd=folder,
                                  timeout=self.args.timeout)
        except subprocess.TimeoutExpired:
            return self.record(name, argv, data, "hang", "")
        err = proc.stderr.decode("utf-8", "replace")
        why = None
        if proc.returncode not in (0, 2):
            why = f"exit status {proc.returncode}"
        elif "Traceback" in err:
            why = "traceback"
        elif proc.returncode == 2 and not err.strip():
            why = "refused without a message"
        elif proc.returncode == 2:
            left = set(os.listdir(folder)) - before
            if left:
                why = f"files left after a refusal: {sorted(left)}"
            elif existing and digest(existing[0]) != existing[1]:
                why = "the existing output was changed by a refusal"
        elif proc.returncode == 0 and argv[3] == "dataset":
            left = [p for p in os.listdir(folder) if p.endswith(".parts") or p.startswith(".")]
            if left:
                why = f"files left after a finished dataset: {left}"
        if why:
            self.record(name, argv, data, why, err)
        return proc.returncode

    def record(self, name, argv, data, why, err):
        stem = os.path.join(self.args.found, f"{name}-{len(self.findings):03d}")
        with open(stem + ".input", "wb") as f:
            f.write(data)
        with open(stem + ".txt", "w") as f:
            f.write(f"{why}\n{' '.join(argv)}\n\n{err[-20000:]}")
        self.findings.append((name, why))
        print(f"FOUND {name}: {why} ({stem})", flush=True)

    def cases_case(self):
        folder = tempfile.mkdtemp(prefix="kalvor-fuzz-cases-")
        try:
            seed = json.dumps(self.rng.choice(SEEDS), indent=1).encode()
            data = mutate(seed, self.rng)
            path = os.path.join(folder, "cases.json")
            with open(path, "wb") as f:
                f.write(data)
            kind = self.rng.choice(["dataset", "sweep"])
            out = "d.h5" if kind == "dataset" else "s.csv"
            self.execute(kind, self.command(kind, "cases.json", out), folder, data)
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def out_case(self, dataset_file):
        """An existing --out: damaged copies of a finished dataset, other HDF5 files, text."""
        import h5py

        folder = tempfile.mkdtemp(prefix="kalvor-fuzz-out-")
        try:
            with open(os.path.join(folder, "cases.json"), "w") as f:
                json.dump(SEEDS[0], f)
            out = os.path.join(folder, "d.h5")
            choice = self.rng.randrange(4)
            if choice == 0:  # bytes of a finished dataset, mutated
                with open(dataset_file, "rb") as f:
                    data = mutate(f.read(), self.rng)
                with open(out, "wb") as f:
                    f.write(data)
            elif choice == 1:  # the dataset with an attribute or group damaged
                shutil.copy(dataset_file, out)
                with h5py.File(out, "r+") as f:
                    target = self.rng.choice(["format", "identity", "complete", "column_labels",
                                              "case_count", "cases", "table", "attr-cases"])
                    if target in f:
                        del f[target]
                    elif target == "attr-cases":
                        f.attrs["cases"] = "[{\"x\": 1}"
                    elif target in f.attrs:
                        if self.rng.random() < 0.5:
                            del f.attrs[target]
                        else:
                            f.attrs[target] = self.rng.choice(["", "{", "[]", 7, "\xff"])
                with open(out, "rb") as f:
                    data = f.read()
            elif choice == 2:  # HDF5 that is no dataset
                with h5py.File(out, "w") as f:
                    f.create_dataset("x", data=[1, 2, 3])
                    if self.rng.random() < 0.5:
                        f.attrs["format"] = "kalvor-dataset"
                with open(out, "rb") as f:
                    data = f.read()
            else:
                data = self.rng.choice([b"", b"not hdf5\n", b"\x89HDF\r\n\x1a\n" + b"\0" * 100])
                with open(out, "wb") as f:
                    f.write(data)
            self.execute("dataset-out", self.command("dataset", "cases.json", "d.h5"), folder,
                         data, (out, digest(out)))
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def part_case(self, dataset_file):
        """A resumed run's part file, damaged: a finished dataset holds what a part holds (the
        identity, the column labels and the cases), so a copy of it stands for one."""
        import h5py

        folder = tempfile.mkdtemp(prefix="kalvor-fuzz-part-")
        try:
            with open(os.path.join(folder, "cases.json"), "w") as f:
                json.dump(SEEDS[0], f)
            os.mkdir(os.path.join(folder, "d.h5.parts"))
            part = os.path.join(folder, "d.h5.parts", "part-000000-0123abcd.h5")
            if self.rng.random() < 0.5:
                with open(dataset_file, "rb") as f:
                    data = mutate(f.read(), self.rng)
                with open(part, "wb") as f:
                    f.write(data)
            else:
                shutil.copy(dataset_file, part)
                with h5py.File(part, "r+") as f:
                    target = self.rng.choice(["cases", "column_labels", "identity", "case-name"])
                    if target == "cases":
                        del f["cases"]
                    elif target == "case-name":
                        f.move("cases/000000", "cases/first")
                    elif self.rng.random() < 0.5:
                        del f.attrs[target]
                    else:
                        f.attrs[target] = self.rng.choice(["", "{", "[]", 7])
                with open(part, "rb") as f:
                    data = f.read()
            self.execute("dataset-part", self.command("dataset", "cases.json", "d.h5"), folder,
                         data)
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def reference_dataset(self, folder):
        with open(os.path.join(folder, "cases.json"), "w") as f:
            json.dump(SEEDS[0], f)
        subprocess.run(self.command("dataset", "cases.json", "d.h5"), cwd=folder, check=True,
                       capture_output=True)
        return os.path.join(folder, "d.h5")

    def run(self):
        keep = tempfile.mkdtemp(prefix="kalvor-fuzz-ref-")
        dataset_file = self.reference_dataset(keep)
        start = time.monotonic()
        while time.monotonic() < start + self.args.seconds:
            draw = self.rng.random()
            if draw < self.args.out_share * 0.7:
                self.out_case(dataset_file)
            elif draw < self.args.out_share:
                self.part_case(dataset_file)
            else:
                self.cases_case()
        wall = time.monotonic() - start
        print(f"{sum(self.counts.values())} inputs in {wall:.0f} s: " +
              ", ".join(f"{k} {v}" for k, v in sorted(self.counts.items())) +
              f"; {len(self.findings)} findings", flush=True)
        shutil.rmtree(keep, ignore_errors=True)
        return 1 if self.findings else 0


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--seconds", type=float, default=120)
    p.add_argument("--timeout", type=float, default=120)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--out-share", type=float, default=0.3,
                   help="share of the inputs that are existing output or part files")
    p.add_argument("--found", default="fuzz-found")
    args = p.parse_args()
    from distributed import Client, LocalCluster

    with LocalCluster(n_workers=1, threads_per_worker=1, processes=True,
                      dashboard_address=":0") as cluster, Client(cluster):
        return Fuzzer(args, cluster.scheduler_address).run()


if __name__ == "__main__":
    sys.exit(main())
