"""Section 7: convergence with the step, in the default mode and with exact switching instants.

Each run is compared with a reference of the same mode at 1/32 of its output interval. The
reference's step is chosen so that its output points are exactly 32 per output interval of the
run and it stores every 32nd: its rows fall on the run's rows, no interpolation is needed.
(The row count is trunc((te - ts) / h) and the interval (te - ts) / (rows - 1), so h / 32
itself would not give a nested grid.)
"""

import math
import time

import numpy as np

import energy
from machine import Machine

import kalvor

STEPS = (2e-5, 1e-5, 5e-6, 2.5e-6, 1.25e-6)
DEFAULT_STEP = 5e-6
SETTLE = 0.001  # the energy balance starts after the capacitor's first charge [s]

# name: overrides, end time [s], windows {label: (from, to)} [s]
CASES = {
    "inverter (defaults)": ({}, 0.2, {"start": (0.001, 0.05), "at speed": (0.15, 0.2)}),
    "short set mid-run": ({"failures.FailT": [1, 0, 0, 0, 0, 0], "failures.Onset": 0.0501234},
                          0.1, {"after the short": (0.05, 0.1)}),
    "sine supply": ({"control.Condition": 1}, 0.1, {"whole run": (0.0, 0.1)}),
}


def timed_run(overrides, repeats=1):
    """The run and its least processor time over the repeats: the machine's load (other
    processes) hardly enters it, as wall time would."""
    best = math.inf
    for _ in range(repeats):
        start = time.process_time()
        r = kalvor.run(**overrides)
        best = min(best, time.process_time() - start)
    return r, best


def reference_overrides(te, h):
    """A step of about h / 32 whose output points nest 32 to an interval of the run at h."""
    rows = math.trunc(te / h)
    fine = 32 * (rows - 1) + 1
    return {"time.H": te / (fine + 0.5), "time.Every": 32}


def rms_error(run, ref, column, window):
    t = run.t
    sel = (t >= window[0]) & (t <= window[1])
    diff = run[column][sel] - ref[column][sel]
    return float(np.sqrt(np.mean(diff ** 2)) / np.sqrt(np.mean(ref[column][sel] ** 2)))


def study(name, exact, steps=STEPS, cases=CASES):
    """Per step: the relative rms errors of ia and omegaR in every window, the energy
    balance's residual from the columns and, in exact mode, the engine ledger's, and the
    processor time per simulated second."""
    overrides, te, windows = cases[name]
    machine = None
    out = []
    for h in steps:
        base = {**overrides, "time.Te": te, "time.Exact": exact}
        run, wall = timed_run({**base, "time.H": h}, repeats=3)
        ref, _ = timed_run({**base, **reference_overrides(te, h)})
        assert len(ref.t) == len(run.t), (name, h)
        # A halved step of the default mode sums its times differently: rows match by index.
        assert np.allclose(ref.t, run.t, rtol=0, atol=1e-3 * h), (name, h)
        if machine is None:
            machine = Machine(run.params["motor.NhInd"], run.params["motor.NhFlux"])
        row = {"h": h, "cost": wall / te, "residual": energy.balance(run, machine,
                                                                    start=SETTLE)["relative"],
               "ledger": run.energy["relative_residual"] if run.energy else None}
        for label, window in windows.items():
            row[f"ia {label}"] = rms_error(run, ref, "Ia", window)
            row[f"omegaR {label}"] = rms_error(run, ref, "omegaR", window)
        out.append(row)
    return out


def fitted_order(rows, key):
    """Least-squares slope of log(error) over log(step)."""
    h = np.log([r["h"] for r in rows])
    e = np.log([max(r[key], 1e-300) for r in rows])
    return float(np.polyfit(h, e, 1)[0])


def shoot_through_peaks(exact, steps=(5e-6, 2.5e-6, 1.25e-6)):
    """The first peak of the current through the shorted T1 after a short set mid-run: the
    largest |IT1| within the carrier period (200 us) after the first row above 100 A; in exact
    mode also the instantaneous peak of T1's current (the run ends before a second one)."""
    out = []
    for h in steps:
        r = kalvor.run(**{"failures.FailT": [1, 0, 0, 0, 0, 0], "failures.Onset": 0.0101234,
                          "time.Te": 0.0104, "time.H": h, "time.Exact": exact})
        it1 = np.abs(r["IT1"])
        after = np.nonzero((r.t >= 0.0101234) & (it1 > 100.0))[0]
        first = after[0]
        within = (r.t >= r.t[first]) & (r.t <= r.t[first] + 2e-4)
        row = {"h": h, "peak": float(it1[within].max()),
               "t": float(r.t[within][np.argmax(it1[within])])}
        if r.device_peaks:
            row["instant"], row["instant_t"] = r.device_peaks["T1"]
        out.append(row)
    return out
