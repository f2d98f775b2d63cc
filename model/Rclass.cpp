#include "Rclass.h"

#include "AllocFailure.h"

#include <algorithm>
#include <new>

namespace {

// Branch indexes of the devices T1..T6 and D1..D6 in m_pBranchR (index 0 unused).
constexpr int kTransistorBranch[7] = {0, 3, 7, 11, 5, 9, 13};
constexpr int kDiodeBranch[7] = {0, 2, 6, 10, 4, 8, 12};

// The other transistor of the leg: T4 for T1, T1 for T4, and so on.
constexpr int Opposite(int k) {
    return k <= 3 ? k + 3 : k - 3;
}

/// Every entry CalcR writes; the others stay zero.
constexpr CEntryPos kWritten[] = {{0, 0},   {10, 12}, {11, 13}, {12, 12}, {12, 13},
                                  {13, 12}, {13, 13}, {14, 15}, {15, 15}};

} // namespace

CRclass::CRclass(std::uint32_t n)
    : m_dRLoad(0.0), m_bSpeedControl(0), m_nCondition(0), m_dD(0.0),
      m_dC(1.0), m_nFailT{}, m_nFailD{}, m_dOnset(0.0), m_dClear(0.0),
      m_bFailuresActive(true), m_bTOnAtRow{}, m_pBranchR(nullptr), m_dCoilR{}, m_dMra(1.0),
      m_dMrb(1.0), m_dMrc(1.0), m_pR(nullptr), m_nSize(n) {
    m_pR = new (std::nothrow) CMatrix(n, n);
    m_pBranchR = new (std::nothrow) double[kBranchCount]();
    if (!m_pR || !m_pBranchR) {
        // The destructor does not run for an object whose constructor throws.
        delete m_pR;
        delete[] m_pBranchR;
        throw CAllocFailure("Błąd inicjalizacji m_pR");
    }
}

CRclass::~CRclass() {
    delete m_pR;
    delete[] m_pBranchR;
}

bool CRclass::Modulate(double angle, double h) {
    if (m_nCondition != 0)
        return true;
    if (m_dTc == -1.0)
        SixStepStep(h);
    else
        SvpwmStep(angle, h);
    return true;
}

void CRclass::ModulateAt(double angle, double amplitude, double t, double h) {
    if (m_nCondition != 0)
        return;
    if (m_dTc == -1.0)
        SixStepAt(t, h);
    else
        SvpwmAt(angle, amplitude, t, h);
}

void CRclass::KeepGates() {
    std::copy(m_dRT, m_dRT + 7, m_dGateRT);
}

double CRclass::NextEventTime(double t) const {
    double next = NextCommandTime(t);
    const double after = t + m_dEventTolerance;
    for (const double instant : {m_dOnset, m_dClear}) {
        if (instant > 0 && instant > after)
            next = std::min(next, instant);
    }
    return next;
}

bool CRclass::ConductAt(const double* it, const double* id) {
    if (m_nCondition != 0 && m_nCondition != 2) {
        CalcR();
        return false;
    }
    double before[kBranchCount];
    std::copy(m_pBranchR, m_pBranchR + kBranchCount, before);
    const bool inverter = m_nCondition == 0;
    if (inverter) {
        std::copy(m_dGateRT, m_dGateRT + 7, m_dRT);
        for (int k = 1; k <= 6; ++k) {
            if (m_dRT[k] == m_dRonT && it[k] * m_dRoffT < 0.3)
                m_dRT[k] = m_dRoffT;
        }
    }
    for (int k = 1; k <= 6; ++k) {
        bool blocked = id[k] * m_dRoffD < 0.6;
        if (inverter)
            blocked = blocked || TransistorConducts(k) || TransistorConducts(Opposite(k));
        m_dRD[k] = blocked ? m_dRoffD : m_dRonD;
    }
    CalcR();
    return !std::equal(before, before + kBranchCount, m_pBranchR);
}

double CRclass::CrossingFraction(const double* it0, const double* id0, const double* it1,
                                 const double* id1) const {
    double fraction = 1.0;
    auto crossing = [&fraction](double g0, double g1) {
        if ((g0 >= 0) != (g1 >= 0))
            fraction = std::min(fraction, g0 / (g0 - g1));
    };
    const bool inverter = m_nCondition == 0;
    for (int k = 1; k <= 6; ++k) {
        // A gated transistor with no failure code follows its current.
        if (inverter && FailCodeT(k) == 0 && m_dGateRT[k] == m_dRonT)
            crossing(it0[k] * m_dRoffT - 0.3, it1[k] * m_dRoffT - 0.3);
        // A diode follows its current unless a transistor of its leg conducts.
        const bool legOn = inverter && (TransistorConducts(k) || TransistorConducts(Opposite(k)));
        if (FailCodeD(k) == 0 && !legOn)
            crossing(id0[k] * m_dRoffD - 0.6, id1[k] * m_dRoffD - 0.6);
    }
    return fraction;
}

