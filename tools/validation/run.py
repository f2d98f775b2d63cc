#!/usr/bin/python3
"""Regenerates docs/validation.md and its figures (docs/validation/*.png).

Usage: PYTHONPATH=build/python /usr/bin/python3 tools/validation/run.py [--out docs]

Every number in the report comes from the checks in checks.py, run on the kalvor package of the
build; the independent side reads only the exported tables and the result columns.
"""

import argparse
import io
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import matplotlib  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import checks  # noqa: E402
import convergence  # noqa: E402
import kalvor  # noqa: E402
from kalvor._files import write_atomic  # noqa: E402

TOL = checks.TOLERANCE
TERMS = [("dc_source", "DC source"), ("supply", "sine supply"), ("drive", "external torque"),
         ("source_r", "source / load resistor"), ("devices", "devices"),
         ("copper", "winding copper"), ("damping", "damping"), ("capacitor", "capacitor"),
         ("magnetic", "magnetic"), ("kinetic", "kinetic")]


def verdict(ok):
    return "**met**" if ok else "**NOT met**"


class Report:
    def __init__(self, folder):
        self.folder = folder
        self.lines = []
        self.printed = []

    def text(self, *lines):
        """Paragraphs separated by blank lines; consecutive table rows stay together."""
        for k, line in enumerate(lines):
            if k and not (line.startswith("|") and lines[k - 1].startswith("|")):
                self.lines.append("")
            self.lines.append(line)
        self.lines.append("")

    def figure(self, fig, name, caption):
        fig.tight_layout()
        buffer = io.BytesIO()
        fig.savefig(buffer, format="png", dpi=90)
        plt.close(fig)
        os.makedirs(os.path.join(self.folder, "validation"), exist_ok=True)
        write_atomic(os.path.join(self.folder, "validation", name), buffer.getvalue())
        self.text(f"![{caption}](validation/{name})")

    def say(self, line):
        self.printed.append(line)
        print(line)


def dress(ax, xlabel, ylabel, title=None, title_size=None, legend_size=None, which="major"):
    """An axis's labels, title, light grid and legend, as every figure of the report has them."""
    if title is not None:
        ax.set_title(title, **({} if title_size is None else {"fontsize": title_size}))
    ax.set_xlabel(xlabel)
    ax.set_ylabel(ylabel)
    ax.grid(alpha=0.3, which=which)
    ax.legend(**({} if legend_size is None else {"fontsize": legend_size}))


def g(x, digits=4):
    return f"{x:.{digits}g}"


def section1(rep):
    cases = checks.section1()
    rep.text("## 1. Energy balance",
             "**Claim.** The energy the sources deliver equals the losses in every resistance "
             "plus the mechanical energy plus the change of the stored magnetic, kinetic and "
             "capacitor energy, in all four conditions of work and with faulted devices.",
             "**How.** From the result columns only: the DC source's energy is Ud IU (IU is the "
             "step's mean current, a difference quotient of charges); the sine supply's is the "
             "supply voltages (their documented formula) times the phase currents; the external "
             "torque's work is T omegaR. Losses: Ru IU^2 (the source or load resistor), R i^2 of "
             "every transistor and diode, the winding's 2.9 ohm per phase, D omegaR^2. Each "
             "device's resistance is not in the table: it is recovered from the circuit (a "
             "transistor and its diode share their voltage; the two device pairs of a leg share "
             "the DC-link voltage Ud - Ru IU), choosing among the documented values (Ron, Roff). "
             "Stored: C u^2 / 2 from the integrated capacitor current, i^T L(betaR) i / 2 with L "
             "from the exported inductance tables, J omegaR^2 / 2. Step means of the stator "
             "currents and the speed are the means of two rows (the trapezoidal rule's own "
             f"balance). The balance starts after the first millisecond ({checks.SETTLE * 1e3:g} "
             "ms), after the empty capacitor's first charge (section 6); the whole run is given "
             "beside it.",
             "| run | inputs [J] | residual after 1 ms | whole run | tolerance |",
             "|---|---|---|---|---|")
    for c in cases:
        e = c["terms"]
        rep.lines.insert(len(rep.lines) - 1, f"| {c['name']} | {g(e['inputs'][-1], 6)} | "
                         f"{c['relative']:.2e} | {c['relative_whole']:.2e} | "
                         f"{TOL['energy']:g}: {verdict(c['relative'] <= TOL['energy'])} |")
        rep.say(f"energy {c['name']}: residual {c['relative']:.2e} (whole run "
                f"{c['relative_whole']:.2e})")
    final = cases[0]["terms"]
    rep.text("Final values of the default run after 1 ms [J]: " + ", ".join(
        f"{label} {final[k][-1]:.4f}" for k, label in TERMS if abs(final[k][-1]) > 1e-6) + ".")
    rows = (len(cases) + 2) // 3
    fig, axes = plt.subplots(rows, 3, figsize=(14, 3.75 * rows))
    for ax in axes.flat[len(cases):]:
        ax.set_visible(False)
    for ax, c in zip(axes.flat, cases):
        e = c["terms"]
        for k, label in TERMS:
            if np.max(np.abs(e[k])) > 1e-9 * np.max(np.abs(e["inputs"])):
                ax.plot(e["t"], e[k], label=label)
        ax.plot(e["t"], e["residual"], "k--", label="residual")
        dress(ax, "t [s]", "energy [J]", c["name"], title_size=9, legend_size=6)
    rep.figure(fig, "energy.png", "Cumulative energies over time")


