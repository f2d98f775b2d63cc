#include "EnergyLedger.h"

#include "Mclass.h"

#include <cmath>
#include <vector>

namespace {

constexpr int kLoops = 12; // ten inverter loops and the two stator loops

// The loop whose equation is row `row` of M: the inverter loops' rows 0..9 and the stator
// loops' rows 12 and 13; -1 for the kinematic rows.
constexpr int Loop(int row) {
    return row < 10 ? row : (row == 12 || row == 13) ? row - 2 : -1;
}

// An entry of M that couples loop k's equation with loop j's current, counted twice when the
// symmetric entry (j, k) is left out.
struct CLoopEntry {
    int m_nRow, m_nCol, m_nK, m_nJ;
    double m_dWeight;
};

// The resistive entries of M on and above the loops' diagonal (M is symmetric there).
const std::vector<CLoopEntry>& ResistiveEntries() {
    static const std::vector<CLoopEntry> entries = [] {
        std::vector<CLoopEntry> out;
        for (const CEntryPos& e : CMclass::WrittenEntries()) {
            const int k = Loop(e.m_nRow);
            const int j = e.m_nCol;
            if (k >= 0 && j < kLoops && k <= j)
                out.push_back({e.m_nRow, e.m_nCol, k, j, k == j ? 1.0 : 2.0});
        }
        return out;
    }();
    return entries;
}

} // namespace

CEnergyLedger::CPower CEnergyLedger::PowerAt(const double* x, const double* y,
                                             const CCircuit& circuit) {
    double c[kLoops];
    for (int k = 0; k < 10; ++k)
        c[k] = y[k];
    c[10] = x[12];
    c[11] = x[13];
    const double* const* M = circuit.m_ppM;
    const double* const* R = circuit.m_ppR;
    // The resistances shared with an inverter loop are in M (columns 0..9 of the stator rows,
    // columns 10 and 11 of the inverter rows, whose unknowns are the stator loop currents);
    // the stator loops' own resistance is in R's stator block. M's other entries are the
    // inductances and the kinematic rows.
    double resistive = 0.0;
    for (const CLoopEntry& e : ResistiveEntries())
        resistive += e.m_dWeight * c[e.m_nK] * M[e.m_nRow][e.m_nCol] * c[e.m_nJ];
    for (int k = 10; k < kLoops; ++k)
        for (int j = 10; j < kLoops; ++j)
            resistive += c[k] * R[k + 2][j + 2] * c[j];
    const double* u = circuit.m_adSupply;
    const double omega = x[15];
    CPower p;
    p.m_dSource = circuit.m_dUd * (c[0] + c[1]) + (u[0] - u[1]) * x[12] + (u[1] - u[2]) * x[13];
    p.m_dLoad = circuit.m_dT * omega;
    p.m_dResistive = resistive;
    p.m_dDamping = circuit.m_dD * omega * omega;
    return p;
}

CEnergyLedger::CStored CEnergyLedger::StoredAt(const double* x, const CCircuit& circuit) {
    const double* const* M = circuit.m_ppM;
    const double i1 = x[12];
    const double i2 = x[13];
    CStored s;
    s.m_dCapacitor = 0.5 * x[0] * x[0] / circuit.m_dC;
    s.m_dMagnetic =
        0.5 * (M[12][12] * i1 * i1 + (M[12][13] + M[13][12]) * i1 * i2 + M[13][13] * i2 * i2);
    s.m_dKinetic = 0.5 * circuit.m_dJ * x[15] * x[15];
    return s;
}

void CEnergyLedger::Start(const CStored& stored) {
    *this = CEnergyLedger();
    m_bKept = true;
    m_start = stored;
    m_end = stored;
}

void CEnergyLedger::AddStep(double h, const CPower& mean) {
    m_energy.m_dSource += h * mean.m_dSource;
    m_energy.m_dLoad += h * mean.m_dLoad;
    m_energy.m_dResistive += h * mean.m_dResistive;
    m_energy.m_dDamping += h * mean.m_dDamping;
}

void CEnergyLedger::Finish(const CStored& stored) {
    m_end = stored;
}

double CEnergyLedger::Residual() const {
    return m_energy.m_dSource + m_energy.m_dLoad - m_energy.m_dResistive - m_energy.m_dDamping -
           (m_end.Total() - m_start.Total());
}

double CEnergyLedger::RelativeResidual() const {
    return Residual() / (std::fabs(m_energy.m_dSource) + std::fabs(m_energy.m_dLoad));
}
