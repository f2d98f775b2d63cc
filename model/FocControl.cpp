#include "FocControl.h"

#include "Control.h"
#include "Gclass.h"
#include "Mclass.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr int kCoils = 18;
constexpr int kPolePairs = CDqModel::kPolePairs;
constexpr double kTorquePerFlux = 1.5 * kPolePairs; // Te = 3/2 p (psid iq - psiq id)
// Grid of the d-axis search over one electrical period, and of the dq means.
constexpr int kAxisGrid = 3600;
constexpr int kMeanGrid = 180;
// Phase amplitude [V] per unit of the SVPWM amplitude factor and volt of the link: a table
// vector of length kVecScale is (2/3) Udc in phase a.
constexpr double kPhasePerFactor = (2.0 / 3.0) / CControl::kVecScale;
// Largest amplitude factor of linear SVPWM: the hexagon's inner radius in table units.
constexpr double kLinearFactor = 0.7071;

constexpr int CoilPhase(int coil) {
    return (coil / 3) % 3;
}

double WrapPi(double a) {
    a = std::remainder(a, kTwoPi);
    return a;
}

double Clamp(double x, double limit) {
    return std::clamp(x, -limit, limit);
}

void PhaseMagnetFlux(CGclass& G, double beta, double psi[3]) {
    double coil[kCoils];
    G.CoilPmFluxSums(beta, coil);
    psi[0] = psi[1] = psi[2] = 0.0;
    for (int i = 0; i < kCoils; ++i)
        psi[CoilPhase(i)] += coil[i];
}

void PhaseInductances(CMclass& M, double beta, double L[3][3]) {
    double coil[kCoils][3];
    M.CoilPhaseInductances(beta, coil);
    for (int p = 0; p < 3; ++p)
        for (int q = 0; q < 3; ++q)
            L[p][q] = 0.0;
    for (int i = 0; i < kCoils; ++i)
        for (int q = 0; q < 3; ++q)
            L[CoilPhase(i)][q] += coil[i][q];
}

// Rows d and q of the amplitude-invariant Park matrix at electrical angle theta: 2/3 cos and
// -2/3 sin of theta + s_k, s = (0, +120, -120) deg times the sequence. One sine and cosine,
// the shifted ones by the addition theorems (the run evaluates it at every stored row).
void ParkRows(double theta, int sequence, double K[2][3]) {
    constexpr double kHalfSqrt3 = 0.86602540378443864676;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double sinShift = sequence * kHalfSqrt3; // sin(+-120 deg); cos(+-120 deg) = -1/2
    const double cosK[3] = {c, -0.5 * c - sinShift * s, -0.5 * c + sinShift * s};
    const double sinK[3] = {s, -0.5 * s + sinShift * c, -0.5 * s - sinShift * c};
    for (int k = 0; k < 3; ++k) {
        K[0][k] = (2.0 / 3.0) * cosK[k];
        K[1][k] = -(2.0 / 3.0) * sinK[k];
    }
}

// The rotor angle in [0, pi) (one electrical period) of the largest phase-a magnet flux: the
// best grid point refined by the parabola through it and its neighbours.
double FindDAxis(CGclass& G) {
    const double step = std::numbers::pi / kAxisGrid;
    std::vector<double> psiA(kAxisGrid);
    for (int n = 0; n < kAxisGrid; ++n) {
        double psi[3];
        PhaseMagnetFlux(G, n * step, psi);
        psiA[n] = psi[0];
    }
    const int best = int(std::max_element(psiA.begin(), psiA.end()) - psiA.begin());
    const double left = psiA[(best + kAxisGrid - 1) % kAxisGrid];
    const double mid = psiA[best];
    const double right = psiA[(best + 1) % kAxisGrid];
    const double curvature = left - 2 * mid + right;
    const double offset = curvature < 0 ? 0.5 * (left - right) / curvature : 0.0;
    return std::fmod((best + offset) * step + std::numbers::pi, std::numbers::pi);
}

} // namespace

void CDqModel::Park(double ia, double ib, double beta, double& id, double& iq) const {
    double K[2][3];
    ParkRows(ElectricalAngle(beta), m_nSequence, K);
    const double ic = -ia - ib;
    id = K[0][0] * ia + K[0][1] * ib + K[0][2] * ic;
    iq = K[1][0] * ia + K[1][1] * ib + K[1][2] * ic;
}

double CDqModel::Torque(double id, double iq) const {
    const double psid = m_dLd * id + m_dLdq * iq + m_dPsiM;
    const double psiq = m_dLdq * id + m_dLq * iq;
    return kTorquePerFlux * (psid * iq - psiq * id);
}

