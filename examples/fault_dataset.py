#!/usr/bin/python3
"""A fault dataset of the inverter-fed drive: every transistor and diode shorted or broken,
plus the healthy drive, at three load torques; one row of metrics per case.

Usage:
    PYTHONPATH=build/python /usr/bin/python3 examples/fault_dataset.py \
        [--scheduler tcp://HOST:8786] [--out fault_dataset.csv] [--figure fault_dataset.png]

The drive ramps to 100 rad/s; the fault sets in at ONSET after the ramp has ended, from a
charged DC link. (A build without fault onset or initial capacitor voltage applies the faults
from the start and reports the speed dip against the healthy drive's speed instead.)
Without --scheduler the cases run on a local Dask cluster, one worker per core.
"""

import argparse
import io
import sys

import numpy as np

import kalvor
from kalvor._files import destination_problem, write_atomic

LOADS = [0.0, -0.5, -1.0]  # external torque T [N m] (negative: a load)
TE = 0.25  # end of each run [s]
ONSET = 0.16  # fault onset [s], after the ramp reaches 100 rad/s (about 0.143 s)
TAIL = 0.05  # window of the steady speed at the end [s]
DEVICES = [f"T{k}" for k in range(1, 7)] + [f"D{k}" for k in range(1, 7)]
KINDS = {1: "short", 2: "open"}


def base_params():
    """The defaults with the run's time, a charged DC link and the fault onset when known."""
    p = kalvor.Params()
    p["time.Te"] = TE
    groups = p.to_dict()
    onset = 0.0
    if "Onset" in groups["failures"]:
        p["failures.Onset"] = ONSET
        onset = ONSET
    if "Uc0" in groups["time"]:
        p["time.Uc0"] = p["control.Ud"]
    return p, onset


def cases():
    """(label, overrides) for the healthy drive and every device in every failure kind."""
    out = []
    for load in LOADS:
        out.append(("healthy", "healthy", {"control.T": load}))
        for device in DEVICES:
            for code, kind in KINDS.items():
                codes = [0] * 6
                codes[int(device[1]) - 1] = code
                key = "failures.FailT" if device[0] == "T" else "failures.FailD"
                out.append((device, kind, {"control.T": load, key: codes}))
    return out


class FaultMetrics:
    """Device currents and speed around the onset (a class, so that Dask can pickle it)."""

    def __init__(self, onset):
        self.onset = onset

    def __call__(self, r):
        t, omega = r.t, r["omegaR"]
        after = t >= self.onset + (0.001 if self.onset == 0 else 0)
        tail = t >= t[-1] - TAIL
        at_onset = float(np.interp(self.onset, t, omega))
        return {
            "peak_device_current": float(np.max(np.abs(r.table[after, 10:22]))),
            "speed_at_onset": at_onset,
            "min_speed_after": float(np.min(omega[after if self.onset > 0 else tail])),
            "final_speed": float(omega[-1]),
            "mean_torque": kalvor.METRICS["mean_torque"](r),
            "rms_current": kalvor.METRICS["rms_current"](r),
        }


def speed_dip(frame, onset):
    """Speed lost to the fault [rad/s]."""
    if onset > 0:
        return frame["speed_at_onset"] - frame["min_speed_after"]
    healthy = frame[frame["device"] == "healthy"].set_index("control.T")["final_speed"]
    return frame["control.T"].map(healthy) - frame["min_speed_after"]


def figure(frame, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(2, 1, figsize=(11, 7), sharex=True)
    labels = ["healthy"] + [f"{d} {k}" for d in DEVICES for k in KINDS.values()]
    x = np.arange(len(labels))
    width = 0.8 / len(LOADS)
    for i, load in enumerate(LOADS):
        rows = frame[frame["control.T"] == load].set_index("case").reindex(labels)
        offset = (i - (len(LOADS) - 1) / 2) * width
        axes[0].bar(x + offset, rows["peak_device_current"], width, label=f"T = {load:g} N m")
        axes[1].bar(x + offset, rows["speed_dip"], width, label=f"T = {load:g} N m")
    axes[0].set_yscale("log")
    axes[0].set_ylabel("peak device current [A]")
    axes[1].set_ylabel("speed dip [rad/s]")
    axes[1].set_xticks(x, labels, rotation=60, ha="right")
    axes[0].legend(loc="upper left", ncols=3)
    for ax in axes:
        ax.grid(axis="y", alpha=0.3)
    axes[0].set_title("Inverter faults: peak device current and speed dip per case")
    fig.tight_layout()
    buffer = io.BytesIO()
    fig.savefig(buffer, format="png", dpi=100)
    write_atomic(path, buffer.getvalue())


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--scheduler", help="address of a Dask scheduler")
    parser.add_argument("--out", default="fault_dataset.csv")
    parser.add_argument("--figure", default="fault_dataset.png")
    args = parser.parse_args(argv)
    for path in (args.out, args.figure):
        if destination_problem(path):
            sys.exit(destination_problem(path))

    base, onset = base_params()
    listed = cases()
    client = None
    if args.scheduler:
        from distributed import Client

        client = Client(args.scheduler)
    frame = kalvor.sweep(base, [c for _, _, c in listed], FaultMetrics(onset), client=client)
    if client is not None:
        client.close()
    frame.insert(0, "device", [d for d, _, _ in listed])
    frame.insert(1, "kind", [k for _, k, _ in listed])
    frame.insert(2, "case", [d if d == "healthy" else f"{d} {k}" for d, k, _ in listed])
    frame["speed_dip"] = speed_dip(frame, onset)
    columns = ["device", "kind", "control.T", "status", "message", "peak_device_current",
               "speed_dip", "final_speed", "mean_torque", "rms_current"]
    text = io.StringIO()
    frame[columns].to_csv(text, index=False)
    write_atomic(args.out, text.getvalue())
    figure(frame, args.figure)
    print(f"{len(frame)} cases ({kalvor._sweep.summary(frame)}), onset {onset} s: "
          f"{args.out}, {args.figure}", file=sys.stderr)


if __name__ == "__main__":
    main()
