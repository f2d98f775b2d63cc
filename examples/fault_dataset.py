"""A fault dataset of the inverter-fed drive under both control schemes: every transistor and
diode shorted or broken, plus the healthy drive, at three load torques; one row of metrics per
case.

Usage:
    PYTHONPATH=build/python /usr/bin/python3 examples/fault_dataset.py \
        [--scheduler tcp://HOST:8786] [--out fault_dataset.csv] [--figure fault_dataset.png]

The drive ramps to 100 rad/s from a charged DC link; the fault sets in after the ramp has ended.
The scalar drive (control.Scheme 0) keeps its onset of 0.16 s, where it still swings around its
reference: that is how this scheme behaves. The field-oriented drive (control.Scheme 1) has
settled by its onset of 0.2 s, and the script checks that it has: its healthy speed over the
20 ms before the onset stays within 1 % of the path. Without --scheduler the cases run on a
local Dask cluster, one worker per core.
"""

import argparse
import io
import sys

import numpy as np

import kalvor
from kalvor._files import destination_problem, write_atomic

LOADS = [0.0, -0.5, -1.0]  # external torque T [N m] (negative: a load)
SPEED = 100.0  # the default speed path's speed [rad/s]
SCHEMES = {0: "scalar U/f", 1: "field oriented"}
ONSET = {0: 0.16, 1: 0.2}  # fault onset per scheme [s], after the ramp (about 0.143 s)
AFTER = 0.09  # the run goes on this long after the onset [s]
BEFORE = 0.02  # window before the onset in which a settled drive holds its speed [s]
SETTLED = 0.01  # a settled drive stays within this share of the path's speed
TAIL = 0.05  # window of the steady speed at the end [s]
DEVICES = [f"T{k}" for k in range(1, 7)] + [f"D{k}" for k in range(1, 7)]
KINDS = {1: "short", 2: "open"}


def base_params():
    """The defaults with a charged DC link."""
    p = kalvor.Params()
    p["time.Uc0"] = p["control.Ud"]
    return p


def cases():
    """(scheme, device, kind, overrides) for the healthy drive and every device in every
    failure kind, under both schemes."""
    out = []
    for scheme, onset in ONSET.items():
        timing = {"control.Scheme": scheme, "failures.Onset": onset, "time.Te": onset + AFTER}
        for load in LOADS:
            out.append((scheme, "healthy", "healthy", {**timing, "control.T": load}))
            for device in DEVICES:
                for code, kind in KINDS.items():
                    codes = [0] * 6
                    codes[int(device[1]) - 1] = code
                    key = "failures.FailT" if device[0] == "T" else "failures.FailD"
                    out.append((scheme, device, kind, {**timing, "control.T": load, key: codes}))
    return out


class FaultMetrics:
    """Device currents and speed around the onset (a class, so that Dask can pickle it)."""

    def __call__(self, r):
        onset = r.params["failures.Onset"]
        t, omega = r.t, r["omegaR"]
        after = t >= onset
        before = (t >= onset - BEFORE) & (t < onset)
        return {
            "peak_device_current": float(np.max(np.abs(r.table[after, 10:22]))),
            "speed_at_onset": float(np.interp(onset, t, omega)),
            "largest_offset_before": float(np.max(np.abs(omega[before] - SPEED))),
            "min_speed_after": float(np.min(omega[after])),
            "final_speed": float(omega[-1]),
            "mean_torque": kalvor.METRICS["mean_torque"](r),
            "rms_current": kalvor.METRICS["rms_current"](r),
        }


def check_settled(frame):
    """Whether each scheme's healthy drive held its speed before the onset; prints it."""
    settled = {}
    for scheme, name in SCHEMES.items():
        healthy = frame[(frame["control.Scheme"] == scheme) & (frame["device"] == "healthy")]
        worst = float(healthy["largest_offset_before"].max())
        settled[scheme] = worst <= SETTLED * SPEED
        print(f"{name}: healthy speed within {worst:.2f} rad/s of {SPEED:g} rad/s over the "
              f"{BEFORE * 1e3:g} ms before the onset at {ONSET[scheme]:g} s: "
              f"{'settled' if settled[scheme] else 'not settled'}", file=sys.stderr)
    return settled


def figure(frame, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(2, 2, figsize=(15, 7), sharex=True, sharey="row")
    labels = ["healthy"] + [f"{d} {k}" for d in DEVICES for k in KINDS.values()]
    x = np.arange(len(labels))
    width = 0.8 / len(LOADS)
    for col, (scheme, name) in enumerate(SCHEMES.items()):
        of_scheme = frame[frame["control.Scheme"] == scheme]
        for i, load in enumerate(LOADS):
            rows = of_scheme[of_scheme["control.T"] == load].set_index("case").reindex(labels)
            offset = (i - (len(LOADS) - 1) / 2) * width
            axes[0, col].bar(x + offset, rows["peak_device_current"], width,
                             label=f"T = {load:g} N m")
            axes[1, col].bar(x + offset, rows["speed_dip"], width, label=f"T = {load:g} N m")
        axes[0, col].set_title(f"{name}: fault at {ONSET[scheme]:g} s")
        axes[1, col].set_xticks(x, labels, rotation=60, ha="right")
    axes[0, 0].set_yscale("log")
    axes[0, 0].set_ylabel("peak device current [A]")
    axes[1, 0].set_ylabel("speed dip [rad/s]")
    axes[0, 0].legend(loc="upper left", ncols=3)
    for ax in axes.flat:
        ax.grid(axis="y", alpha=0.3)
    fig.suptitle("Inverter faults at 100 rad/s: peak device current and speed dip per case")
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

    listed = cases()
    client = None
    if args.scheduler:
        from distributed import Client

        client = Client(args.scheduler)
    frame = kalvor.sweep(base_params(), [c for *_, c in listed], FaultMetrics(), client=client)
    if client is not None:
        client.close()
    frame.insert(0, "scheme", [SCHEMES[s] for s, *_ in listed])
    frame.insert(1, "device", [d for _, d, _, _ in listed])
    frame.insert(2, "kind", [k for _, _, k, _ in listed])
    frame.insert(3, "case", [d if d == "healthy" else f"{d} {k}" for _, d, k, _ in listed])
    frame["speed_dip"] = frame["speed_at_onset"] - frame["min_speed_after"]
    settled = check_settled(frame)
    columns = ["scheme", "device", "kind", "control.T", "failures.Onset", "status", "message",
               "peak_device_current", "speed_dip", "speed_at_onset", "final_speed",
               "mean_torque", "rms_current"]
    text = io.StringIO()
    frame[columns].to_csv(text, index=False)
    write_atomic(args.out, text.getvalue())
    figure(frame, args.figure)
    print(f"{len(frame)} cases ({kalvor._sweep.summary(frame)}): {args.out}, {args.figure}",
          file=sys.stderr)
    if not settled[1]:
        sys.exit("the field-oriented drive had not settled at its onset")

if __name__ == "__main__":
    main()