bool CRclass::UpdateConduction(double IT1, double ID1, double IT2, double ID2, double IT3,
                               double ID3, double IT4, double ID4, double IT5, double ID5,
                               double IT6, double ID6) {
    const double it[7] = {0.0, IT1, IT2, IT3, IT4, IT5, IT6};
    const double id[7] = {0.0, ID1, ID2, ID3, ID4, ID5, ID6};
    for (int k = 1; k <= 6; ++k) {
        if (it[k] * m_dRoffT < 0.3)
            m_dRT[k] = m_dRoffT;
    }
    const bool inverter = m_nCondition == 0;
    for (int k = 1; k <= 6; ++k) {
        bool blocked = id[k] * m_dRoffD < 0.6;
        if (inverter) {
            const int opposite = Opposite(k);
            // A diode is reverse-biased by the DC voltage while a transistor of its leg
            // conducts; without this it would short the link for one step at every commutation.
            const bool legOn = TransistorConducts(k) || TransistorConducts(opposite);
            // A transistor that has just stopped conducting leaves its current to this diode;
            // the last row still shows the diode without current, and for one step the phase
            // current would have no path but the off-resistances.
            const bool takesOver = (m_bTOnAtRow[k] && -it[k] * m_dRoffT >= 0.6) ||
                                   (m_bTOnAtRow[opposite] && it[opposite] * m_dRoffT >= 0.6);
            blocked = legOn || (blocked && !takesOver);
        }
        m_dRD[k] = blocked ? m_dRoffD : m_dRonD;
    }
    return true;
}

void CRclass::SelectFailures(double t) {
    // Exact timing may land a step within its tolerance before the instant (another instant
    // there, summed differently); NextEventTime counts that as reached, and so does this.
    const double tolerance = m_dEventTolerance;
    m_bFailuresActive =
        (m_dOnset <= 0 || t >= m_dOnset - tolerance) && (m_dClear <= 0 || t < m_dClear - tolerance);
}

bool CRclass::TransistorConducts(int k) const {
    const int code = FailCodeT(k);
    return code == 1 || (code != 2 && m_dRT[k] == m_dRonT);
}

void CRclass::KeepTransistorStates() {
    for (int k = 1; k <= 6; ++k)
        m_bTOnAtRow[k] = TransistorConducts(k);
}

void CRclass::SetGates(const bool* pbGates) {
    for (int k = 1; k <= 6; ++k)
        m_dRT[k] = pbGates[k] ? m_dRonT : m_dRoffT;
}

void CRclass::CalcR() {
    const double multiplier[3] = {m_dMra, m_dMrb, m_dMrc};
    for (int i = 0; i < 18; ++i)
        m_dCoilR[i] = multiplier[(i / 3) % 3] * s_dCoilRTable[i % 3];

    double* branch = m_pBranchR;
    switch (m_nCondition) {
    case 0:
        for (int k = 1; k <= 6; ++k) {
            if (FailCodeT(k) == 1)
                m_dRT[k] = m_dRonT;
            else if (FailCodeT(k) == 2)
                m_dRT[k] = m_dRoffT;
            if (FailCodeD(k) == 1)
                m_dRD[k] = m_dRonD;
            else if (FailCodeD(k) == 2)
                m_dRD[k] = m_dRoffD;
            branch[kTransistorBranch[k]] = m_dRT[k];
            branch[kDiodeBranch[k]] = m_dRD[k];
        }
        break;
    case 1:
        for (int b = 2; b < kBranchCount; ++b)
            branch[b] = 0.0001;
        break;
    case 2:
        for (int k = 1; k <= 6; ++k) {
            if (FailCodeD(k) == 1)
                m_dRD[k] = m_dRonD;
            else if (FailCodeD(k) == 2)
                m_dRD[k] = m_dRoffD;
            branch[kTransistorBranch[k]] = 10000.0;
            branch[kDiodeBranch[k]] = m_dRD[k];
        }
        break;
    case 3:
        // Four devices of a leg in parallel towards the DC side: Rl per phase.
        for (int b = 2; b < kBranchCount; ++b)
            branch[b] = 4 * m_dRLoad;
        break;
    default:
        break;
    }

    if (m_nSize < 16)
        return;
    // Sums taken term by term from the left, as the equations write them.
    constexpr int phaseA[6] = {0, 1, 2, 9, 10, 11};
    constexpr int phaseB[6] = {3, 4, 5, 12, 13, 14};
    constexpr int phaseC[6] = {6, 7, 8, 15, 16, 17};
    double r1212 = branch[5] + branch[8];
    double r1313 = branch[9] + branch[12];
    double coilsB = 0.0;
    for (int i : phaseA)
        r1212 += m_dCoilR[i];
    for (int i : phaseB) {
        r1212 += m_dCoilR[i];
        r1313 += m_dCoilR[i];
        coilsB += m_dCoilR[i];
    }
    for (int i : phaseC)
        r1313 += m_dCoilR[i];

    double** r = m_pR->m_pData;
    r[0][0] = 1 / m_dC;
    r[10][12] = -1.0;
    r[11][13] = -1.0;
    r[12][12] = r1212;
    r[12][13] = -coilsB;
    r[13][12] = -coilsB;
    r[13][13] = r1313;
    r[14][15] = -1.0;
    r[15][15] = m_dD;
}

std::span<const CEntryPos> CRclass::WrittenEntries() {
    return kWritten;
}

bool CRclass::GetResistances(double* pBranch, double* pCoil) const {
    for (int b = 0; b < kBranchCount; ++b)
        pBranch[b] = m_pBranchR[b];
    for (int i = 0; i < 18; ++i)
        pCoil[i] = m_dCoilR[i];
    return true;
}
