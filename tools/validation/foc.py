"""Section 7: field-oriented control against its design and the dq model of the tables.

The current loop's step response (rotor held by a large inertia, iq* stepping to 1 A) against
the first-order design of bandwidth wc after one carrier period; the torque per ampere of a
loaded drive against the dq model of machine.py (independent of the controller's own model);
the speed held under a load torque.
"""

import numpy as np

import kalvor
from machine import POLE_PAIRS, Machine

CHARGED = {"control.Scheme": 1, "time.Uc0": 200.0}


def step_response():
    """iq after a step of iq* to 1 A: the 63 % time and the largest deviation from
    1 - exp(-wc (t - Tc)) over the first five time constants."""
    p = kalvor.Params()
    wc, tc = p["foc.CurrentBandwidth"], 1 / p["control.FT"]
    r = kalvor.run(**CHARGED, **{"motor.J": 1000.0, "control.Kt": 10000.0,
                                 "control.SpeedPath": "0*10*", "foc.Imax": 1.0,
                                 "time.Te": 0.008})
    t, iq, iq_ref = r.t, r["iq"], r["iq*"]
    step = float(iq_ref[-1])
    t63 = float(t[np.argmax(iq >= 0.632 * step)])
    design = np.where(t > tc, 1 - np.exp(-(t - tc) * wc), 0.0) * step
    window = t <= tc + 5 / wc
    return {"wc": wc, "tc": tc, "t63": t63, "design_t63": 1 / wc + tc,
            "deviation": float(np.max(np.abs(iq[window] - design[window])) / step),
            "id_largest": float(np.max(np.abs(r["id"])) / step),
            "t": t, "iq": iq, "id": r["id"], "iq_ref": iq_ref, "design": design}


def torque_per_ampere(nh_ind, mtpa, load=-2.0):
    """Mean torque and the dq model's torque of the measured currents over the last 50 ms of
    a drive held at 60 rad/s under a load."""
    r = kalvor.run(**CHARGED, **{"motor.NhInd": nh_ind, "foc.Mtpa": mtpa, "control.T": load,
                                 "control.SpeedPath": "0*60*", "time.Te": 0.4})
    machine = Machine(nh_ind, r.params["motor.NhFlux"])
    dq = machine.dq_parameters()
    ldq = machine.ldq
    i_d, i_q = r["id"], r["iq"]
    psi_d = ldq[0, 0] * i_d + ldq[0, 1] * i_q + dq["psi_m"]
    psi_q = ldq[1, 0] * i_d + ldq[1, 1] * i_q
    model = 1.5 * POLE_PAIRS * (psi_d * i_q - psi_q * i_d)
    tail = r.t >= r.t[-1] - 0.05
    # Column Te of row k + 1 is the torque of row k's state (one step per row).
    te = r["Te"][1:][tail[:-1]]
    te_dq = model[:-1][tail[:-1]]
    current = np.hypot(i_d, i_q)[:-1][tail[:-1]]
    return {"nh_ind": nh_ind, "mtpa": mtpa, "id": float(i_d[tail].mean()),
            "iq": float(i_q[tail].mean()), "te": float(te.mean()), "te_dq": float(te_dq.mean()),
            "per_ampere": float(te.mean() / current.mean()),
            "error": float(abs(te.mean() - te_dq.mean()) / abs(te_dq.mean()))}


def speed_hold(load=-2.0, speed=60.0):
    """Speed error under a constant load torque after the ramp."""
    r = kalvor.run(**CHARGED, **{"control.T": load, "control.SpeedPath": f"0*{speed:g}*",
                                 "time.Te": 0.5})
    tail = r.t >= r.t[-1] - 0.05
    omega = r["omegaR"]
    return {"load": load, "speed": speed, "error": float(omega[tail].mean() - speed),
            "ripple": float(np.ptp(omega[tail])), "t": r.t, "omega": omega,
            "ramp": r["omegaR**"], "iq": r["iq"]}
