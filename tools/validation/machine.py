"""The motor rebuilt from its exported constant tables and the documented geometry, without the
engine's model code: coil inductances, magnet flux linkages and their phase sums.

Everything here reads kalvor.tables() (the numbers `kalvor-cli tables` writes) and the machine
description: 18 coils of 39 turns in six groups (axes 45, 345, 285, 225, 165, 105 degrees; spans
110, 90, 70 degrees), active length 0.1035 m, air-gap radius 0.0465 m, four alternating magnets,
coil resistances 0.531666..., 0.483333..., 0.435 ohm per group of three.
"""

import numpy as np

import kalvor

PI = 3.141592  # the model's angle constant
TURNS = 39
LENGTH = 0.1035
RADIUS = 0.0465
POLE_PAIRS = 2
PHASE_OF_COIL = np.array([(k // 3) % 3 for k in range(18)])  # 0 a, 1 b, 2 c
COIL_R = np.array([0.531666666666667, 0.483333333333333, 0.435] * 6)
AXES = np.repeat(np.array([3, 23, 19, 15, 11, 7]) * PI / 12, 3)
SPANS = np.tile(PI * np.array([0.6111111111111112, 0.5, 0.3888888888888889]), 6)


class Machine:
    """The motor for one set of model options (harmonics and multipliers)."""

    def __init__(self, nh_ind=0, nh_flux=1, ml=1.0, mm=1.0, mr=(1.0, 1.0, 1.0)):
        t = kalvor.tables()
        self.nh_ind = min(int(nh_ind), 3)
        self.harmonics = [(t[f"A{h}"], t[f"B{h}"]) for h in range(1, self.nh_ind + 1)]
        self.l0 = t["L0"]
        scale = np.where(np.eye(18, dtype=bool), ml, mm) * TURNS * TURNS * LENGTH
        self.scale = scale
        self.flux_ab = t["flux"]
        self.h_flux = np.arange(1, int(nh_flux) + 2)  # the run uses harmonics 1..Nh+1
        self.phase_r = np.array([COIL_R[PHASE_OF_COIL == p].sum() * mr[p] for p in range(3)])
        self.incidence = np.zeros((3, 18))
        self.incidence[PHASE_OF_COIL, np.arange(18)] = 1.0
        # The phase sums of each (scaled) table: 3 x 3 matrices, linear in the entries.
        n = self.incidence
        self.phase_tables = [n @ (self.l0 * self.scale) @ n.T] + [
            (n @ (a * self.scale) @ n.T, n @ (b * self.scale) @ n.T) for a, b in self.harmonics]

    # Inductances ---------------------------------------------------------------------------
    def coil_l(self, beta):
        """18 x 18 coil inductances [H] at rotor angle beta [rad]."""
        s = self.l0.copy()
        for h, (a, b) in enumerate(self.harmonics, start=1):
            s = s + a * np.cos(4 * h * beta) + b * np.sin(4 * h * beta)
        return s * self.scale

    def coil_dl(self, beta):
        """d/dbeta of coil_l [H/rad]."""
        s = np.zeros((18, 18))
        for h, (a, b) in enumerate(self.harmonics, start=1):
            s = s + 4 * h * (-a * np.sin(4 * h * beta) + b * np.cos(4 * h * beta))
        return s * self.scale

    def phase_l(self, beta):
        """3 x 3 phase inductances [H]: the coil inductances summed over the coils of each phase."""
        return self.incidence @ self.coil_l(beta) @ self.incidence.T

    def phase_dl(self, beta):
        return self.incidence @ self.coil_dl(beta) @ self.incidence.T

    def magnetic_energy(self, beta, i_abc):
        """1/2 i^T L(beta) i for rows of phase currents at angles beta [J]."""
        beta = np.atleast_1d(beta)
        i_abc = np.atleast_2d(i_abc)

        def quadratic(m):
            return np.einsum("ri,ij,rj->r", i_abc, m, i_abc)

        out = quadratic(self.phase_tables[0])
        for h, (a, b) in enumerate(self.phase_tables[1:], start=1):
            out = out + np.cos(4 * h * beta) * quadratic(a) + np.sin(4 * h * beta) * quadratic(b)
        return 0.5 * out

    # Magnet flux -----------------------------------------------------------------------------
    def _arc_flux(self, alpha):
        """Antiderivative of the four magnets' flux per radian of air gap at angle alpha,
        without the mean term (it cancels over the alternating magnets) [Wb]."""
        a = self.flux_ab[self.h_flux, 0]
        b = self.flux_ab[self.h_flux, 1]
        h = self.h_flux
        total = 0.0
        for m in range(4):
            phi = m * PI / 2
            sign = 1 if m % 2 == 0 else -1
            x = np.multiply.outer(alpha - phi, h)
            total = total + sign * ((a / h) * np.sin(x) - (b / h) * np.cos(x)).sum(axis=-1)
        return total * LENGTH * RADIUS

    def _arc_density(self, alpha):
        a = self.flux_ab[self.h_flux, 0]
        b = self.flux_ab[self.h_flux, 1]
        h = self.h_flux
        total = 0.0
        for m in range(4):
            phi = m * PI / 2
            sign = 1 if m % 2 == 0 else -1
            x = np.multiply.outer(alpha - phi, h)
            total = total + sign * (a * np.cos(x) + b * np.sin(x)).sum(axis=-1)
        return total * LENGTH * RADIUS

    def coil_pm_flux(self, beta):
        """Magnet flux linkage of each coil [Wb]: shape (len(beta), 18)."""
        beta = np.atleast_1d(beta)[:, None]
        upper = AXES + SPANS / 2 - beta
        lower = AXES - SPANS / 2 - beta
        return TURNS * (self._arc_flux(upper) - self._arc_flux(lower))

    def phase_pm_flux(self, beta):
        """Magnet flux linkage of phases a, b, c [Wb]: shape (len(beta), 3)."""
        return self.coil_pm_flux(beta) @ self.incidence.T

    def phase_pm_dflux(self, beta):
        """d/dbeta of phase_pm_flux [Wb/rad]."""
        beta = np.atleast_1d(beta)[:, None]
        upper = AXES + SPANS / 2 - beta
        lower = AXES - SPANS / 2 - beta
        coil = -TURNS * (self._arc_density(upper) - self._arc_density(lower))
        return coil @ self.incidence.T

    # dq frame ----------------------------------------------------------------------------------
    def d_axis(self):
        """Rotor angle [rad] at which phase a's magnet flux linkage is largest (in the first
        electrical period)."""
        beta = np.linspace(0, PI, 20001)
        return float(beta[np.argmax(self.phase_pm_flux(beta)[:, 0])])

    def park(self, beta):
        """Amplitude-invariant Park matrix (d, q rows) at rotor angle beta; the phase order
        follows the machine (phase b's flux leads a's for a forward-turning rotor)."""
        theta = POLE_PAIRS * (beta - self.beta_d)
        shifts = np.array([0, 2 * np.pi / 3, -2 * np.pi / 3]) * self.sequence
        return (2 / 3) * np.array([np.cos(theta + shifts), -np.sin(theta + shifts)])

    def dq_parameters(self):
        """Ld, Lq and the d-q coupling Ldq [H], the magnet flux linkage psi_m [Wb], the d-axis
        angle [rad], and the largest relative variation of Ld, Lq and of the q-axis magnet flux
        over a turn."""
        self.beta_d = self.d_axis()
        betas = np.linspace(0, PI / 2, 91)
        best = None
        for sequence in (1, -1):  # the phase order whose q-axis magnet flux vanishes
            self.sequence = sequence
            ld, lq, psi_d, psi_q, ldq_all = [], [], [], [], []
            for beta in betas:
                k = self.park(beta)
                ldq = k @ self.phase_l(beta) @ (1.5 * k.T)
                psi = k @ self.phase_pm_flux(np.array([beta]))[0]
                ldq_all.append(ldq)
                ld.append(ldq[0, 0])
                lq.append(ldq[1, 1])
                psi_d.append(psi[0])
                psi_q.append(psi[1])
            if best is None or np.max(np.abs(psi_q)) < best[0]:
                best = (np.max(np.abs(psi_q)), sequence, ld, lq, psi_d, psi_q, ldq_all)
        _, self.sequence, ld, lq, psi_d, psi_q, ldq_all = best
        # The saliency axis sits slightly off the magnet axis: a small constant d-q coupling.
        self.ldq = np.mean(ldq_all, axis=0)
        ld, lq, psi_d = np.array(ld), np.array(lq), np.array(psi_d)
        self.ld, self.lq, self.psi_m = float(ld.mean()), float(lq.mean()), float(psi_d.mean())
        spread = max(np.ptp(ld) / self.ld, np.ptp(lq) / self.lq,
                     np.max(np.abs(psi_q)) / self.psi_m)
        return {"Ld": self.ld, "Lq": self.lq, "Ldq": float(self.ldq[0, 1]), "psi_m": self.psi_m,
                "beta_d": self.beta_d, "variation": float(spread)}
