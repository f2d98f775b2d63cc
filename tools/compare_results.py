#!/usr/bin/python3
"""Compares two result tables written by `kalvor-cli run --csv` column by column.

Usage: tools/compare_results.py REFERENCE.csv OTHER.csv [--tolerance 1e-10]

For every column it prints whether the two are bit-identical and otherwise the largest
difference, absolute and as a share of the column's largest magnitude in the reference.
Exit status 0 when every column agrees within the tolerance (share of its largest
magnitude), 1 when one does not or the tables differ in shape or labels.
"""
import argparse
import csv
import math
import sys

PHASE_VOLTAGES = ("Ua [V]", "Ub [V]", "Uc [V]")


def read_table(path):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    if not rows:
        sys.exit(f"{path}: empty file")
    return rows[0], rows[1:]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("reference")
    parser.add_argument("other")
    parser.add_argument("--tolerance", type=float, default=1e-10)
    args = parser.parse_args()

    labels, ref = read_table(args.reference)
    other_labels, other = read_table(args.other)
    if labels != other_labels or len(ref) != len(other):
        print(f"shape differs: {len(ref)} rows {labels[:3]}... against "
              f"{len(other)} rows {other_labels[:3]}...")
        return 1

    failed = False
    identical = 0
    print(f"{'column':<18} {'largest |ref|':>14} {'largest diff':>14} {'share':>10}  row")
    for c, label in enumerate(labels):
        # The text of "%.17g" identifies the double, so equal text is equal bits.
        if all(r[c] == o[c] for r, o in zip(ref, other)):
            identical += 1
            print(f"{label:<18} bit-identical")
            continue
        scale_cols = [labels.index(x) for x in PHASE_VOLTAGES] if label.startswith("VX") else [c]
        largest = max(abs(float(r[s])) for r in ref for s in scale_cols)
        diff, where = 0.0, -1
        for i, (r, o) in enumerate(zip(ref, other)):
            d = abs(float(r[c]) - float(o[c]))
            if math.isnan(d) or d > diff:
                diff, where = (math.inf if math.isnan(d) else d), i
        share = diff / largest if largest > 0 else math.inf
        bad = not share <= args.tolerance
        failed = failed or bad
        print(f"{label:<18} {largest:14.6g} {diff:14.6g} {share:10.3g}  {where}"
              f"{'  EXCEEDS' if bad else ''}")
    print(f"{identical} of {len(labels)} columns bit-identical; "
          f"{'all within' if not failed else 'NOT all within'} {args.tolerance:g}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
