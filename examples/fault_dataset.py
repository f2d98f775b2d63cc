#!/usr/bin/python3
"""A fault dataset of the inverter-fed drive: every transistor and diode shorted or broken,
plus the healthy drive, at three load torques; the waveforms of every case in one HDF5 file,
a CSV of metrics per case and a figure.

Usage:
    PYTHONPATH=build/python /usr/bin/python3 examples/fault_dataset.py [--scheme 0|1] \
        [--scheduler tcp://HOST:8786] [--out fault_dataset.h5] [--csv fault_dataset.csv] \
        [--figure fault_dataset.png]

--scheme 1 runs the drive under field-oriented control (control.Scheme 1) instead of the
scalar speed control; its onset is chosen from its own healthy drive in the same way.

The drive ramps to 100 rad/s from a charged DC link. The onset of the faults is chosen from
the healthy drive: once its speed has stayed within SETTLED of the reference at every load,
rounded up to 10 ms; every case then runs POST seconds beyond it. The dataset is written as the
cases finish: an interrupted run resumes when started again with the same arguments. Without
--scheduler the cases run on a local Dask cluster, one worker per core.
"""

import argparse
import io
import math
import sys

import numpy as np

import kalvor
from kalvor._files import destination_problem, write_atomic

LOADS = [0.0, -0.5, -1.0]  # external torque T [N m] (negative: a load)
SETTLED = 1.0  # largest speed error of a settled drive [rad/s]
PROBE = 0.8  # length of the healthy runs the onset is chosen from [s]
POST = 0.1  # run after the onset [s]
EVERY = 10  # stored rows: every 10th, 20 kHz with the default step of 5 us
DEVICES = [f"T{k}" for k in range(1, 7)] + [f"D{k}" for k in range(1, 7)]
KINDS = {1: "short", 2: "open"}
POLE_PAIRS = 2  # four magnets


def drive(scheme=0):
    """The defaults with a charged DC link, under the given control scheme."""
    p = kalvor.Params()
    p["time.Uc0"] = p["control.Ud"]
    p["control.Scheme"] = scheme
    return p


def settling_time(p, reference):
    """When the healthy drive's speed last left reference +- SETTLED within PROBE seconds, at
    the worst of the loads [s]; ValueError when it has not settled by then."""
    worst = 0.0
    for load in LOADS:
        r = kalvor.run(p, **{"time.Te": PROBE, "control.T": load})
        away = np.flatnonzero(np.abs(r["omegaR"] - reference) > SETTLED)
        if len(away) and away[-1] >= len(r.t) - 1 - int(0.05 / (r.t[1] - r.t[0])):
            raise ValueError(f"the healthy drive at T = {load} N m has not settled within "
                             f"{PROBE} s")
        worst = max(worst, float(r.t[away[-1] + 1]) if len(away) else 0.0)
    return worst


def base_params(scheme=0):
    """The drive with the onset after it has settled, and the run's end."""
    p = drive(scheme)
    reference = float(p["control.SpeedPath"].strip(" *").split("*")[-1])
    onset = math.ceil(settling_time(p, reference) * 100 + 1e-9) / 100
    p["failures.Onset"] = onset
    p["time.Te"] = onset + POST
    return p, onset, reference


def cases():
    """Overrides of the healthy drive and of every device in every failure kind, per load."""
    out = []
    for load in LOADS:
        out.append({"control.T": load})
        for device in DEVICES:
            for code in KINDS:
                codes = [0] * 6
                codes[int(device[1]) - 1] = code
                key = "failures.FailT" if device[0] == "T" else "failures.FailD"
                out.append({"control.T": load, key: codes})
    return out


class FaultMetrics:
    """Device currents and speed around the onset (a class, so that Dask can pickle it)."""

    def __init__(self, onset):
        self.onset = onset

    def __call__(self, r):
        t, omega = r.t, r["omegaR"]
        after = t >= self.onset
        return {
            "peak_device_current": float(np.max(np.abs(r.table[after, 10:22]))),
            "speed_at_onset": float(np.interp(self.onset, t, omega)),
            "min_speed_after": float(np.min(omega[after])),
            "final_speed": float(omega[-1]),
            "mean_torque": kalvor.METRICS["mean_torque"](r),
            "rms_current": kalvor.METRICS["rms_current"](r),
        }


def case_names(frame):
    """healthy, or device and kind ("T1 open")."""
    return [f if f == "healthy" else f"{d} {f}" for f, d in zip(frame["fault"], frame["device"])]


def space_vector(group, start, span):
    """The current space vector (i_alpha, i_beta) of a stored case over [start, start + span]
    [A]: the amplitude-invariant Clarke transform of ia, ib, ic."""
    t = group["t"][()]
    rows = (t >= start) & (t <= start + span)
    ia, ib, ic = (group[name][()][rows].astype(float) for name in ("ia", "ib", "ic"))
    return (2 * ia - ib - ic) / 3, (ib - ic) / math.sqrt(3)


