"""Built-in metrics of a run: each takes a Result and gives one number (trip_kind a text)."""

import math

import numpy as np

from . import _kalvor

# The rotor carries four magnets: two pole pairs.
POLE_PAIRS = 2
# Window of the steady-state averages at the end of a run [s].
TAIL = 0.02
# The DC-link dip is taken after the capacitor's first charge [s].
SETTLE = 0.001


def _tail(r, span=TAIL):
    """Rows of the last span seconds (at least two rows)."""
    t = r.t
    first = int(np.searchsorted(t, t[-1] - span, side="left"))
    return slice(min(first, len(t) - 2), len(t))


def final_speed(r):
    """Rotor speed at the last row [rad/s]."""
    return float(r["omegaR"][-1])


def mean_torque(r):
    """Mean electromagnetic torque over the last 20 ms [N m]."""
    return float(np.mean(r["Te"][_tail(r)]))


def peak_current(r):
    """Largest magnitude of the three phase currents over the run [A]."""
    return float(np.max(np.abs(r.table[:, 1:4])))


def rms_current(r):
    """RMS of the three phase currents over the last 20 ms [A]."""
    return float(np.sqrt(np.mean(r.table[_tail(r), 1:4] ** 2)))


def peak_device_current(r):
    """Largest magnitude of the transistor and diode currents IT1..ID6 over the run [A]."""
    return float(np.max(np.abs(r.table[1:, 10:22])))


def dc_dip(r):
    """Largest fall of the DC-link voltage Ud - Ru IU below Ud after the first millisecond [V];
    NaN outside condition index 0 (no DC link)."""
    p = r.params
    if p["control.Condition"] != 0:
        return math.nan
    rows = r.t >= r.t[0] + SETTLE
    if not rows.any():
        return math.nan
    ru = p["control.Ru"]
    return float(max(0.0, np.max(ru * r["IU"][rows])))


def thd_ia(r):
    """THD of ia over the last whole electrical period, by the program's DFT (harmonic 1 is
    the fundamental only over one period); the period from the final rotor speed. NaN when
    the rotor stands or the run is shorter than a period."""
    omega = abs(final_speed(r)) * POLE_PAIRS
    if omega == 0:
        return math.nan
    period = 2 * math.pi / omega
    t = r.t
    n = int(round(period / (t[-1] - t[-2])))
    if n < 2 or n > len(t) - 1:
        return math.nan
    return float(_kalvor.dft(r["Ia"][-n:], 1)[1])


def trip_time(r):
    """Time of the protection's trip [s]; NaN when nothing tripped."""
    trips = r.trips
    return float(trips[0]["t"]) if trips else math.nan


def trip_kind(r):
    """What tripped the protection ("overcurrent", "desaturation" or "overvoltage"); an empty
    text when nothing tripped."""
    trips = r.trips
    return trips[0]["kind"] if trips else ""


METRICS = {
    "final_speed": final_speed,
    "mean_torque": mean_torque,
    "peak_current": peak_current,
    "rms_current": rms_current,
    "peak_device_current": peak_device_current,
    "dc_dip": dc_dip,
    "thd_ia": thd_ia,
    "trip_time": trip_time,
    "trip_kind": trip_kind,
}


def resolve(metrics):
    """A callable Result -> dict from a callable, a metric name or a list of names."""
    if callable(metrics):
        return metrics
    names = [metrics] if isinstance(metrics, str) else list(metrics)
    unknown = [n for n in names if n not in METRICS]
    if unknown:
        raise ValueError(
            f"unknown metric {unknown[0]!r}; the built-in metrics are {', '.join(METRICS)}"
        )
    return _Named(tuple(names))


class _Named:
    """The built-in metrics of the given names (a class, so that Dask can pickle it)."""

    def __init__(self, names):
        self.names = names

    def __call__(self, r):
        return {n: METRICS[n](r) for n in self.names}
