"""python3 -m kalvor sweep CASES.json [--scheduler ADDRESS] [--out results.csv]
python3 -m kalvor dataset CASES.json --out FILE.h5 [--scheduler ADDRESS]

CASES.json is an object with
  "base":    parameter-file groups ({"control": {"T": -0.5}}) or the name of a parameter file
             (relative to CASES.json); optional, the defaults otherwise;
  "cases":   a list of override objects, or an object of lists whose product gives the cases;
  "metrics": names of built-in metrics (a sweep: all when omitted; a dataset: none).
"""

import argparse
import io
import json
import os
import sys

from . import METRICS, DatasetError, ParameterError, Params, dataset, sweep
from ._dataset import DTYPES, summary_line
from ._files import destination_problem, read_json, write_atomic
from ._sweep import MAX_CASES, case_count, summary


def load_spec(path, default_metrics=tuple(METRICS)):
    """(base Params, cases, metric names, the base parameter file's path or None) from a sweep
    file; ValueError naming what is wrong."""
    sweep_file = read_json(path)
    if not isinstance(sweep_file, dict):
        raise ValueError(f"{path}: must be an object with base, cases and metrics.")
    unknown = set(sweep_file) - {"base", "cases", "metrics"}
    if unknown:
        raise ValueError(f"{path}: unknown key {sorted(unknown)[0]!r}; "
                         "the keys are base, cases and metrics.")
    base = sweep_file.get("base", {})
    base_path = None
    if isinstance(base, str):
        base_path = os.path.join(os.path.dirname(os.path.abspath(path)), base)
        params = Params.load(base_path)
    elif isinstance(base, dict):
        params = Params.from_text(json.dumps(base), f"{path}: base")
    else:
        raise ValueError(f"{path}: base must be parameter-file groups or a file name.")
    cases = sweep_file.get("cases")
    if not isinstance(cases, (list, dict)) or not cases:
        raise ValueError(f"{path}: cases must be a list of override objects or an object of "
                         "lists of values.")
    if isinstance(cases, dict) and not all(isinstance(v, list) for v in cases.values()):
        raise ValueError(f"{path}: every entry of the cases object must be a list of values.")
    if isinstance(cases, dict) and not all(cases.values()):
        empty = next(k for k, v in cases.items() if not v)
        raise ValueError(f"{path}: the list of {empty!r} in cases is empty, so there is no case "
                         "to run; give it at least one value.")
    if isinstance(cases, list) and not all(isinstance(c, dict) for c in cases):
        raise ValueError(f"{path}: every case must be an object of overrides.")
    if case_count(cases) > MAX_CASES:
        raise ValueError(f"{path}: cases name {case_count(cases)} cases, more than the "
                         f"{MAX_CASES} a sweep or dataset takes; split them into several files.")
    metrics = sweep_file.get("metrics", list(default_metrics))
    if isinstance(metrics, str):
        metrics = [metrics]
    if not isinstance(metrics, list) or not all(isinstance(m, str) for m in metrics):
        raise ValueError(f"{path}: metrics must be a list of names of built-in metrics "
                         f"({', '.join(METRICS)}).")
    unknown = [m for m in metrics if m not in METRICS]
    if unknown:
        raise ValueError(f"{path}: unknown metric {unknown[0]!r}; the built-in metrics are "
                         f"{', '.join(METRICS)}.")
    return params, cases, metrics, base_path


def same_file(first, second):
    """True when two names lead to one file, existing or to be created."""
    if os.path.exists(first) and os.path.exists(second):
        return os.path.samefile(first, second)
    return os.path.realpath(first) == os.path.realpath(second)


def connect(address):
    """A Client of the scheduler at address; ValueError with a message when it cannot be."""
    from distributed import Client

    try:
        return Client(address, timeout="10s")
    except OSError as error:
        raise ValueError(f"--scheduler {address}: cannot connect ({error}).") from None


