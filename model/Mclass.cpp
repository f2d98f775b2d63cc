#include "Mclass.h"

#include "AllocFailure.h"
#include "Tables.h"
#include "WindingSums.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace {

constexpr int kBranchCount = 14;

/// Harmonic factors cos(4h beta), sin(4h beta) for h = 1..3, in the table order A1, B1 .. B3.
void HarmonicFactors(double beta, std::uint32_t nh, double* pF) {
    for (std::uint32_t h = 1; h <= 3; ++h) {
        const bool used = h <= nh;
        pF[2 * h - 2] = used ? std::cos(4 * h * beta) : 0.0;
        pF[2 * h - 1] = used ? std::sin(4 * h * beta) : 0.0;
    }
}

/// Every entry CalcM writes; the others stay zero.
constexpr CEntryPos kWritten[] = {
    {0, 0},  {0, 1},   {1, 0},   {1, 1},   {1, 2},   {1, 3},   {2, 1},  {2, 2},  {2, 4},
    {3, 1},  {3, 3},   {3, 4},   {3, 10},  {4, 2},   {4, 3},   {4, 4},  {4, 5},  {4, 6},
    {4, 10}, {5, 4},   {5, 5},   {5, 7},   {6, 4},   {6, 6},   {6, 7},  {6, 10}, {6, 11},
    {7, 5},  {7, 6},   {7, 7},   {7, 8},   {7, 9},   {7, 11},  {8, 7},  {8, 8},  {9, 7},
    {9, 9},  {9, 11},  {10, 10}, {11, 11}, {12, 3},  {12, 4},  {12, 6}, {13, 6}, {13, 7},
    {13, 9}, {14, 14}, {15, 15}, {12, 12}, {12, 13}, {13, 12}, {13, 13}};

} // namespace

CMclass::CMclass(std::uint32_t n)
    : m_nNh(0), m_dJ(1e-06), m_dMm(1.0), m_dMl(1.0), m_pBranchR(nullptr), m_pCoilR(nullptr),
      m_pM(nullptr), m_nSize(n), m_dLoopMl(std::numeric_limits<double>::quiet_NaN()),
      m_dLoopMm(std::numeric_limits<double>::quiet_NaN()), m_adLoop{},
      m_dCoilMl(std::numeric_limits<double>::quiet_NaN()),
      m_dCoilMm(std::numeric_limits<double>::quiet_NaN()), m_adCoilPhase{} {
    m_pM = new (std::nothrow) CMatrix(n, n);
    m_pBranchR = new (std::nothrow) double[kBranchCount]();
    m_pCoilR = new (std::nothrow) double[kCoilCount]();
    if (!m_pM || !m_pBranchR || !m_pCoilR) {
        // The destructor does not run for an object whose constructor throws.
        delete m_pM;
        delete[] m_pBranchR;
        delete[] m_pCoilR;
        throw CAllocFailure("Błąd inicjalizacji m_pM");
    }
}

CMclass::~CMclass() {
    delete m_pM;
    delete[] m_pBranchR;
    delete[] m_pCoilR;
}

bool CMclass::SetResistances(const double* pBranch, const double* pCoil) {
    std::copy(pBranch, pBranch + kBranchCount, m_pBranchR);
    std::copy(pCoil, pCoil + kCoilCount, m_pCoilR);
    return true;
}

double CMclass::Inductance(int i, int j, double beta) const {
    double s = g_adL0[i][j];
    if (m_nNh >= 1)
        s += g_adA1[i][j] * std::cos(4 * beta) + g_adB1[i][j] * std::sin(4 * beta);
    if (m_nNh >= 2)
        s += g_adA2[i][j] * std::cos(8 * beta) + g_adB2[i][j] * std::sin(8 * beta);
    if (m_nNh >= 3)
        s += g_adA3[i][j] * std::cos(12 * beta) + g_adB3[i][j] * std::sin(12 * beta);
    s = s * 39 * 39 * 0.1035;
    return i == j ? s * m_dMl : s * m_dMm;
}

void CMclass::CoilInductances(double beta, double (*pL)[18]) const {
    const double c4 = std::cos(4 * beta), s4 = std::sin(4 * beta);
    const double c8 = std::cos(8 * beta), s8 = std::sin(8 * beta);
    const double c12 = std::cos(12 * beta), s12 = std::sin(12 * beta);
    for (int i = 0; i < kCoilCount; ++i)
        for (int j = 0; j < kCoilCount; ++j) {
            double s = g_adL0[i][j];
            if (m_nNh >= 1)
                s += g_adA1[i][j] * c4 + g_adB1[i][j] * s4;
            if (m_nNh >= 2)
                s += g_adA2[i][j] * c8 + g_adB2[i][j] * s8;
            if (m_nNh >= 3)
                s += g_adA3[i][j] * c12 + g_adB3[i][j] * s12;
            s = s * 39 * 39 * 0.1035;
            pL[i][j] = i == j ? s * m_dMl : s * m_dMm;
        }
}

std::span<const CEntryPos> CMclass::WrittenEntries() {
    return kWritten;
}