CDqModel CDqModel::Derive(CMclass& M, CGclass& G, double phaseR) {
    CDqModel dq;
    dq.m_dR = phaseR;
    dq.m_dBetaD = FindDAxis(G);

    const double step = std::numbers::pi / kMeanGrid;
    double bestQ = INFINITY;
    int bestSequence = 1;
    for (int sequence : {1, -1}) {
        dq.m_nSequence = sequence;
        double sumD = 0, sumQ = 0, sumDQ = 0, sumPsi = 0, largestQ = 0;
        for (int n = 0; n < kMeanGrid; ++n) {
            const double beta = dq.m_dBetaD + n * step;
            double K[2][3];
            ParkRows(dq.ElectricalAngle(beta), sequence, K);
            double L[3][3];
            PhaseInductances(M, beta, L);
            double psi[3];
            PhaseMagnetFlux(G, beta, psi);
            // Ldq = K L (3/2 K^T): the inductance seen by id and iq.
            double KL[2][3] = {};
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 3; ++c)
                    for (int k = 0; k < 3; ++k)
                        KL[r][c] += K[r][k] * L[k][c];
            double Ldq[2][2] = {};
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 2; ++c)
                    for (int k = 0; k < 3; ++k)
                        Ldq[r][c] += 1.5 * KL[r][k] * K[c][k];
            sumD += Ldq[0][0];
            sumQ += Ldq[1][1];
            sumDQ += 0.5 * (Ldq[0][1] + Ldq[1][0]);
            sumPsi += K[0][0] * psi[0] + K[0][1] * psi[1] + K[0][2] * psi[2];
            const double psiQ = K[1][0] * psi[0] + K[1][1] * psi[1] + K[1][2] * psi[2];
            largestQ = std::max(largestQ, std::fabs(psiQ));
        }
        if (largestQ < bestQ) {
            bestQ = largestQ;
            bestSequence = sequence;
            dq.m_dLd = sumD / kMeanGrid;
            dq.m_dLq = sumQ / kMeanGrid;
            dq.m_dLdq = sumDQ / kMeanGrid;
            dq.m_dPsiM = sumPsi / kMeanGrid;
        }
    }
    dq.m_nSequence = bestSequence;
    return dq;
}

CFocControl::CFocControl(const CFocSettings& settings, const CDqModel& dq, double J, double Tc)
    : m_settings(settings), m_dq(dq), m_dJ(J), m_dTc(Tc), m_dSampleTime(0.0) {
    const double wc = settings.m_dCurrentBandwidth;
    const double ws = settings.m_dSpeedBandwidth;
    m_dKpD = wc * dq.m_dLd;
    m_dKpQ = wc * dq.m_dLq;
    m_dKiI = wc * dq.m_dR;
    m_dKpW = J * ws;
    m_dKiW = m_dKpW * ws / 4;
    m_dTmax = MtpaTorque(settings.m_dImax);
}

void CFocControl::MtpaCurrents(double I, double& id, double& iq) const {
    const double dL = m_dq.m_dLd - m_dq.m_dLq;
    const double psi = m_dq.m_dPsiM;
    id = 0.0;
    if (m_settings.m_bMtpa && dL != 0.0)
        id = 2 * dL * I * I / (psi + std::sqrt(psi * psi + 8 * dL * dL * I * I));
    iq = std::sqrt(std::max(0.0, I * I - id * id));
}

double CFocControl::MtpaTorque(double I) const {
    double id = 0, iq = 0;
    MtpaCurrents(I, id, iq);
    return kTorquePerFlux * iq * (m_dq.m_dPsiM + (m_dq.m_dLd - m_dq.m_dLq) * id);
}

void CFocControl::CurrentReference(double T, double& id, double& iq) const {
    const double Imax = m_settings.m_dImax;
    const double torque = std::min(std::fabs(T), m_dTmax);
    if (!m_settings.m_bMtpa) {
        id = 0.0;
        iq = std::min(torque / (kTorquePerFlux * m_dq.m_dPsiM), Imax);
    } else {
        // The torque grows with the current along the MTPA line: bisection on |i|.
        double low = 0.0, high = Imax;
        for (int n = 0; n < 48 && high - low > 1e-9 * Imax; ++n) {
            const double mid = 0.5 * (low + high);
            (MtpaTorque(mid) < torque ? low : high) = mid;
        }
        MtpaCurrents(0.5 * (low + high), id, iq);
    }
    if (T < 0)
        iq = -iq;
}

double CFocControl::Step(CControl& control, const double* x, double t, double h, double dC) {
    control.StepRamp(x[15], h);
    if (control.CarrierPeriodStarts(h)) {
        ApplyPending(control, t);
        Sample(control, x, t, dC);
    }
    return control.m_dAngle;
}

double CFocControl::StepAt(CControl& control, const double* x, double t, double h, double dC,
                           double omegaMid) {
    if (control.CarrierPeriodDueAt(t)) {
        ApplyPending(control, t);
        Sample(control, x, t, dC);
    }
    control.StepRampMid(omegaMid, h);
    return control.m_dAngle;
}

CFocControl::CStepState CFocControl::SaveStepState() const {
    return {m_dIdRef,
            m_dIqRef,
            m_dUdRef,
            m_dUqRef,
            m_dIntD,
            m_dIntQ,
            m_dIntW,
            m_dRampSampled,
            m_dSampleTime,
            m_dPendingAngle,
            m_dPendingAmplitude,
            m_dPendingPhase,
            m_dAppliedPhase,
            m_dAppliedTime,
            m_dOmegaES,
            m_bSampled,
            m_bApplied};
}

