"""Section 3: the generator into the diode bridge with its RC load against the textbook.

The rotor is held at a constant speed by a large inertia. The textbook mean DC voltage of a
six-pulse diode bridge fed through a commutation inductance Lc from a sinusoidal EMF of line
amplitude E is V = (3/pi) E - (3/pi) w Lc I - 2 (R + Ron) I, with I = V / Rl at the load:
E from the magnet flux linkage of the tables, Lc = (Ld + Lq) / 2, R the phase resistance.
"""

import math

import numpy as np

import kalvor
from machine import POLE_PAIRS, Machine

SPEED = 150.0  # rotor speed [rad/s]
TE = 0.2  # run length [s]: the RC load has settled (Rl Cl = 10 ms)


def params(roff_d):
    p = kalvor.Params()
    p.update({"control.Condition": 2, "motor.J": 1000.0, "motor.RoffD": roff_d,
              "time.OmegaR": SPEED, "time.Te": TE})
    return p


def textbook(p, machine):
    dq = machine.dq_parameters()
    w_e = POLE_PAIRS * SPEED
    e_line = math.sqrt(3) * dq["psi_m"] * w_e
    lc = 0.5 * (dq["Ld"] + dq["Lq"])
    drop = 3 / math.pi * w_e * lc + 2 * (machine.phase_r[0] + p["motor.RonD"])
    v0 = 3 / math.pi * e_line
    v = v0 / (1 + drop / p["control.RlRC"])
    current = v / p["control.RlRC"]
    overlap = math.acos(1 - 2 * w_e * lc * current / e_line)
    return {"E": e_line, "Lc": lc, "V0": v0, "V": v, "overlap_deg": math.degrees(overlap)}


def compare(roff_d):
    p = params(roff_d)
    r = kalvor.run(p)
    machine = Machine(p["motor.NhInd"], p["motor.NhFlux"])
    book = textbook(p, machine)
    # The load voltage is Rl times the source-branch current (no source in this condition).
    v_dc = -p["control.RlRC"] * r["IU"]
    period = 2 * math.pi / (POLE_PAIRS * SPEED) / 6  # one pulse of the six-pulse bridge
    pulses = int((r.t[-1] - 0.1) / period)
    last = r.t > r.t[-1] - pulses * period
    mean = float(np.mean(v_dc[last]))
    return {"roff_d": roff_d, "V_kalvor": mean, "error": abs(mean - book["V"]) / book["V"],
            **book, "t": r.t, "v_dc": v_dc}
