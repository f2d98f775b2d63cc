#include "Uclass.h"

#include "AllocFailure.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <new>

CUclass::CUclass(std::uint32_t n)
    : m_dPm1(0), m_dPm2(0), m_dT(0), m_dTem(0), m_dPhi(0), m_dUd(0), m_dUmax(0), m_dF(0), m_dUc(0),
      m_dUb(0), m_dUa(0), m_bAccumulatePhase(false), m_bPhaseStarted(false), m_dPhase(0),
      m_dStepStart(0), m_bSinValid(false), m_dSinW(0), m_dSinPhi(0), m_adSin{}, m_pU(nullptr),
      m_nSize(n) {
    m_pU = new (std::nothrow) CVector(n);
    if (!m_pU)
        throw CAllocFailure("Błąd inicjalizacji m_pU");
}

CUclass::~CUclass() {
    delete m_pU;
}

void CUclass::SetTorque(double Te) {
    m_dTem = Te;
}

void CUclass::SetPmTerms(const double* p) {
    m_dPm1 = p[0];
    m_dPm2 = p[1];
}

void CUclass::BeginStep(double t) {
    if (!m_bAccumulatePhase || m_bPhaseStarted)
        return;
    // The value of the constant-frequency formula at the start of the run.
    m_dPhase = 2 * 3.141592 * m_dF * t;
    m_dStepStart = t;
    m_bPhaseStarted = true;
}

void CUclass::AcceptStep(double tEnd) {
    if (!m_bAccumulatePhase)
        return;
    m_dPhase = SupplyAngle(tEnd);
    m_dStepStart = tEnd;
}

double CUclass::SupplyAngle(double t) const {
    if (m_bAccumulatePhase && m_bPhaseStarted)
        return m_dPhase + 2 * 3.141592 * m_dF * (t - m_dStepStart);
    return 2 * 3.141592 * m_dF * t;
}

void CUclass::CalcU(double t, double omegaR) {
    const double w = SupplyAngle(t);
    constexpr double shift = 0.6666666666666666 * 3.141592;
    // Phase b leads phase a, phase c lags it. Without a sine supply the angle stays 0: the
    // sines of the last angle are kept.
    auto same = [](double a, double b) {
        return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
    };
    if (!(m_bSinValid && same(w, m_dSinW) && same(m_dPhi, m_dSinPhi))) {
        m_adSin[0] = std::sin(w - m_dPhi);
        m_adSin[1] = std::sin(w + shift - m_dPhi);
        m_adSin[2] = std::sin(w - shift - m_dPhi);
        m_bSinValid = true;
        m_dSinW = w;
        m_dSinPhi = m_dPhi;
    }
    m_dUa = m_dUmax * m_adSin[0];
    m_dUb = m_dUmax * m_adSin[1];
    m_dUc = m_dUmax * m_adSin[2];

    if (m_nSize < 16)
        return;
    double* u = m_pU->m_pData;
    u[0] = m_dUd;
    u[1] = m_dUd;
    for (int i = 2; i <= 11; ++i)
        u[i] = 0.0;
    u[12] = (m_dUa - m_dUb) - omegaR * m_dPm1;
    u[13] = (m_dUb - m_dUc) - omegaR * m_dPm2;
    u[14] = 0.0;
    u[15] = m_dTem + m_dT;
}
