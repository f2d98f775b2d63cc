// The result row of an output point: currents, voltages, speeds, torque and flux linkages
// derived from the state rows, each column addressed by its name.
#include "Coils.h"
#include "DeviceCharges.h"
#include "ResultColumns.h"
#include "Solver.h"

void CSolver::CalcResultRow(std::uint32_t k) {
    CalcResultRow(m_pRes->m_pData[k], m_pRes->m_pData[k - 1], m_ppResTab[k], m_ppResTab[k - 1],
                  m_pFluxTab[k]);
}

void CSolver::CalcResultRow(const double* P1, const double* P0, double* T1, double* T0,
                            double* pFlux) {
    // x[i] of row k is P1[i + 1].
    const double dt = P1[0] - P0[0];
    auto D = [dt](double now, double before) { return (now - before) / dt; };
    auto X1 = [P1](int i) { return P1[i + 1]; };
    auto X0 = [P0](int i) { return P0[i + 1]; };

    T1[kColT] = P1[0];
    T1[kColIa] = X1(12);
    T1[kColIb] = X1(13) - X1(12);
    T1[kColIc] = -X1(13);
    T1[kColIU] = D(X1(0) + X1(1), X0(0) + X0(1));
    T1[kColIC] = D(X1(0), X0(0));
    T1[kColIDC] = T1[kColIU] - T1[kColIC];
    double q1[6];
    double q0[6];
    TransistorCharges(P1 + 1, q1);
    TransistorCharges(P0 + 1, q0);
    for (int k = 0; k < 6; ++k)
        T1[kColIT1 + k] = D(q1[k], q0[k]);
    DiodeCharges(P1 + 1, q1);
    DiodeCharges(P0 + 1, q0);
    for (int k = 0; k < 6; ++k)
        T1[kColID1 + k] = D(q1[k], q0[k]);
    T1[kColOmegaR] = X1(15);
    T1[kColBetaR] = X1(14);

    // Coil flux linkages: every coil j carries its own phase's current.
    const double beta = T1[kColBetaR];
    const double phaseI[3] = {T1[kColIa], T1[kColIb], T1[kColIc]};
    double* flux = pFlux;
    // Without harmonics the inductances do not depend on beta: their phase sums are kept.
    if (m_pMObject->m_nNh != 0 || !m_bPhaseLValid) {
        m_pMObject->CoilPhaseInductances(beta, m_adPhaseL);
        m_bPhaseLValid = true;
    }
    double magnets[kCoils];
    m_pGObject->CoilPmFluxSums(beta, magnets);
    double phaseFlux[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < kCoils; ++i) {
        const double* sums = m_adPhaseL[i];
        const double psi =
            sums[0] * phaseI[0] + sums[1] * phaseI[1] + sums[2] * phaseI[2] + magnets[i];
        flux[i] = psi;
        phaseFlux[CoilPhase(i)] += psi;
    }
    T1[kColPsia] = phaseFlux[0];
    T1[kColPsib] = phaseFlux[1];
    T1[kColPsic] = phaseFlux[2];
    if (T0 == m_ppResTab[0]) {
        // Row 0 has no flux of its own: it shows the first point's, so that point's voltages
        // are the resistive drops.
        T0[kColPsia] = T1[kColPsia];
        T0[kColPsib] = T1[kColPsib];
        T0[kColPsic] = T1[kColPsic];
    }

    double phaseR[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < kCoils; ++i)
        phaseR[CoilPhase(i)] += m_pRObject->m_dCoilR[i];
    const double dtRes = T1[kColT] - T0[kColT];
    T1[kColUa] = (T1[kColPsia] - T0[kColPsia]) / dtRes + phaseR[0] * T1[kColIa];
    T1[kColUb] = (T1[kColPsib] - T0[kColPsib]) / dtRes + phaseR[1] * T1[kColIb];
    T1[kColUc] = (T1[kColPsic] - T0[kColPsic]) / dtRes + phaseR[2] * T1[kColIc];
    T1[kColUab] = T1[kColUa] - T1[kColUb];
    T1[kColUbc] = T1[kColUb] - T1[kColUc];
    T1[kColUca] = T1[kColUc] - T1[kColUa];
    T1[kColVX] = T1[kColUa] + T1[kColUb] + T1[kColUc];
}
