"""Every check of the validation report, with its tolerance. run.py renders them; the test
asserts them. Each function returns plain numbers plus the arrays its plot needs."""

import bridge
import convergence
import defaults
import dq
import emf
import energy
import foc
import protection
import sixstep
from machine import Machine

import kalvor

TOLERANCE = {
    "energy": 1e-4,  # relative residual of the energy balance after the first millisecond
    "dq": 1e-3,  # ia over the last period and mean torque against the dq model, relative
    "bridge": 0.01,  # mean DC voltage against the textbook with the high diode Roff, relative
    "emf": 1e-3,  # back-EMF constant against the tables, relative
    "line_margin": 10.0,  # line voltage above the DC-link voltage after 1 ms [V]
    "exact_start": 0.02,  # exact mode's rms error of ia at the default step, 1-50 ms
    "exact_speed": 0.01,  # the same at speed, 0.15-0.2 s
    "exact_order": 1.8,  # exact mode's order between 20 and 10 us, sine supply
    "ledger": 1e-5,  # exact mode's engine energy ledger at the default step, relative
    "peak": 0.01,  # exact mode's first shoot-through peak between 5 and 1.25 us, relative
    "foc_t63": 0.3,  # 63 % time of the current step against 1/wc + Tc, relative
    "foc_torque": 1e-3,  # mean torque against the dq model of the measured currents, relative
    "foc_speed": 0.02,  # mean speed error under load after the ramp [rad/s]
    "generator": 0.02,  # measured uncontrolled-generator threshold speed against Ud / Ke, rel.
    "short_circuit": 0.005,  # active short circuit's current against the dq formula, relative
}

ENERGY_CASES = {
    "inverter (defaults)": {},
    "sine supply": {"control.Condition": 1},
    "generator, rectifier with RC load, T = 1 N m": {"control.Condition": 2, "control.T": 1.0,
                                                     "time.OmegaR": 150.0},
    "generator, R load, T = 1 N m": {"control.Condition": 3, "control.T": 1.0,
                                     "time.OmegaR": 150.0},
    "inverter, T1 shorted": {"failures.FailT": [1, 0, 0, 0, 0, 0]},
    "inverter, T1 broken": {"failures.FailT": [2, 0, 0, 0, 0, 0]},
}
SETTLE = 0.001  # the balance starts after the capacitor's first charge [s]
# A build with an initial capacitor voltage also balances a charged start over the whole run.
if "Uc0" in kalvor.Params().to_dict()["time"]:
    ENERGY_CASES["inverter, charged start (Uc0 = Ud)"] = {"time.Uc0": 200.0}


def section1():
    out = []
    for name, overrides in ENERGY_CASES.items():
        r = kalvor.run(**overrides)
        machine = Machine(r.params["motor.NhInd"], r.params["motor.NhFlux"])
        whole = energy.balance(r, machine)
        settled = energy.balance(r, machine, start=SETTLE)
        out.append({"name": name, "relative": settled["relative"],
                    "relative_whole": whole["relative"], "terms": settled})
    return out


def section2():
    params = {nh: Machine(nh, 1).dq_parameters() for nh in (0, 1)}
    cases = [dq.compare(beta0, nh) for nh in (0, 1) for beta0 in (0, 20, 40)]
    return {"params": params, "cases": cases}


def section3():
    return [bridge.compare(roff) for roff in (1000.0, 10000.0)]


def section4():
    return [emf.compare(speed) for speed in emf.SPEEDS]


def section5():
    held = [sixstep.held_rotor(beta0) for beta0 in (0, 45)]
    lines = {name: sixstep.line_voltages(codes) for name, codes in sixstep.FAULTS.items()}
    return {"held": held, "lines": lines}


def section6():
    return defaults.facts()


def section7():
    return {"step": foc.step_response(),
            "torque": [foc.torque_per_ampere(nh, mtpa) for nh, mtpa in ((0, False), (1, False),
                                                                        (1, True))],
            "hold": foc.speed_hold()}


def section8():
    cases = {name: {exact: convergence.study(name, exact) for exact in (False, True)}
             for name in convergence.CASES}
    at_default = []
    for exact in (False, True):
        row = next(r for r in cases["inverter (defaults)"][exact]
                   if r["h"] == convergence.DEFAULT_STEP)
        at_default.append({"start": row["ia start"], "speed": row["ia at speed"]})
    peaks = {exact: convergence.shoot_through_peaks(exact) for exact in (False, True)}
    return {"cases": cases, "at_default": at_default, "peaks": peaks}


def section9():
    return protection.uncontrolled_generator()


def section10():
    return protection.active_short_circuit()


def convergence_quick():
    """The convergence claims on 20 ms, for the test: the inverter's start in both modes at
    the default step, the sine supply in exact mode at 20 and 10 us."""
    quick = {"start": ({}, 0.02, {"start": (0.001, 0.02)}),
             "sine": ({"control.Condition": 1}, 0.02, {"run": (0.0, 0.02)})}
    start = {exact: convergence.study("start", exact, steps=(5e-6,), cases=quick)[0]
             for exact in (False, True)}
    sine = convergence.study("sine", True, steps=(2e-5, 1e-5), cases=quick)
    return {"start": start, "sine": sine}