def section2(rep):
    res = checks.section2()
    rep.text("## 2. Sine supply against a dq model of the tables",
             "**Claim.** Under sine supply the steady phase currents and torque are those of a "
             "dq model built from the tables' inductances and magnet flux.",
             "**How.** From the exported tables: the phase inductance matrix (sum of the coil "
             "inductances over each phase's coils, 39^2 x 0.1035 per table unit) and the phase "
             "magnet flux linkage (the flux-density series integrated over each coil's arc, "
             "four alternating magnets) give, through the Park transform about the angle of "
             "largest phase-a magnet flux, Ld, Lq, a small constant d-q coupling and psi_m. "
             "The dq model (with the speed and angle equations) is integrated by scipy "
             "(DOP853, rtol 1e-10) from the run's initial state; the rotor is held near "
             "synchronous speed (J = 1000 kg m^2, omegaR0 = 2 pi 50 / 2), so the initial angle "
             "betaR0 sets the load angle. Compared: ia over the last period (largest "
             "difference over the amplitude) and the mean torque over it.",
             "| NhInd | Ld [mH] | Lq [mH] | Ldq [mH] | psi_m [Wb] | d axis [deg] | variation |",
             "|---|---|---|---|---|---|---|")
    for nh, p in res["params"].items():
        rep.lines.insert(len(rep.lines) - 1,
                         f"| {nh} | {p['Ld'] * 1e3:.4f} | {p['Lq'] * 1e3:.4f} | "
                         f"{p['Ldq'] * 1e3:.4f} | {p['psi_m']:.5f} | "
                         f"{math.degrees(p['beta_d']):.3f} | {p['variation']:.1e} |")
    rep.text("(variation: largest relative change of Ld, Lq and of the q-axis magnet flux over "
             "a turn, from the fit residuals of the tables)",
             "",
             "| NhInd | betaR0 [deg] | ia amplitude [A] | ia difference | Te Kalvor [N m] | "
             "Te dq [N m] | Te difference | tolerance |",
             "|---|---|---|---|---|---|---|---|")
    for c in res["cases"]:
        ok = c["ia_error"] <= TOL["dq"] and c["te_error"] <= TOL["dq"]
        rep.lines.insert(len(rep.lines) - 1,
                         f"| {c['nh_ind']} | {c['beta0']} | {c['ia_amplitude']:.3f} | "
                         f"{c['ia_error']:.1e} | {c['te_kalvor']:.4f} | {c['te_dq']:.4f} | "
                         f"{c['te_error']:.1e} | {TOL['dq']:g}: {verdict(ok)} |")
        rep.say(f"dq NhInd {c['nh_ind']} betaR0 {c['beta0']}: ia {c['ia_error']:.1e}, "
                f"Te {c['te_error']:.1e}")
    fig, axes = plt.subplots(1, 2, figsize=(12, 4))
    for ax, c in zip(axes, [res["cases"][1], res["cases"][4]]):
        ax.plot(c["t"], c["ia"], label="Kalvor ia")
        ax.plot(c["t"], c["ia_dq"], "--", label="dq model ia")
        dress(ax, "t [s]", "ia [A]", f"NhInd {c['nh_ind']}, betaR0 {c['beta0']} deg: last period",
              title_size=9)
    rep.figure(fig, "dq.png", "Kalvor's ia against the dq model's over the last period")


