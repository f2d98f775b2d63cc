#!/usr/bin/python3
"""The README's pictures of field-oriented control: the block diagram, iq following iq*, and
T1 opening at speed under both schemes.

Usage: PYTHONPATH=build/python /usr/bin/python3 tools/foc_figures.py [--out docs]
"""

import argparse
import io
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.patches import FancyBboxPatch  # noqa: E402

import kalvor  # noqa: E402
from kalvor._files import write_atomic  # noqa: E402


def save(fig, folder, name):
    buffer = io.BytesIO()
    fig.savefig(buffer, format="png", dpi=90)
    plt.close(fig)
    write_atomic(os.path.join(folder, name), buffer.getvalue())


def diagram(folder):
    """Speed PI -> current reference -> current PIs with decoupling -> limit -> inverse Park
    -> SVPWM -> inverter -> motor, with the sampled feedback."""
    fig, ax = plt.subplots(figsize=(12, 4.2))
    ax.set_xlim(0, 12)
    ax.set_ylim(0, 4.2)
    ax.axis("off")
    boxes = {
        "ramp": (0.1, 2.6, "speed path\n+ ramp", "omegaR*  ->  omegaR**"),
        "speed": (1.6, 2.6, "speed PI", "KpW = J ws\nKiW = KpW ws / 4\n+ J d(omegaR**)/dt"),
        "iref": (3.1, 2.6, "current ref.", "MTPA or id* = 0\n|i| <= Imax"),
        "pi": (4.6, 2.6, "current PIs", "Kp = wc Ld, wc Lq\nKi = wc R\n+ decoupling, EMF"),
        "lim": (6.1, 2.6, "voltage limit", "|u*| <= Udc / sqrt 3\nd axis first"),
        "park": (7.6, 2.6, "inverse Park", "angle + omegaE 1.5 Tc"),
        "svm": (9.1, 2.6, "SVPWM", "next carrier\nperiod"),
        "motor": (10.6, 2.6, "inverter\n+ motor", "18 coils, tables"),
        "sample": (6.1, 0.4, "sample at period start", "ia, ib, betaR, omegaR, Udc\nPark -> id, iq"),
    }
    centres = {}
    for key, (x, y, title, text) in boxes.items():
        width = 2.9 if key == "sample" else 1.25
        ax.add_patch(FancyBboxPatch((x, y), width, 1.2, boxstyle="round,pad=0.05",
                                    fc="#eef3fb", ec="#335"))
        ax.text(x + width / 2, y + 0.92, title, ha="center", va="center", fontsize=9,
                weight="bold")
        ax.text(x + width / 2, y + 0.38, text, ha="center", va="center", fontsize=7)
        centres[key] = (x, y, width)
    order = ["ramp", "speed", "iref", "pi", "lim", "park", "svm", "motor"]
    labels = ["omegaR**", "T*", "id*, iq*", "ud*, uq*", "", "m, angle", "gates"]
    for (a, b), label in zip(zip(order, order[1:]), labels):
        xa, ya, wa = centres[a]
        xb, _, _ = centres[b]
        ax.annotate("", xy=(xb, ya + 0.6), xytext=(xa + wa, ya + 0.6),
                    arrowprops={"arrowstyle": "->"})
        ax.text((xa + wa + xb) / 2, ya + 0.75, label, ha="center", fontsize=7)
    # Feedback: motor -> sample -> speed PI and current PIs.
    xm, ym, wm = centres["motor"]
    xs, ys, ws = centres["sample"]
    ax.annotate("", xy=(xs + ws, ys + 0.6), xytext=(xm + wm / 2, ym),
                arrowprops={"arrowstyle": "->", "connectionstyle": "angle,angleA=-90,angleB=0"})
    for key, label in (("pi", "id, iq, omegaE"), ("speed", "omegaR")):
        xk, yk, wk = centres[key]
        ax.annotate("", xy=(xk + wk / 2, yk), xytext=(xs, ys + 0.6),
                    arrowprops={"arrowstyle": "->",
                                "connectionstyle": "angle,angleA=180,angleB=-90"})
        ax.text(xk + wk / 2 + 0.05, yk - 0.3, label, fontsize=7)
    ax.set_title("Field-oriented control: sampled once per carrier period Tc, applied in the next")
    save(fig, folder, "foc_diagram.png")


def current_step(folder):
    """iq* steps to 1 A with the rotor held (J = 1000): iq against the first-order design."""
    wc = kalvor.Params()["foc.CurrentBandwidth"]
    tc = 1 / kalvor.Params()["control.FT"]
    r = kalvor.run(**{"control.Scheme": 1, "time.Uc0": 200.0, "motor.J": 1000.0,
                      "control.Kt": 10000.0, "control.SpeedPath": "0*10*", "foc.Imax": 1.0,
                      "time.Te": 0.006})
    import numpy as np

    t = r.t
    design = np.where(t > tc, 1 - np.exp(-(t - tc) * wc), 0.0)
    fig, ax = plt.subplots(figsize=(8, 4))
    ax.plot(t * 1e3, r["iq*"], "k--", label="iq*")
    ax.plot(t * 1e3, r["iq"], label="iq")
    ax.plot(t * 1e3, r["id"], label="id")
    ax.plot(t * 1e3, design, ":", label=f"first order, {wc:.0f} rad/s after one period")
    ax.set_xlabel("t [ms]")
    ax.set_ylabel("current [A]")
    ax.set_title("Step of iq* with the rotor held (default bandwidths, fT = 5 kHz)")
    ax.grid(alpha=0.3)
    ax.legend()
    save(fig, folder, "foc_current.png")


def open_t1(folder):
    """T1 opens at 0.16 s at 100 rad/s: speed and ia under both schemes."""
    fig, axes = plt.subplots(2, 2, figsize=(12, 6), sharex=True)
    for col, scheme in enumerate((0, 1)):
        r = kalvor.run(**{"control.Scheme": scheme, "time.Uc0": 200.0, "time.Te": 0.25,
                          "failures.FailT": [2, 0, 0, 0, 0, 0], "failures.Onset": 0.16})
        name = "field oriented" if scheme else "scalar U/f"
        axes[0, col].plot(r.t, r["omegaR"], label="omegaR")
        axes[0, col].plot(r.t, r["omegaR**"], "--", label="omegaR**")
        axes[0, col].set_title(f"{name}: T1 opens at 0.16 s")
        axes[1, col].plot(r.t, r["Ia"], lw=0.6)
        axes[0, col].set_ylabel("speed [rad/s]")
        axes[1, col].set_ylabel("ia [A]")
        axes[1, col].set_xlabel("t [s]")
        for ax in axes[:, col]:
            ax.axvline(0.16, color="r", lw=0.8, ls=":")
            ax.grid(alpha=0.3)
        axes[0, col].legend()
    fig.tight_layout()
    save(fig, folder, "foc_fault.png")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default="docs")
    folder = parser.parse_args().out
    diagram(folder)
    current_step(folder)
    open_t1(folder)


if __name__ == "__main__":
    main()