def parser():
    top = argparse.ArgumentParser(prog="python3 -m kalvor",
                                  description="Parameter sweeps and datasets of Kalvor on Dask.")
    commands = top.add_subparsers(dest="command", required=True)
    sw = commands.add_parser("sweep", help="run the cases of a JSON file, one row of metrics each",
                             description=__doc__,
                             formatter_class=argparse.RawDescriptionHelpFormatter)
    sw.add_argument("cases", metavar="CASES.json")
    sw.add_argument("--scheduler", metavar="ADDRESS",
                    help="a Dask scheduler (tcp://host:8786); a local cluster when omitted")
    sw.add_argument("--out", metavar="FILE", help="CSV file; standard output when omitted")
    sw.add_argument("--batch", type=int, metavar="N", help="cases per Dask task")
    sw.add_argument("--quiet", action="store_true", help="no progress bar")
    ds = commands.add_parser("dataset", help="run the cases of a JSON file into an HDF5 dataset",
                             description=__doc__,
                             formatter_class=argparse.RawDescriptionHelpFormatter)
    ds.add_argument("cases", metavar="CASES.json")
    ds.add_argument("--out", metavar="FILE.h5", required=True,
                    help="the HDF5 file; an interrupted run of the same command resumes it")
    ds.add_argument("--scheduler", metavar="ADDRESS",
                    help="a Dask scheduler (tcp://host:8786); a local cluster when omitted")
    ds.add_argument("--columns", metavar="NAMES",
                    help="comma-separated result columns (default t,ia,ib,ic,Uab,Ubc,IDC,"
                         "omegaR,Te and the dq signals of a field-oriented run)")
    ds.add_argument("--every", type=int, default=1, metavar="N", help="keep every N-th row")
    ds.add_argument("--dtype", choices=DTYPES, default="float64", help="type of the arrays")
    ds.add_argument("--batch", type=int, metavar="N", help="cases per Dask task")
    ds.add_argument("--quiet", action="store_true", help="no progress bar")
    return top


def run_sweep(args, params, cases, metrics, client):
    frame = sweep(params, cases, metrics, client=client, batch=args.batch,
                  progress=not args.quiet and sys.stderr.isatty())
    text = io.StringIO()
    frame.to_csv(text, index=False)
    if args.out:
        try:
            write_atomic(args.out, text.getvalue())
        except OSError as error:
            raise ValueError(str(error)) from None  # names the file and the reason
    else:
        sys.stdout.write(text.getvalue())
    print(f"{len(frame)} cases: {summary(frame)}", file=sys.stderr)


def run_dataset(args, params, cases, metrics, client):
    columns = None
    if args.columns is not None:
        columns = [c.strip() for c in args.columns.split(",") if c.strip()]
    frame = dataset(params, cases, args.out, columns=columns, every=args.every, client=client,
                    batch=args.batch, metrics=metrics or None, dtype=args.dtype,
                    progress=not args.quiet and sys.stderr.isatty())
    print(summary_line(frame, args.out), file=sys.stderr)


def main(argv=None):
    args = None
    try:
        args = parser().parse_args(argv)
        return _main(args)
    except KeyboardInterrupt:
        if sys.stderr.isatty():
            sys.stderr.write("\n")  # leave the progress bar's line
        if args is not None and args.command == "dataset":
            print(f"Interrupted: the finished cases are kept in {args.out}; the same command "
                  "resumes.", file=sys.stderr)
        else:
            print("Interrupted: the sweep was stopped and nothing written.", file=sys.stderr)
        return 130


def _main(args):
    try:
        params, cases, metrics, base_path = load_spec(
            args.cases, () if args.command == "dataset" else tuple(METRICS))
        if args.out and destination_problem(args.out):  # before a long run is wasted
            raise ValueError(destination_problem(args.out))
        if args.out and same_file(args.out, args.cases):
            raise ValueError(f"--out {args.out} is the cases file {args.cases}: the results "
                             "would replace it; write them to another file.")
        if args.out and base_path and same_file(args.out, base_path):
            raise ValueError(f"--out {args.out} is the base parameter file {base_path}: the "
                             "results would replace it; write them to another file.")
        client = connect(args.scheduler) if args.scheduler else None
    except (ValueError, ParameterError) as error:
        print(error, file=sys.stderr)
        return 2
    run = run_dataset if args.command == "dataset" else run_sweep
    try:
        run(args, params, cases, metrics, client)
    except (ValueError, ParameterError, DatasetError, RuntimeError) as error:
        print(error, file=sys.stderr)
        return 2
    finally:
        if client is not None:
            client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