def section3(rep):
    cases = checks.section3()
    b = cases[0]
    rep.text("## 3. Generator into the diode bridge against the textbook",
             "**Claim.** The mean DC voltage of the generator feeding the rectifier with its RC "
             "load is the textbook six-pulse result with commutation overlap.",
             "**How.** V = (3/pi) E - (3/pi) w Lc I - 2 (R + RonD) I with I = V / Rl: E the line "
             "EMF amplitude from psi_m of the tables (sqrt 3 psi_m w), Lc = (Ld + Lq) / 2, R "
             "the phase resistance, w the electrical speed. The rotor is held at "
             f"{checks.bridge.SPEED:g} rad/s (J = 1000 kg m^2); the mean of Rl |IU| over whole "
             "pulses after 0.1 s is compared. The formula has no leakage through the diodes' "
             "off-resistance, so it is checked with a high one (10 kohm); the default (1 kohm) "
             "is shown.",
             f"E = {b['E']:.3f} V, Lc = {b['Lc'] * 1e3:.4f} mH, (3/pi) E = {b['V0']:.3f} V, "
             f"overlap {b['overlap_deg']:.1f} deg.",
             "| diode Roff [ohm] | Kalvor [V] | textbook [V] | difference | tolerance |",
             "|---|---|---|---|---|")
    for c in cases:
        high = c["roff_d"] > 1000
        mark = f"{TOL['bridge']:.0%}: {verdict(c['error'] <= TOL['bridge'])}" if high else \
            "(shown)"
        rep.lines.insert(len(rep.lines) - 1, f"| {c['roff_d']:g} | {c['V_kalvor']:.3f} | "
                         f"{c['V']:.3f} | {c['error']:.2%} | {mark} |")
        rep.say(f"bridge RoffD {c['roff_d']:g}: {c['V_kalvor']:.3f} V against {c['V']:.3f} V, "
                f"{c['error']:.2%}")
    fig, ax = plt.subplots(figsize=(10, 4))
    for c in cases:
        ax.plot(c["t"], c["v_dc"], lw=0.8, label=f"Kalvor, diode Roff {c['roff_d']:g} ohm")
    ax.axhline(b["V"], color="k", ls="--", label=f"textbook mean {b['V']:.2f} V")
    dress(ax, "t [s]", "DC voltage Rl |IU| [V]")
    rep.figure(fig, "bridge.png", "DC voltage over time with the textbook mean")


def section4(rep):
    cases = checks.section4()
    rep.text("## 4. Back-EMF constant",
             "**Claim.** The line back-EMF per rad/s equals the tables' value at every speed.",
             "**How.** The generator runs into a 1-kohm R load, the rotor held at each speed. "
             "The winding's own drop (Ra Ia and the difference quotient of L(betaR) i, tables' "
             "L) is taken off Uab; the fundamental in the electrical angle 2 betaR is fitted "
             "over whole periods. The tables' constant is the fundamental of "
             "d(Psi_a - Psi_b)/dbeta from the flux-density series.",
             "| speed [rad/s] | Kalvor [V s/rad] | tables [V s/rad] | difference | "
             "winding drop taken off [V] | tolerance |",
             "|---|---|---|---|---|---|")
    for c in cases:
        rep.lines.insert(len(rep.lines) - 1,
                         f"| {c['speed']:g} | {c['ke_kalvor']:.7f} | {c['ke_tables']:.7f} | "
                         f"{c['error']:.1e} | {c['drop']:.2f} | "
                         f"{TOL['emf']:g}: {verdict(c['error'] <= TOL['emf'])} |")
        rep.say(f"back-EMF {c['speed']:g} rad/s: {c['error']:.1e}")
    fig, ax = plt.subplots(figsize=(10, 4))
    for c in cases:
        ax.plot(c["t"], c["uab"], lw=0.8, label=f"Uab at {c['speed']:g} rad/s")
        amplitude = c["ke_tables"] * c["speed"]
        ax.axhline(amplitude, color="k", lw=0.5, ls="--")
    dress(ax, "t [s]", "Uab [V]", "line voltage; dashed: the tables' amplitude", title_size=9,
          legend_size=8)
    rep.figure(fig, "emf.png", "Line voltage at three speeds with the tables' amplitude")


