"""Section 4: the back-EMF constant at three speeds against the tables.

The generator runs into a 1-kilohm R load with the rotor held at a constant speed. The small
winding drop is taken off the line voltage with the tables' inductances and the winding
resistance (Ua is the difference quotient of the phase flux linkage plus Ra Ia), and the rest
is fitted with the fundamental of the electrical angle 2 betaR; the table's constant is the
same fit of d(Psi_a - Psi_b)/dbeta over a period.
"""

import numpy as np

import kalvor
from machine import PI, POLE_PAIRS, Machine

SPEEDS = (50.0, 100.0, 150.0)


def fundamental(y, beta):
    """Amplitude of the fundamental of y in the electrical angle (least squares)."""
    basis = np.stack([np.cos(POLE_PAIRS * beta), np.sin(POLE_PAIRS * beta)], axis=1)
    coef, *_ = np.linalg.lstsq(basis, y, rcond=None)
    return float(np.hypot(*coef))


def table_constant(machine):
    """Line back-EMF amplitude per rad/s of rotor speed from the tables [V s/rad]."""
    beta = np.linspace(0, PI, 3601)[:-1]
    dpsi = machine.phase_pm_dflux(beta)
    return fundamental(dpsi[:, 0] - dpsi[:, 1], beta)


def compare(speed):
    p = kalvor.Params()
    p.update({"control.Condition": 3, "control.RlR": 1000.0, "motor.J": 1000.0,
              "time.OmegaR": speed, "time.Te": 0.08})
    r = kalvor.run(p)
    machine = Machine(p["motor.NhInd"], p["motor.NhFlux"])
    expected = table_constant(machine)
    # Whole electrical periods after the first millisecond.
    period = 2 * PI / (POLE_PAIRS * speed)
    start = 0.001
    end = start + int((r.t[-1] - start) / period) * period
    rows = (r.t >= start) & (r.t <= end)
    # The winding's own drop: R i at the row and the difference quotient of L(beta) i.
    i_abc = r.table[:, 1:4]
    li = np.array([machine.phase_l(b) @ i for b, i in zip(r["betaR"], i_abc)])
    drop = machine.phase_r * i_abc
    drop[1:] += np.diff(li, axis=0) / np.diff(r.t)[:, None]
    e_ab = r["Uab"] - (drop[:, 0] - drop[:, 1])
    # A row's voltage is the difference quotient over the step before it: its angle is the
    # step's mean angle.
    beta = 0.5 * (r["betaR"][1:] + r["betaR"][:-1])
    measured = fundamental(e_ab[1:][rows[1:]], beta[rows[1:]]) / speed
    return {"speed": speed, "ke_kalvor": measured, "ke_tables": expected,
            "error": abs(measured - expected) / expected,
            "drop": float(np.max(np.abs(r["Uab"] - e_ab)[rows])),
            "t": r.t[rows], "uab": r["Uab"][rows]}