void CFocControl::RestoreStepState(const CStepState& s) {
    m_dIdRef = s.m_dIdRef;
    m_dIqRef = s.m_dIqRef;
    m_dUdRef = s.m_dUdRef;
    m_dUqRef = s.m_dUqRef;
    m_dIntD = s.m_dIntD;
    m_dIntQ = s.m_dIntQ;
    m_dIntW = s.m_dIntW;
    m_dRampSampled = s.m_dRampSampled;
    m_dSampleTime = s.m_dSampleTime;
    m_dPendingAngle = s.m_dPendingAngle;
    m_dPendingAmplitude = s.m_dPendingAmplitude;
    m_dPendingPhase = s.m_dPendingPhase;
    m_dAppliedPhase = s.m_dAppliedPhase;
    m_dAppliedTime = s.m_dAppliedTime;
    m_dOmegaES = s.m_dOmegaES;
    m_bSampled = s.m_bSampled;
    m_bApplied = s.m_bApplied;
}

void CFocControl::ApplyPending(CControl& control, double t) {
    control.m_dAngle = m_dPendingAngle;
    control.m_dAmplitude = m_dPendingAmplitude;
    // omegaU: how fast the applied voltage vector turns from one period to the next.
    double omegaU = m_dOmegaES;
    if (m_bApplied && t > m_dAppliedTime)
        omegaU = WrapPi(m_dPendingPhase - m_dAppliedPhase) / (t - m_dAppliedTime);
    control.m_dOmegaU = omegaU;
    m_dAppliedPhase = m_dPendingPhase;
    m_dAppliedTime = t;
    m_bApplied = m_dPendingAmplitude > 0;
}

void CFocControl::Sample(const CControl& control, const double* x, double t, double dC) {
    m_dSampleTime = t;
    const double beta = x[14];
    const double omega = x[15];
    const double Udc = dC > 0 ? std::max(0.0, x[0] / dC) : 0.0;
    double id = 0, iq = 0;
    m_dq.Park(x[12], x[13] - x[12], beta, id, iq);
    const double theta = m_dq.ElectricalAngle(beta);
    const double we = kPolePairs * omega;
    m_dOmegaES = we;
    const double Tc = m_dTc;

    // Speed PI on the ramp's output, with the torque that accelerates the inertia as the ramp
    // does fed forward: the integral then holds only the load.
    const double ramp = control.m_dOmegaRRamp;
    const double accelerate = m_bSampled ? m_dJ * (ramp - m_dRampSampled) / Tc : 0.0;
    m_dRampSampled = ramp;
    m_bSampled = true;
    const double e = ramp - omega;
    const double torque = Clamp(accelerate + m_dKpW * e + m_dIntW + m_dKiW * Tc * e, m_dTmax);
    m_dIntW += m_dKiW * Tc * (torque - accelerate - m_dIntW) / (m_dKpW + m_dKiW * Tc);
    CurrentReference(torque, m_dIdRef, m_dIqRef);

    // Current PIs with decoupling and back-EMF feed-forward.
    const double ed = m_dIdRef - id;
    const double eq = m_dIqRef - iq;
    const double ffd = -we * m_dq.m_dLq * iq;
    const double ffq = we * (m_dq.m_dLd * id + m_dq.m_dPsiM);
    const double udWanted = m_dKpD * ed + m_dIntD + m_dKiI * Tc * ed + ffd;
    const double uqWanted = m_dKpQ * eq + m_dIntQ + m_dKiI * Tc * eq + ffq;
    // Linear SVPWM from the measured link, the d axis first.
    const double Vmax = kLinearFactor * kPhasePerFactor * Udc;
    const double ud = Clamp(udWanted, Vmax);
    const double uq = Clamp(uqWanted, std::sqrt(std::max(0.0, Vmax * Vmax - ud * ud)));
    m_dIntD += m_dKiI * Tc * (ud - ffd - m_dIntD) / (m_dKpD + m_dKiI * Tc);
    m_dIntQ += m_dKiI * Tc * (uq - ffq - m_dIntQ) / (m_dKpQ + m_dKiI * Tc);
    m_dUdRef = ud;
    m_dUqRef = uq;

    // Applied in the next period, on average 1.5 periods after this sample.
    const double V = std::hypot(ud, uq);
    const double phase = theta + we * 1.5 * Tc + std::atan2(uq, ud);
    m_dPendingPhase = phase;
    m_dPendingAmplitude = Udc > 0 ? std::min(V / (kPhasePerFactor * Udc), kLinearFactor) : 0.0;
    // The modulator turns its vector against its angle: angle = sequence * phase.
    double angle = std::fmod(m_dq.m_nSequence * phase, kTwoPi);
    if (angle < 0)
        angle += kTwoPi;
    m_dPendingAngle = angle;
}
