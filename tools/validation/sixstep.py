"""Section 5: the six-step field turns with the rotor, and no commutation spikes.

Held-rotor test: the rotor is held at +100 rad/s (J = 1000) while six-step control commands a
synchronous field (omegaU = 200 rad/s) for 0.08 s. A field turning with the rotor gives a
steady torque whose mean depends strongly on the initial angle; a field turning against it a
torque swinging by tens of N m around a mean that hardly depends on it.

Spikes: after the first millisecond every line voltage stays within the DC-link voltage
Ud - Ru IU plus a margin, for the sound inverter, a broken T1 and a shorted T1.
"""

import numpy as np

import kalvor

HELD = {"motor.J": 1000.0, "time.OmegaR": 100.0, "control.ControlMethod": 1,
        "control.Ud": 400.0, "control.Kt": 10000.0, "control.SpeedPath": "0*188*",
        "control.Kp": 1.1363636, "control.Ki": 0.0, "time.Te": 0.08}
FAULTS = {"sound": [0] * 6, "T1 broken": [2, 0, 0, 0, 0, 0], "T1 shorted": [1, 0, 0, 0, 0, 0]}


def held_rotor(beta0_deg):
    r = kalvor.run(**HELD, **{"time.BetaR": beta0_deg})
    steady = r.t >= 0.02
    te = r["Te"][steady]
    return {"beta0": beta0_deg, "mean": float(te.mean()), "std": float(te.std()),
            "omega_u": float(r["omegaU"][-1]), "t": r.t, "te": r["Te"]}


def line_voltages(codes):
    r = kalvor.run(**{"failures.FailT": codes})
    p = r.params
    after = r.t > 0.001
    udc = p["control.Ud"] - p["control.Ru"] * r["IU"][after]
    lines = np.abs(r.table[after, 26:29])
    excess = lines.max(axis=1) - udc
    k = int(np.argmax(excess))
    return {"worst_line": float(lines.max()), "udc_there": float(udc[k]),
            "excess": float(excess[k]), "t": r.t[after], "uab": r["Uab"][after], "udc": udc}