def section5(rep):
    res = checks.section5()
    a, b = res["held"]
    with_rotor = a["std"] < 10 and b["std"] < 10 and abs(a["mean"] - b["mean"]) > 30
    rep.text("## 5. Six-step field direction and commutation spikes",
             "**Claim.** The six-step field turns with the rotor, and no line voltage leaves "
             "the DC link by more than a few diode drops after the first millisecond.",
             "**How (direction).** Held rotor at +100 rad/s (J = 1000), Ud = 400 V, Kt = 10000, "
             "speed path 0*188*, Kp = 1.1363636, Ki = 0, 0.08 s: omegaU reaches 200 rad/s, a "
             "synchronous field. A field turning with the rotor gives a steady torque after "
             "20 ms whose mean depends strongly on betaR0; one turning against it swings by "
             "tens of N m around a mean that hardly depends on it.",
             "| betaR0 [deg] | omegaU [rad/s] | mean Te [N m] | std Te [N m] |",
             "|---|---|---|---|",
             *[f"| {c['beta0']} | {c['omega_u']:.1f} | {c['mean']:.2f} | {c['std']:.2f} |"
               for c in (a, b)],
             f"Steady torque (std below 10 N m) with means {abs(a['mean'] - b['mean']):.1f} "
             f"N m apart: the field turns with the rotor, {verdict(with_rotor)}.",
             "**How (spikes).** Default run, with T1 broken and with T1 shorted: the largest "
             "line voltage |Uab|, |Ubc|, |Uca| after 1 ms against the DC-link voltage Ud - Ru IU "
             "of the same row.",
             "| inverter | largest line voltage [V] | DC link there [V] | excess [V] | "
             "tolerance |",
             "|---|---|---|---|---|")
    rep.say(f"six-step held rotor: mean {a['mean']:.2f} / {b['mean']:.2f} N m, std "
            f"{a['std']:.2f} / {b['std']:.2f} N m")
    for name, c in res["lines"].items():
        rep.lines.insert(len(rep.lines) - 1,
                         f"| {name} | {c['worst_line']:.1f} | {c['udc_there']:.1f} | "
                         f"{c['excess']:.1f} | {TOL['line_margin']:g} V: "
                         f"{verdict(c['excess'] <= TOL['line_margin'])} |")
        rep.say(f"line voltage, {name}: {c['worst_line']:.1f} V, excess {c['excess']:.1f} V")
    fig, axes = plt.subplots(1, 2, figsize=(13, 4))
    for c in (a, b):
        axes[0].plot(c["t"], c["te"], lw=0.7, label=f"betaR0 {c['beta0']} deg")
    dress(axes[0], "t [s]", "Te [N m]", "held rotor, six-step: torque", title_size=9)
    for name, c in res["lines"].items():
        axes[1].plot(c["t"], c["uab"], lw=0.5, label=f"Uab, {name}")
    sound = res["lines"]["sound"]
    axes[1].plot(sound["t"], sound["udc"], "k", lw=0.8, label="DC link (sound)")
    axes[1].plot(sound["t"], -sound["udc"], "k", lw=0.8)
    dress(axes[1], "t [s]", "Uab [V]", "line voltage after 1 ms", title_size=9, legend_size=7)
    rep.figure(fig, "sixstep.png", "Held-rotor torque and line voltages")


def section6(rep):
    f = checks.section6()
    rep.text("## 6. What the defaults imply",
             f"- **Off-state resistance.** Roff = 1000 ohm: in every leg one device pair "
             f"conducts and the other (transistor and diode off in parallel, 500 ohm) sits "
             f"across the DC link, so the three legs draw 3 x 200 V / 500 ohm = "
             f"{f['leak_current']:.1f} A ({f['leak_power']:.0f} W). The default run's devices "
             f"dissipate {f['device_power']:.0f} W on average, {f['device_share']:.0%} of the "
             f"DC source's {f['source_power']:.0f} W; the source current after 10 ms averages "
             f"{f['source_current_late']:.2f} A. This is how the device model behaves, not a "
             "fault.",
             f"- **Capacitor inrush.** The capacitor starts empty: the first step draws "
             f"{f['inrush_peak']:.0f} A (the limit Ud / Ru is {f['inrush_limit']:.0f} A) and the "
             f"time constant Ru Cu = {f['tau'] * 1e6:.0f} us is two steps "
             f"(h = {f['h'] * 1e6:.0f} us), so the first steps are not resolved: the "
             f"balance of the whole run carries their error (section 1). Charging costs "
             f"{f['source_r_energy']:.2f} J in Ru, as much as the {f['capacitor_energy']:.2f} J "
             "stored." + (" A charged start (time.Uc0 = Ud) has no inrush; its balance closes "
                          "over the whole run (section 1)." if "Uc0" in
                          kalvor.Params().to_dict()["time"] else ""),
             f"- **Ramp.** The speed path asks for 100 rad/s at once, the ramp rises at Kt = "
             f"{100 / f['ramp_time']:.0f} rad/s^2 and needs {f['ramp_time']:.3f} s: the default "
             f"{f['te']:g} s ends with the ramp at {f['final_reference']:.1f} rad/s and the "
             f"rotor at {f['final_speed']:.1f} rad/s.")
    rep.say(f"defaults: devices {f['device_power']:.0f} W of {f['source_power']:.0f} W, inrush "
            f"{f['inrush_peak']:.0f} A, ramp at {f['final_reference']:.1f} rad/s at te")
    fig, axes = plt.subplots(1, 3, figsize=(14, 3.8))
    axes[0].plot(f["t"], f["device_loss_power"], lw=0.5)
    axes[0].axhline(f["leak_power"], color="k", ls="--", label="3 Ud^2 / (Roff / 2)")
    axes[0].set_ylim(0, 3 * f["leak_power"])
    axes[0].set_title("device loss power [W]", fontsize=9)
    axes[0].legend(fontsize=8)
    first = f["t"] <= 1e-4
    axes[1].plot(f["t"][first] * 1e6, f["iu"][first], "o-", ms=3)
    axes[1].set_title("source current IU over the first 100 us [A]", fontsize=9)
    axes[1].set_xlabel("t [us]")
    axes[2].plot(f["t"], f["ramp"], label="ramp omegaR**")
    axes[2].plot(f["t"], f["omega"], label="omegaR")
    axes[2].axhline(100, color="k", ls=":", label="speed path")
    axes[2].set_title("speed [rad/s]", fontsize=9)
    axes[2].legend(fontsize=8)
    for ax in axes:
        ax.grid(alpha=0.3)
    axes[0].set_xlabel("t [s]")
    axes[2].set_xlabel("t [s]")
    rep.figure(fig, "defaults.png", "Device losses, inrush and ramp of the default run")


