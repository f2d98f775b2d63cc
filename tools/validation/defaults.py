"""Section 6: what the default parameters imply."""

import numpy as np

import kalvor
from energy import balance
from machine import Machine


def facts():
    r = kalvor.run()
    p = r.params
    e = balance(r, Machine(p["motor.NhInd"], p["motor.NhFlux"]))
    ud, ru, cu, roff = p["control.Ud"], p["control.Ru"], p["control.Cu"], p["motor.RoffT"]
    t = r.t
    late = t >= 0.01
    # In every leg one device pair conducts; the other pair (transistor and diode off in
    # parallel, Roff / 2) sits across the DC link.
    leak_current = 3 * ud / (roff / 2)
    span = t[-1] - t[0]
    ramp_time = 100.0 / p["control.Kt"]
    return {
        "leak_current": leak_current, "leak_power": leak_current * ud,
        "device_power": float(e["devices"][-1] / span),
        "source_power": float(e["dc_source"][-1] / span),
        "device_share": float(e["devices"][-1] / e["dc_source"][-1]),
        "source_current_late": float(np.mean(r["IU"][late])),
        "inrush_peak": float(np.max(r["IU"])), "inrush_limit": ud / ru,
        "tau": ru * cu, "h": p["time.H"],
        "capacitor_energy": 0.5 * cu * ud ** 2, "source_r_energy": float(e["source_r"][-1]),
        "ramp_time": ramp_time, "te": p["time.Te"],
        "final_reference": float(r["omegaR**"][-1]), "final_speed": float(r["omegaR"][-1]),
        "t": t, "iu": r["IU"], "omega": r["omegaR"], "ramp": r["omegaR**"],
        "device_loss_power": np.gradient(e["devices"], t),
    }