void CMclass::CoilPhaseInductances(double beta, double (*pOut)[3]) {
    // Linear in the table entries: the phase sums of each table are kept, only the harmonic
    // factors depend on beta.
    if (!(m_dCoilMl == m_dMl && m_dCoilMm == m_dMm)) {
        static const double(*const apTables[7])[kCoilCount] = {g_adL0, g_adA1, g_adB1, g_adA2,
                                                               g_adB2, g_adA3, g_adB3};
        for (int t = 0; t < 7; ++t)
            for (int i = 0; i < kCoilCount; ++i) {
                double sums[3] = {0.0, 0.0, 0.0};
                for (int j = 0; j < kCoilCount; ++j)
                    sums[(j / 3) % 3] +=
                        apTables[t][i][j] * 39 * 39 * 0.1035 * (i == j ? m_dMl : m_dMm);
                for (int p = 0; p < 3; ++p)
                    m_adCoilPhase[t][i][p] = sums[p];
            }
        m_dCoilMl = m_dMl;
        m_dCoilMm = m_dMm;
    }
    double f[6];
    HarmonicFactors(beta, std::min<std::uint32_t>(m_nNh, 3), f);
    for (int i = 0; i < kCoilCount; ++i)
        for (int p = 0; p < 3; ++p) {
            double s = m_adCoilPhase[0][i][p];
            for (int t = 1; t < 7; ++t)
                s += m_adCoilPhase[t][i][p] * f[t - 1];
            pOut[i][p] = s;
        }
}

void CMclass::UpdateLoopSums() {
    // Bitwise comparison would also do; == is enough since NaN multipliers just recompute.
    if (m_dLoopMl == m_dMl && m_dLoopMm == m_dMm)
        return;
    double pair[CWindingSums::kTableCount][CWindingSums::kPairCount];
    CWindingSums::Weighted(m_dMl, m_dMm, pair);
    for (int t = 0; t < CWindingSums::kTableCount; ++t) {
        const double* p = pair[t];
        using W = CWindingSums;
        m_adLoop[t][0] = p[W::kAA] - 2 * p[W::kAB] + p[W::kBB];
        m_adLoop[t][1] = p[W::kAB] - p[W::kAC] - p[W::kBB] + p[W::kBC];
        m_adLoop[t][2] = p[W::kBB] - 2 * p[W::kBC] + p[W::kCC];
    }
    m_dLoopMl = m_dMl;
    m_dLoopMm = m_dMm;
}

void CMclass::CalcM(double beta) {
    double** m = m_pM->m_pData;
    const double* r = m_pBranchR;

    m[0][0] = r[0];
    m[0][1] = r[0];

    m[1][0] = r[0];
    m[1][1] = r[0] + r[2] + r[4];
    m[1][2] = -r[2];
    m[1][3] = -r[4];

    m[2][1] = -r[2];
    m[2][2] = r[2] + r[3];
    m[2][4] = -r[3];

    m[3][1] = -r[4];
    m[3][3] = r[4] + r[5];
    m[3][4] = -r[5];
    m[3][10] = -r[5];

    m[4][2] = -r[3];
    m[4][3] = -r[5];
    m[4][4] = r[3] + r[5] + r[6] + r[8];
    m[4][5] = -r[6];
    m[4][6] = -r[8];
    m[4][10] = r[5] + r[8];

    m[5][4] = -r[6];
    m[5][5] = r[6] + r[7];
    m[5][7] = -r[7];

    m[6][4] = -r[8];
    m[6][6] = r[8] + r[9];
    m[6][7] = -r[9];
    m[6][10] = -r[8];
    m[6][11] = -r[9];

    m[7][5] = -r[7];
    m[7][6] = -r[9];
    m[7][7] = r[7] + r[9] + r[10] + r[12];
    m[7][8] = -r[10];
    m[7][9] = -r[12];
    m[7][11] = r[9] + r[12];

    m[8][7] = -r[10];
    m[8][8] = r[10] + r[11];

    m[9][7] = -r[12];
    m[9][9] = r[12] + r[13];
    m[9][11] = -r[12];

    m[10][10] = 1.0;
    m[11][11] = 1.0;

    m[12][3] = -r[5];
    m[12][4] = r[5] + r[8];
    m[12][6] = -r[8];

    m[13][6] = -r[9];
    m[13][7] = r[9] + r[12];
    m[13][9] = -r[12];

    m[14][14] = 1.0;
    m[15][15] = m_dJ;

    // Stator block: the loop sums are linear in the tables, so only the harmonic factors
    // depend on beta.
    UpdateLoopSums();
    double f[6];
    HarmonicFactors(beta, std::min<std::uint32_t>(m_nNh, 3), f);
    double block[3];
    for (int e = 0; e < 3; ++e) {
        double s = m_adLoop[0][e];
        for (int t = 1; t < CWindingSums::kTableCount; ++t)
            s += m_adLoop[t][e] * f[t - 1];
        block[e] = s;
    }
    m[12][12] = block[0];
    m[12][13] = block[1];
    m[13][12] = block[1];
    m[13][13] = block[2];
}
