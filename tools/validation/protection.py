"""Sections 9 and 10: what the drive does after a protection trip.

Both hold the rotor at a constant speed (a large inertia) behind a DC link charged to Ud and
trip the protection with the first step (an overvoltage threshold of 1 V below the link's
voltage), so the safe state holds from the second step on.

Section 9, every gate off: the bridge is a diode rectifier. Its diodes conduct only when the
line back-EMF's peak exceeds the link voltage; the threshold speed is Ud over the peak of
d(Psi_a - Psi_b)/dbeta from the tables. The off-resistances of the devices are raised to
10 kohm here, so that their leakage (Ud / Roff) does not hide the first conduction.

Section 10, active short circuit: the three lower transistors close the winding's star through
one on-resistance per phase. In the dq frame the steady state is
    0 = R i_d - w Lq i_q,   0 = R i_q + w Ld i_d + w psi_m,
so |i| = w psi_m sqrt(R^2 + (w Lq)^2) / (R^2 + w^2 Ld Lq), which for Ld = Lq = L is
w psi_m / |R + j w L| (w the electrical speed, R the phase's winding plus one on-resistance).
"""

import math

import numpy as np

import kalvor
from emf import fundamental
from machine import PI, POLE_PAIRS, Machine

SETTLE = 0.08  # the electrical transient (L/R about 12 ms) has decayed [s]
GENERATOR_FACTORS = (0.8, 0.9, 0.97, 1.03, 1.1, 1.25)
SHORT_SPEEDS = (50.0, 100.0, 150.0, 200.0)  # the initial speed accepts up to 200


def period(speed):
    """One electrical period at the rotor speed [s]."""
    return 2 * PI / (POLE_PAIRS * speed)


def held(speed, safe_state, **extra):
    """The run, and the rows of its last electrical period."""
    p = kalvor.Params()
    p.update({"motor.J": 1000.0, "time.OmegaR": speed, "time.Uc0": p["control.Ud"],
              "time.Te": SETTLE + period(speed), "protection.Uovp": 1.0,
              "protection.SafeState": safe_state})
    p.update(extra)
    r = kalvor.run(p)
    return r, r.t >= r.t[-1] - period(speed)


def line_emf_peak_constant(machine):
    """Peak of the line back-EMF per rad/s of rotor speed from the tables [V s/rad]."""
    beta = np.linspace(0, PI, 7201)[:-1]
    dpsi = machine.phase_pm_dflux(beta)
    return float(np.max(np.abs(dpsi[:, 0] - dpsi[:, 1])))


def generator_point(speed, roff):
    r, rows = held(speed, 0, **{"motor.RoffT": roff, "motor.RoffD": roff})
    diode = float(np.max(np.abs(r.table[rows, 16:22])))
    return {"speed": speed, "diode": diode, "charging": float(-np.mean(r["IDC"][rows])),
            "uab": float(np.max(np.abs(r["Uab"][rows]))), "trip": r.trips[0]["kind"]}


def uncontrolled_generator(roff=10000.0):
    p = kalvor.Params()
    machine = Machine(p["motor.NhInd"], p["motor.NhFlux"])
    ud = p["control.Ud"]
    constant = line_emf_peak_constant(machine)
    threshold = ud / constant
    leakage = ud / roff
    points = [generator_point(f * threshold, roff) for f in GENERATOR_FACTORS]
    # Measured threshold: the lowest speed at which a diode carries more than twice its
    # off-state leakage, by bisection between the two points around the computed one.
    conducts = lambda point: point["diode"] > 2 * leakage  # noqa: E731
    low, high = 0.97 * threshold, 1.03 * threshold
    assert not conducts(points[2]) and conducts(points[3])
    while high - low > 0.05:
        middle = 0.5 * (low + high)
        if conducts(generator_point(middle, roff)):
            high = middle
        else:
            low = middle
    return {"constant": constant, "threshold": threshold, "measured": 0.5 * (low + high),
            "resolution": high - low, "ud": ud, "roff": roff, "leakage": leakage,
            "points": points}


def short_circuit_point(speed, machine, dq):
    r, rows = held(speed, 1)
    p = r.params
    w = POLE_PAIRS * speed
    resistance = machine.phase_r[0] + p["motor.RonT"]
    ld, lq, psi = dq["Ld"], dq["Lq"], dq["psi_m"]
    formula = w * psi * math.hypot(resistance, w * lq) / (resistance ** 2 + w * w * ld * lq)
    simple = w * psi / abs(complex(resistance, w * 0.5 * (ld + lq)))
    # The fundamental in the electrical angle: the flux density's harmonics add their own
    # short-circuit currents, which the dq model of the fundamental does not hold.
    simulated = fundamental(r["Ia"][rows], r["betaR"][rows])
    peak = float(np.max(np.abs(r.table[rows, 1:4])))
    # The braking torque the short circuit develops: the copper loss over the speed.
    torque = float(np.mean(r["Te"][rows]))
    return {"speed": speed, "simulated": simulated, "peak": peak, "formula": formula,
            "simple": simple,
            "error": abs(simulated - formula) / formula, "torque": torque,
            "torque_loss": -1.5 * resistance * formula ** 2 / speed,
            "upper": float(np.max(np.abs(r.table[rows, 10:13]))),
            "t": r.t[rows], "ia": r["Ia"][rows]}


def active_short_circuit():
    p = kalvor.Params()
    machine = Machine(p["motor.NhInd"], p["motor.NhFlux"])
    dq = machine.dq_parameters()
    return {"dq": dq, "r": float(machine.phase_r[0] + p["motor.RonT"]),
            "points": [short_circuit_point(s, machine, dq) for s in SHORT_SPEEDS]}