def section7(rep):
    f = checks.section7()
    step, hold = f["step"], f["hold"]
    ok_step = abs(step["t63"] / step["design_t63"] - 1) <= TOL["foc_t63"]
    rep.text("## 7. Field-oriented control",
             "**Claim.** Under field-oriented control (control.Scheme = 1) the current loop "
             "answers as its first-order design, the torque is the dq model's torque of the "
             "measured currents, and the speed is held under load without a steady error.",
             "**How (current loop).** Rotor held (J = 1000 kg m^2), charged link, Imax = 1 A: "
             "the saturated speed regulator steps iq* from 0 to 1 A at the first sample. The "
             "design: 1 - exp(-wc (t - Tc)), the voltage acting one carrier period Tc after the "
             "sample.",
             "| wc [rad/s] | Tc [ms] | 63 % time [ms] | 1/wc + Tc [ms] | largest deviation | "
             "largest id | tolerance |",
             "|---|---|---|---|---|---|---|",
             f"| {step['wc']:.1f} | {step['tc'] * 1e3:.3f} | {step['t63'] * 1e3:.3f} | "
             f"{step['design_t63'] * 1e3:.3f} | {step['deviation']:.1%} | "
             f"{step['id_largest']:.1%} | 63 % time within {TOL['foc_t63']:.0%}: "
             f"{verdict(ok_step)} |",
             "The sampled loop rises a little faster than the first-order design (its "
             "proportional action works on the held sample and the PWM's first period), then "
             "settles on the reference.")
    rep.say(f"foc step: t63 {step['t63'] * 1e3:.3f} ms against {step['design_t63'] * 1e3:.3f}")
    rep.text("**How (torque per ampere).** The drive holds 60 rad/s against a load of 2 N m; over "
             "the last 50 ms the mean torque (column Te, the torque of the previous row's state) "
             "is compared with the dq model of tools/validation/machine.py (Ld, Lq, Ldq, psi_m "
             "of the tables, not the controller's own model) for the measured id, iq.",
             "| NhInd | MTPA | id [A] | iq [A] | Te [N m] | Te dq [N m] | N m per A | "
             "difference | tolerance |",
             "|---|---|---|---|---|---|---|---|---|")
    for c in f["torque"]:
        rep.lines.insert(len(rep.lines) - 1,
                         f"| {c['nh_ind']} | {'on' if c['mtpa'] else 'off'} | {c['id']:.3f} | "
                         f"{c['iq']:.3f} | {c['te']:.4f} | {c['te_dq']:.4f} | "
                         f"{c['per_ampere']:.4f} | {c['error']:.1e} | {TOL['foc_torque']:g}: "
                         f"{verdict(c['error'] <= TOL['foc_torque'])} |")
        rep.say(f"foc torque NhInd {c['nh_ind']} MTPA {c['mtpa']}: {c['error']:.1e}")
    ok_hold = abs(hold["error"]) <= TOL["foc_speed"]
    rep.text("**How (speed under load).** Speed path 60 rad/s, load 2 N m from the start, ramp "
             "700 rad/s^2; mean speed over the last 50 ms of 0.5 s against the path.",
             "| load [N m] | speed [rad/s] | mean error [rad/s] | ripple [rad/s] | tolerance |",
             "|---|---|---|---|---|",
             f"| {-hold['load']:g} | {hold['speed']:g} | {hold['error']:+.4f} | "
             f"{hold['ripple']:.3f} | {TOL['foc_speed']:g} rad/s: {verdict(ok_hold)} |")
    rep.say(f"foc speed error {hold['error']:+.4f} rad/s")
    fig, axes = plt.subplots(1, 2, figsize=(13, 4))
    ax = axes[0]
    ax.plot(step["t"] * 1e3, step["iq_ref"], "k--", label="iq*")
    ax.plot(step["t"] * 1e3, step["iq"], label="iq")
    ax.plot(step["t"] * 1e3, step["id"], label="id")
    ax.plot(step["t"] * 1e3, step["design"], ":", label="first-order design")
    dress(ax, "t [ms]", "current [A]", "Current step, rotor held")
    ax = axes[1]
    ax.plot(hold["t"], hold["omega"], label="omegaR")
    ax.plot(hold["t"], hold["ramp"], "--", label="omegaR**")
    dress(ax, "t [s]", "speed [rad/s]", "Speed under a 2 N m load")
    rep.figure(fig, "foc.png", "Current step against the design, and speed held under load")