def draw_bars(axes, frame):
    labels = ["healthy"] + [f"{d} {k}" for d in DEVICES for k in KINDS.values()]
    x = np.arange(len(labels))
    width = 0.8 / len(LOADS)
    for i, load in enumerate(LOADS):
        rows = frame[frame["control.T"] == load].set_index("name").reindex(labels)
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


def draw_trajectories(axes, path, frame, onset, span):
    """i_alpha against i_beta over the electrical period after the onset at the heaviest load:
    the healthy drive's circle and the half-plane each open transistor cuts from it."""
    import h5py

    rows = frame[frame["control.T"] == LOADS[-1]].set_index("name")
    shown = ["healthy"] + [f"T{k} open" for k in range(1, 7)]
    with h5py.File(path, "r") as f:
        for ax, name in zip(axes, shown):
            alpha, beta = space_vector(f[f"cases/{int(rows.loc[name, 'case']):06d}"], onset, span)
            ax.plot(alpha, beta, lw=0.8, color="tab:blue" if name == "healthy" else "tab:red")
            ax.set_title(name, fontsize=10)
            ax.set_aspect("equal", adjustable="datalim")
            ax.grid(alpha=0.3)
            ax.tick_params(labelsize=7)
    axes[4].set_xlabel("i$_\\alpha$ [A]")
    axes[4].set_ylabel("i$_\\beta$ [A]")
    for ax in axes[len(shown):]:
        ax.axis("off")


def figure(frame, path, dataset, onset):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig = plt.figure(figsize=(18, 7.5))
    grid = fig.add_gridspec(2, 2, width_ratios=[1.45, 1])
    left = [fig.add_subplot(grid[0, 0])]
    left.append(fig.add_subplot(grid[1, 0], sharex=left[0]))
    draw_bars(left, frame)
    left[0].tick_params(labelbottom=False)
    right = grid[:, 1].subgridspec(2, 4, hspace=0.3)
    axes = [fig.add_subplot(right[k // 4, k % 4]) for k in range(8)]
    speed = float(frame.loc[frame["name"] == "healthy", "speed_at_onset"].mean())
    span = 2 * math.pi / (POLE_PAIRS * speed)
    draw_trajectories(axes, dataset, frame, onset, span)
    fig.text(0.79, 0.97, f"Current space vector over the first electrical period after the "
             f"onset ({onset:g} s), T = {LOADS[-1]:g} N m", ha="center", va="top", fontsize=11)
    fig.tight_layout(rect=(0, 0, 1, 0.95))
    buffer = io.BytesIO()
    fig.savefig(buffer, format="png", dpi=100)
    write_atomic(path, buffer.getvalue())


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--scheme", type=int, choices=(0, 1), default=0,
                        help="control scheme: 0 scalar U/f, 1 field oriented")
    parser.add_argument("--scheduler", help="address of a Dask scheduler")
    parser.add_argument("--out", default="fault_dataset.h5", help="the HDF5 dataset")
    parser.add_argument("--csv", default="fault_dataset.csv", help="the metrics per case")
    parser.add_argument("--figure", default="fault_dataset.png")
    args = parser.parse_args(argv)
    for path in (args.out, args.csv, args.figure):
        if destination_problem(path):
            sys.exit(destination_problem(path))

    base, onset, reference = base_params(args.scheme)
    client = None
    if args.scheduler:
        from distributed import Client

        client = Client(args.scheduler)
    try:
        kalvor.dataset(base, cases(), args.out, every=EVERY, dtype="float32",
                       metrics=FaultMetrics(onset), client=client)
    finally:
        if client is not None:
            client.close()
    frame = kalvor.read_table(args.out)  # read back from the file
    frame["name"] = case_names(frame)
    frame["speed_dip"] = frame["speed_at_onset"] - frame["min_speed_after"]
    unsettled = frame[abs(frame["speed_at_onset"] - reference) > SETTLED]
    if len(unsettled):
        sys.exit(f"{len(unsettled)} cases were not settled at the onset {onset} s")
    columns = ["name", "load", "status", "message", "speed_at_onset", "peak_device_current",
               "speed_dip", "final_speed", "mean_torque", "rms_current"]
    text = io.StringIO()
    frame[columns].to_csv(text, index=False)
    write_atomic(args.csv, text.getvalue())
    figure(frame, args.figure, args.out, onset)
    counts = ", ".join(f"{n} {s}" for s, n in frame["status"].value_counts().items())
    print(f"{len(frame)} cases ({counts}); onset {onset} s, speed at the onset "
          f"{frame['speed_at_onset'].min():.2f} to {frame['speed_at_onset'].max():.2f} rad/s: "
          f"{args.out}, {args.csv}, {args.figure}", file=sys.stderr)


if __name__ == "__main__":
    main()
