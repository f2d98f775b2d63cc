"""python3 -m kalvor sweep CASES.json [--scheduler ADDRESS] [--out results.csv]

CASES.json is an object with
  "base":    parameter-file groups ({"control": {"T": -0.5}}) or the name of a parameter file
             (relative to CASES.json); optional, the defaults otherwise;
  "cases":   a list of override objects, or an object of lists whose product gives the cases;
  "metrics": names of built-in metrics.
"""

import argparse
import io
import json
import os
import sys

from . import METRICS, ParameterError, Params, sweep
from ._files import destination_problem, read_json, write_atomic
from ._sweep import summary


def load_spec(path):
    """(base Params, cases, metric names) from a sweep file; ValueError naming what is wrong."""
    sweep_file = read_json(path)
    if not isinstance(sweep_file, dict):
        raise ValueError(f"{path}: must be an object with base, cases and metrics.")
    unknown = set(sweep_file) - {"base", "cases", "metrics"}
    if unknown:
        raise ValueError(f"{path}: unknown key {sorted(unknown)[0]!r}; "
                         "the keys are base, cases and metrics.")
    base = sweep_file.get("base", {})
    if isinstance(base, str):
        params = Params.load(os.path.join(os.path.dirname(os.path.abspath(path)), base))
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
    if isinstance(cases, list) and not all(isinstance(c, dict) for c in cases):
        raise ValueError(f"{path}: every case must be an object of overrides.")
    metrics = sweep_file.get("metrics", list(METRICS))
    if isinstance(metrics, str):
        metrics = [metrics]
    if not isinstance(metrics, list) or not all(isinstance(m, str) for m in metrics):
        raise ValueError(f"{path}: metrics must be a list of names of built-in metrics "
                         f"({', '.join(METRICS)}).")
    unknown = [m for m in metrics if m not in METRICS]
    if unknown:
        raise ValueError(f"{path}: unknown metric {unknown[0]!r}; the built-in metrics are "
                         f"{', '.join(METRICS)}.")
    return params, cases, metrics


def main(argv=None):
    try:
        return _main(argv)
    except KeyboardInterrupt:
        if sys.stderr.isatty():
            sys.stderr.write("\n")  # leave the progress bar's line
        print("Interrupted: the sweep was stopped and nothing written.", file=sys.stderr)
        return 130


def _main(argv):
    parser = argparse.ArgumentParser(prog="python3 -m kalvor",
                                     description="Parameter sweeps of Kalvor on Dask.")
    commands = parser.add_subparsers(dest="command", required=True)
    sw = commands.add_parser("sweep", help="run the cases of a JSON file",
                             description=__doc__,
                             formatter_class=argparse.RawDescriptionHelpFormatter)
    sw.add_argument("cases", metavar="CASES.json")
    sw.add_argument("--scheduler", metavar="ADDRESS",
                    help="a Dask scheduler (tcp://host:8786); a local cluster when omitted")
    sw.add_argument("--out", metavar="FILE", help="CSV file; standard output when omitted")
    sw.add_argument("--quiet", action="store_true", help="no progress bar")
    args = parser.parse_args(argv)

    try:
        params, cases, metrics = load_spec(args.cases)
    except (ValueError, ParameterError) as error:
        print(error, file=sys.stderr)
        return 2
    if args.out and destination_problem(args.out):
        print(destination_problem(args.out), file=sys.stderr)
        return 2
    client = None
    if args.scheduler:
        from distributed import Client

        try:
            client = Client(args.scheduler, timeout="10s")
        except OSError as error:
            print(f"--scheduler {args.scheduler}: cannot connect ({error}).", file=sys.stderr)
            return 2
    try:
        frame = sweep(params, cases, metrics, client=client,
                      progress=not args.quiet and sys.stderr.isatty())
    finally:
        if client is not None:
            client.close()
    text = io.StringIO()
    frame.to_csv(text, index=False)
    if args.out:
        try:
            write_atomic(args.out, text.getvalue())
        except OSError as error:
            print(error, file=sys.stderr)  # names the file and the reason
            return 2
    else:
        sys.stdout.write(text.getvalue())
    print(f"{len(frame)} cases: {summary(frame)}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