def section8(rep):
    res = checks.section8()
    rep.text("## 8. Convergence with the step",
             "**Claim.** With exact switching instants (`time.Exact`) the inverter's results "
             "hardly depend on the step: from 20 to 1.25 us their difference from a reference "
             "at 1/32 of the step stays below 3e-5 of the rms current (below 4e-6 from the "
             "default step down), orders of magnitude below the default mode's, which rounds "
             "every switching instant to the step and converges erratically. Exact mode's "
             "error falls at nearly second order (1.9 between 5 and 1.25 us); at four times the "
             "default step it is still ten thousand times below the default mode's at the "
             "default step, at less cost per simulated second (last column, and the figure's "
             "right half). Without switching (the sine supply) both modes converge at the "
             "trapezoidal rule's second order. Exact mode's own energy ledger closes to 1e-8 "
             "of the delivered energy in the inverter runs, the short set mid-run included.",
             "**How.** Each run is compared with a reference of the same mode at 1/32 of its "
             "output interval (the reference's rows fall on the run's rows). Errors are the rms "
             "of the difference over the rms of the reference in each window; the energy "
             "residual is section 1's balance after the first millisecond, from the result "
             "columns; cost is the least in-process processor time of three runs per simulated "
             "second on this machine (compare the modes' ratio, not the figures). The fitted order is the "
             "least-squares slope of log(error) over log(step).")
    for name, modes in res["cases"].items():
        keys = [k for k in modes[False][0] if k.startswith(("ia", "omegaR"))]
        head = ("| step [s] | mode | " + " | ".join(keys)
                + " | energy residual | engine ledger | cost [s/s] |")
        rows = [head, "|" + "---|" * (len(keys) + 5)]
        for exact in (False, True):
            for r in modes[exact]:
                ledger = "" if r["ledger"] is None else f"{abs(r['ledger']):.1e}"
                rows.append(f"| {r['h']:g} | {'exact' if exact else 'default'} | "
                            + " | ".join(f"{r[k]:.2e}" for k in keys)
                            + f" | {r['residual']:.2e} | {ledger} | {r['cost']:.2f} |")
        for exact in (False, True):
            rows.append(f"| fitted order | {'exact' if exact else 'default'} | "
                        + " | ".join(f"{convergence.fitted_order(modes[exact], k):.2f}"
                                     for k in keys) + " | | | |")
        rep.text(f"**{name}**", *rows)
    d, e = res["at_default"]
    rep.text(f"At the default step (5 us) the default mode's rms error of ia is {d['start']:.2%} "
             f"during the start (1-50 ms) and {d['speed']:.2%} at speed (0.15-0.2 s); exact "
             f"mode's is {e['start']:.2e} and {e['speed']:.2e} (tolerance "
             f"{TOL['exact_start']:.0%} and {TOL['exact_speed']:.0%}: "
             f"{verdict(e['start'] <= TOL['exact_start'] and e['speed'] <= TOL['exact_speed'])}).")
    worst = max(abs(r["ledger"]) for modes in res["cases"].values() for r in modes[True]
                if r["h"] == convergence.DEFAULT_STEP)
    rep.text("The column \"energy residual\" is section 1's reconstruction from the result "
             "columns: it takes each device's resistance as constant over an output interval "
             "and its current as the interval's mean, which holds in the default mode (it "
             "switches only at output points) but not in exact mode, which switches inside the "
             "intervals at the instants themselves; there it falls at first order with the "
             "step. The column \"engine ledger\" is exact mode's own balance (`Result.energy`, "
             "kalvor-cli's \"Energy [J]\" line): the powers of each step's mean state with the "
             "circuit the step was taken with, the stored energies at the ends of the run, "
             "over the energy delivered. At the default step its largest residual is "
             f"{worst:.1e} (tolerance {g(TOL['ledger'])}: {verdict(worst <= TOL['ledger'])}); "
             "the short set mid-run closes as well as the healthy run.")
    peaks = res["peaks"]
    rows = ["| step [s] | default: peak of IT1 [A] | at [ms] | exact: peak of IT1 [A] | at [ms] "
            "| exact: instantaneous peak [A] | at [ms] |",
            "|---|---|---|---|---|---|---|"]
    for pd, pe in zip(peaks[False], peaks[True]):
        rows.append(f"| {pd['h']:g} | {pd['peak']:.1f} | {pd['t'] * 1e3:.4f} | "
                    f"{pe['peak']:.1f} | {pe['t'] * 1e3:.4f} | {pe['instant']:.2f} | "
                    f"{pe['instant_t'] * 1e3:.5f} |")
    instants = [p["instant"] for p in peaks[True]]
    spread = (max(instants) - min(instants)) / max(instants)
    rep.text("**First shoot-through peak** (T1 shorted from 10.1234 ms, the run ending at "
             "10.4 ms; the largest |IT1| within 200 us of the first row above 100 A; IT1 is the "
             "mean over an output interval, so a peak much shorter than the interval is "
             "averaged and moves with the step in either mode. Exact mode also keeps each "
             "device's largest instantaneous current (`Result.device_peaks`): the shoot-through "
             "current is largest at the switching instant that starts it, a step boundary, "
             "and that peak does not depend on the step):", *rows)
    rep.text(f"The instantaneous peak changes by {spread:.1e} between 5 and 1.25 us "
             f"(tolerance {TOL['peak']:.0%}: {verdict(spread <= TOL['peak'])}); the link voltage "
             "across the two on-resistances (Ud / 2 RonT = 1000 A) bounds it.")

    fig, axes = plt.subplots(1, 2, figsize=(13, 4.5))
    for name, modes in res["cases"].items():
        for exact, style in ((False, "--"), (True, "-")):
            rows = modes[exact]
            for key in [k for k in rows[0] if k.startswith("ia")]:
                axes[0].loglog([r["h"] for r in rows], [r[key] for r in rows], style,
                               marker="o", label=f"{name}, {key}, "
                               + ("exact" if exact else "default"))
    h = np.array(convergence.STEPS)
    axes[0].loglog(h, 1e-4 * (h / h[0]) ** 2, "k:", label="slope 2")
    dress(axes[0], "step [s]", "rms error of ia / rms of ia", legend_size=6, which="both")
    inv = res["cases"]["inverter (defaults)"]
    for exact, style in ((False, "--"), (True, "-")):
        rows = inv[exact]
        axes[1].loglog([r["cost"] for r in rows], [r["ia start"] for r in rows], style,
                       marker="o", label="exact" if exact else "default")
        for r in rows:
            axes[1].annotate(f"{r['h']:g}", (r["cost"], r["ia start"]), fontsize=7)
    dress(axes[1], "processor time per simulated second [s]", "rms error of ia during the start",
          legend_size=8, which="both")
    rep.figure(fig, "convergence.png", "Error against step and against cost, both modes")


