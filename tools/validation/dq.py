"""Section 2: the sine-supply steady state against a dq model built from the tables.

The rotor is held near synchronous speed by a large inertia, so its initial angle sets the load
angle. The dq model (Ld, Lq, psi_m and the d-axis position from machine.py, the phase resistance
of the winding) is integrated by scipy from the same initial state, the speed and angle included.
"""

import math

import numpy as np
from scipy.integrate import solve_ivp

import kalvor
from machine import PI, POLE_PAIRS, Machine

SYNC = 2 * PI * 50 / POLE_PAIRS  # synchronous speed at 50 Hz [rad/s]
TE = 0.2  # run length [s]: the electrical transient has decayed


def params(beta0_deg, nh_ind):
    p = kalvor.Params()
    p.update({"control.Condition": 1, "motor.J": 1000.0, "motor.NhInd": nh_ind,
              "time.OmegaR": SYNC, "time.BetaR": beta0_deg, "time.Te": TE})
    return p


def dq_model(p, machine, t_eval):
    """Phase currents (rows of t_eval) and torque of the dq model."""
    dq = machine.dq_parameters()
    psi_m = dq["psi_m"]
    ldq = machine.ldq
    inverse = np.linalg.inv(ldq)
    r = machine.phase_r[0]
    j, d, load = p["motor.J"], p["motor.D"], p["control.T"]

    umax, w_supply = p["control.Umax"], 2 * PI * p["control.F"]
    phi = p["control.Phi"] * 2 * 3.1416 / 360
    shift = 0.6666666666666666 * PI
    seq = machine.sequence * 2 * math.pi / 3

    def rhs(t, x):
        i_d, i_q, omega, beta = x
        # Park transform of the supply voltages (the same transform as machine.park).
        w = w_supply * t
        u = (umax * math.sin(w - phi), umax * math.sin(w + shift - phi),
             umax * math.sin(w - shift - phi))
        theta = POLE_PAIRS * (beta - machine.beta_d)
        v_d = sum(uk * math.cos(theta + s) for uk, s in zip(u, (0.0, seq, -seq))) * 2 / 3
        v_q = -sum(uk * math.sin(theta + s) for uk, s in zip(u, (0.0, seq, -seq))) * 2 / 3
        w_e = POLE_PAIRS * omega
        psi_d = ldq[0, 0] * i_d + ldq[0, 1] * i_q + psi_m
        psi_q = ldq[1, 0] * i_d + ldq[1, 1] * i_q
        e_d, e_q = v_d - r * i_d + w_e * psi_q, v_q - r * i_q - w_e * psi_d
        di_d = inverse[0, 0] * e_d + inverse[0, 1] * e_q
        di_q = inverse[1, 0] * e_d + inverse[1, 1] * e_q
        torque = 1.5 * POLE_PAIRS * (psi_d * i_q - psi_q * i_d)
        return [di_d, di_q, (torque + load - d * omega) / j, omega]

    x0 = [0.0, 0.0, p["time.OmegaR"], p["time.BetaR"] * 3.1416 / 180]
    sol = solve_ivp(rhs, (p["time.Ts"], t_eval[-1]), x0, t_eval=t_eval, method="DOP853",
                    rtol=1e-10, atol=1e-10)
    i_d, i_q, _, beta = sol.y
    i_abc = np.array([1.5 * machine.park(b).T @ np.array([a, q]) for a, q, b in
                      zip(i_d, i_q, beta)])
    psi = ldq @ np.array([i_d, i_q]) + np.array([[psi_m], [0.0]])
    torque = 1.5 * POLE_PAIRS * (psi[0] * i_q - psi[1] * i_d)
    return i_abc, torque


def compare(beta0_deg, nh_ind):
    """Kalvor's ia and torque over the last electrical period against the dq model's."""
    p = params(beta0_deg, nh_ind)
    r = kalvor.run(p)
    machine = Machine(nh_ind, p["motor.NhFlux"])
    period = 1 / 50
    last = r.t >= r.t[-1] - period
    t = r.t[last]
    i_abc, torque = dq_model(p, machine, t)
    ia = r["Ia"][last]
    amplitude = np.max(np.abs(i_abc[:, 0]))
    # Column Te holds the torque at the start of the step that ends at the row.
    te_kalvor = r["Te"][last][1:].mean()
    te_dq = torque[:-1].mean()
    return {
        "beta0": beta0_deg, "nh_ind": nh_ind, "ia_amplitude": float(amplitude),
        "ia_error": float(np.max(np.abs(ia - i_abc[:, 0])) / amplitude),
        "te_kalvor": float(te_kalvor), "te_dq": float(te_dq),
        "te_error": float(abs(te_kalvor - te_dq) / max(abs(te_dq), 1e-9)),
        "t": t, "ia": ia, "ia_dq": i_abc[:, 0],
    }
