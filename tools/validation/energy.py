"""Section 1: the energy balance of a run, from its result columns and the exported tables.

Every column that is a difference quotient of charges (IU, IC and the device currents) is the
step's mean current; the stator currents and the speed are the values at the rows, so their
step means are the means of two rows. Device resistances are not in the table: each device's
state is recovered from the circuit (a transistor and its diode share their voltage, and the
two device pairs of a leg share the DC-link voltage), choosing among the documented values.
"""

import itertools

import numpy as np

from machine import PI

# Columns
IU, IC, IT1, ID1, OMEGA, BETA = 7, 8, 10, 16, 22, 25
LEGS = ((0, 3), (1, 4), (2, 5))  # (upper, lower) device numbers of legs a, b, c


def circuit(p):
    """Source-branch resistance, DC-side capacitance, DC source voltage and the candidate
    resistances of the transistors and the diodes in the run's condition of work."""
    c = p["control.Condition"]
    ron_t, roff_t, ron_d, roff_d = (p[f"motor.{k}"] for k in ("RonT", "RoffT", "RonD", "RoffD"))
    if c == 0:
        return p["control.Ru"], p["control.Cu"], p["control.Ud"], (ron_t, roff_t), (ron_d, roff_d)
    if c == 1:
        return 1e-4, 1.0, 0.0, (1e-4,), (1e-4,)
    if c == 2:
        return p["control.RlRC"], p["control.Cl"], 0.0, (10000.0,), (ron_d, roff_d)
    r = 4 * p["control.RlR"]
    return 1e-4, 1.0, 0.0, (r,), (r,)


def device_resistances(table, p):
    """Per step (rows 1..) and device (T1..T6, D1..D6) the resistance the circuit shows."""
    r0, _, ud, cand_t, cand_d = circuit(p)
    it = table[1:, IT1:IT1 + 6]
    idd = table[1:, ID1:ID1 + 6]
    udc = ud - r0 * table[1:, IU]
    out = np.empty((len(it), 12))
    combos = list(itertools.product(cand_t, cand_d, cand_t, cand_d))
    scale = np.abs(udc) + 1.0
    for up, lo in LEGS:
        errors = []
        for rtu, rdu, rtl, rdl in combos:
            e = (np.abs(rtu * it[:, up] + rdu * idd[:, up])
                 + np.abs(rtl * it[:, lo] + rdl * idd[:, lo])
                 + np.abs(rtu * it[:, up] + rtl * it[:, lo] - udc)) / scale
            errors.append(e)
        best = np.argmin(np.array(errors), axis=0)
        chosen = np.array(combos)[best]
        out[:, up], out[:, 6 + up], out[:, lo], out[:, 6 + lo] = chosen.T
    return out


def supply_voltages(t, p):
    """The sine supply's phase voltages (condition index 1, speed control off) [V]."""
    w = 2 * PI * p["control.F"] * t
    phi = p["control.Phi"] * 2 * 3.1416 / 360
    shift = 0.6666666666666666 * PI
    return p["control.Umax"] * np.stack(
        [np.sin(w - phi), np.sin(w + shift - phi), np.sin(w - shift - phi)], axis=-1)


def mean2(x):
    return 0.5 * (x[1:] + x[:-1])


def balance(r, machine, start=0.0):
    """Cumulative energies [J] per row from the first row at or after ``start`` [s], and the
    relative residual of the balance.

    Returns a dict of arrays (length rows, starting at 0): the inputs ``dc_source``,
    ``supply``, ``drive`` (work of the external torque; negative when it loads), and
    ``source_r``, ``devices``, ``copper``, ``damping``, ``capacitor``, ``magnetic``,
    ``kinetic``; ``residual`` = inputs - the rest; and the scalar ``relative`` = the final
    residual over the final inputs.
    """
    p = r.params
    table = r.table
    t = table[:, 0]
    dt = np.diff(t)
    r0, cap, ud, _, _ = circuit(p)
    i_abc = table[:, 1:4]
    i_mean = mean2(i_abc)
    omega = table[:, OMEGA]
    w_mean = mean2(omega)

    def cumulative(power):
        return np.concatenate([[0.0], np.cumsum(power * dt)])

    dev_r = device_resistances(table, p)
    dev_i = table[1:, IT1:IT1 + 12]
    terms = {
        "dc_source": cumulative(ud * table[1:, IU]),
        "supply": np.zeros(len(t)),
        "drive": cumulative(p["control.T"] * w_mean),
        "source_r": cumulative(r0 * table[1:, IU] ** 2),
        "devices": cumulative((dev_r * dev_i ** 2).sum(axis=1)),
        "copper": cumulative((machine.phase_r * i_mean ** 2).sum(axis=1)),
        "damping": cumulative(p["motor.D"] * w_mean ** 2),
    }
    if p["control.Condition"] == 1:
        u = mean2(supply_voltages(t, p))
        terms["supply"] = cumulative((u * i_mean).sum(axis=1))
    q0 = cap * initial_capacitor_voltage(p) + cumulative(table[1:, IC])
    terms["capacitor"] = 0.5 * q0 ** 2 / cap - 0.5 * q0[0] ** 2 / cap
    w_mag = machine.magnetic_energy(table[:, BETA], i_abc)
    terms["magnetic"] = w_mag - w_mag[0]
    terms["kinetic"] = 0.5 * p["motor.J"] * (omega ** 2 - omega[0] ** 2)
    k0 = int(np.searchsorted(t, t[0] + start - 1e-12)) if start > 0 else 0
    terms = {k: v[k0:] - v[k0] for k, v in terms.items()}
    terms["t"] = t[k0:]
    inputs = terms["dc_source"] + terms["supply"] + terms["drive"]
    used = sum(terms[k] for k in ("source_r", "devices", "copper", "damping", "capacitor",
                                  "magnetic", "kinetic"))
    terms["inputs"] = inputs
    terms["rows"] = len(t) - k0
    terms["residual"] = inputs - used
    scale = max(abs(inputs[-1]), np.max(np.abs(inputs)))
    terms["relative"] = float(abs(terms["residual"][-1]) / scale)
    return terms


def initial_capacitor_voltage(p):
    """The DC-side capacitor's voltage at the start: time.Uc0 where the build has it (the
    inverter and the rectifier), otherwise empty."""
    if p["control.Condition"] not in (0, 2):
        return 0.0
    return p.to_dict()["time"].get("Uc0", 0.0)