def section9(rep):
    res = checks.section9()
    rep.text("## 9. Uncontrolled generator after a trip with every gate off",
             "**Claim.** With every gate off the bridge is a diode rectifier: its diodes "
             "conduct, and the DC link takes current, only above the speed at which the peak "
             "of the line back-EMF reaches the link voltage.",
             "**How.** The rotor is held at each speed (J = 1000 kg m^2), the link starts at "
             "Ud = " + g(res["ud"]) + " V, and an overvoltage threshold of 1 V trips the "
             "protection (safe state: gates off) with the first step. The devices' "
             "off-resistances are " + g(res["roff"]) + " ohm, so that their leakage "
             "(Ud / Roff = " + g(res["leakage"]) + " A) does not hide the first conduction. "
             "Computed threshold: Ud over the peak of d(Psi_a - Psi_b)/dbeta from the tables' "
             "flux-density series, Ke = " + f"{res['constant']:.5f}" + " V s/rad, so "
             + f"{res['threshold']:.2f}" + " rad/s. Measured threshold: the lowest speed at "
             "which a diode carries more than twice the leakage, by bisection to "
             + g(res["resolution"], 2) + " rad/s: " + f"{res['measured']:.2f}" + " rad/s ("
             + f"{(res['measured'] - res['threshold']) / res['threshold']:+.2%}" + "; a "
             "visible conduction current needs the back-EMF a little above the link voltage "
             "plus two diode drops, so the measured threshold lies above the computed one; "
             "tolerance "
             + f"{TOL['generator']:.0%}" + ": "
             + verdict(abs(res["measured"] - res["threshold"])
                       <= TOL["generator"] * res["threshold"]) + ").",
             "| speed [rad/s] | speed / threshold | peak line voltage [V] | peak diode current "
             "[A] | mean charging current into the link [A] |",
             "|---|---|---|---|---|")
    for p in res["points"]:
        rep.lines.insert(len(rep.lines) - 1,
                         f"| {p['speed']:.2f} | {p['speed'] / res['threshold']:.2f} | "
                         f"{p['uab']:.2f} | {p['diode']:.4f} | {p['charging']:+.4f} |")
    rep.say(f"uncontrolled generator threshold {res['threshold']:.2f} rad/s computed, "
            f"{res['measured']:.2f} measured")
    rep.text("Below the threshold the line voltage is the back-EMF and the diodes carry only "
             "leakage (the link feeds the off-resistances: a negative charging current); above "
             "it the line voltage is clamped at the link's and the diodes feed the link.")


def section10(rep):
    res = checks.section10()
    dq = res["dq"]
    rep.text("## 10. Active short circuit: steady-state current",
             "**Claim.** After a trip into the active short circuit the phase current settles "
             "at the short-circuit current of the dq model, w psi_m sqrt(R^2 + (w Lq)^2) / "
             "(R^2 + w^2 Ld Lq), which for Ld = Lq = L is w psi_m / |R + j w L| "
             "(w the electrical speed).",
             "**How.** The rotor is held at each speed, the link charged; an overvoltage "
             "threshold of 1 V trips the protection with the first step and the safe state "
             "closes the three lower transistors. The simulated amplitude is "
             "the fundamental of ia in the electrical angle over the last electrical period "
             "after 80 ms (the flux density's harmonics add currents of their own, in the "
             "peak column). The formula takes "
             "the dq parameters of section 2 (Ld = " + f"{dq['Ld'] * 1e3:.4f}" + " mH, Lq = "
             + f"{dq['Lq'] * 1e3:.4f}" + " mH, psi_m = " + f"{dq['psi_m']:.5f}" + " Wb) and "
             "R = the phase's winding plus one on-resistance = " + f"{res['r']:.4f}" + " ohm. "
             "The braking torque is compared with the copper loss over the speed, "
             "-1.5 R |i|^2 / omegaR.",
             "| omegaR [rad/s] | simulated [A] | peak [A] | dq formula [A] | "
             "w psi / abs(R + j w L) [A] | difference | mean torque [N m] | "
             "-1.5 R i^2 / omegaR [N m] | upper devices [A] | tolerance |",
             "|---|---|---|---|---|---|---|---|---|---|")
    for p in res["points"]:
        rep.lines.insert(len(rep.lines) - 1,
                         f"| {p['speed']:g} | {p['simulated']:.3f} | {p['peak']:.3f} | "
                         f"{p['formula']:.3f} | "
                         f"{p['simple']:.3f} | {p['error']:.1e} | {p['torque']:.3f} | "
                         f"{p['torque_loss']:.3f} | {p['upper']:.3f} | "
                         f"{TOL['short_circuit']:.1%}: "
                         f"{verdict(p['error'] <= TOL['short_circuit'])} |")
        rep.say(f"active short circuit {p['speed']:g} rad/s: {p['simulated']:.3f} A "
                f"simulated, {p['formula']:.3f} A formula")
    fig, ax = plt.subplots(figsize=(10, 4))
    for p in res["points"]:
        ax.plot(p["t"] - p["t"][0], p["ia"], lw=0.8, label=f"ia at {p['speed']:g} rad/s")
        ax.axhline(p["formula"], color="k", lw=0.5, ls="--")
    dress(ax, "t in the last period [s]", "ia [A]",
          "active short circuit; dashed: the dq formula's amplitude", title_size=9, legend_size=8)
    rep.figure(fig, "short_circuit.png", "Phase current of the active short circuit")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "..",
                                                      "docs"))
    args = parser.parse_args(argv)
    folder = os.path.normpath(args.out)
    rep = Report(folder)
    rep.text("# Validation report",
             "How far Kalvor's results can be trusted: the engine against physics and against "
             "calculations that share none of its code. The independent side "
             "(tools/validation/) reads only the exported constant tables (`kalvor.tables()`, "
             "as `kalvor-cli tables` writes them), the documented machine data (coil geometry, "
             "turns, length, radius, coil resistances) and the result columns of runs. "
             "Regenerate with",
             "    PYTHONPATH=build/python /usr/bin/python3 tools/validation/run.py",
             "and check with `ctest --test-dir build -R validation` (the same checks with their "
             "tolerances). Tolerances: energy residual " + g(TOL["energy"]) + ", dq agreement "
             + g(TOL["dq"]) + ", diode bridge " + f"{TOL['bridge']:.0%}" + " (high diode "
             "Roff), back-EMF " + g(TOL["emf"]) + ", line voltage within the DC link + "
             + g(TOL["line_margin"]) + " V after 1 ms, uncontrolled-generator threshold "
             + f"{TOL['generator']:.0%}" + ", short-circuit current "
             + f"{TOL['short_circuit']:.1%}" + ".")
    for section in (section1, section2, section3, section4, section5, section6, section7,
                    section8, section9, section10):
        section(rep)
    write_atomic(os.path.join(folder, "validation.md"), "\n".join(rep.lines).rstrip() + "\n")
    print(f"wrote {os.path.join(folder, 'validation.md')}")


if __name__ == "__main__":
    main()
