#include "Control.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace {

constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// The leading number of a token read the way strtod does (leading white space and a sign
// allowed, trailing text ignored), independent of the locale.
std::errc ReadLeadingNumber(std::string_view token, double& value) {
    while (!token.empty() && IsSpace(token.front()))
        token.remove_prefix(1);
    if (token.size() > 1 && token.front() == '+' && token[1] != '-')
        token.remove_prefix(1);
    value = 0.0;
    return std::from_chars(token.data(), token.data() + token.size(), value).ec;
}

// The token's leading number; no number gives 0, as with strtod.
double TokenToDouble(std::string_view token) {
    double value = 0.0;
    return ReadLeadingNumber(token, value) == std::errc::invalid_argument ? 0.0 : value;
}

// Why a token does not read as a number (empty when it does): no number at its start, which
// would read as 0, or one that is not finite or too large for a double.
std::string TokenProblem(std::string_view token) {
    double value = 0.0;
    const std::errc ec = ReadLeadingNumber(token, value);
    if (ec == std::errc::invalid_argument)
        return "is not a number";
    if (ec == std::errc::result_out_of_range || !std::isfinite(value))
        return "is not a finite number";
    return {};
}

// Walks a path text and calls onToken(isTime, token) for every token closed by a "*".
// Returns whether the text ends with a "*".
// pRest, when given, receives the text after the last "*" (dropped by the parse).
template <typename OnToken>
bool WalkTokens(std::string_view text, OnToken onToken, std::string_view* pRest = nullptr) {
    std::string_view::size_type tokenStart = 0;
    bool expectTime = true;
    std::string_view::size_type i = 0;
    while (i < text.size()) {
        if (text[i] != '*') {
            ++i;
            continue;
        }
        onToken(expectTime, text.substr(tokenStart, i - tokenStart));
        expectTime = !expectTime;
        if (i + 1 == text.size())
            return true;
        // The character after a separator joins the next token unexamined.
        tokenStart = i + 1;
        i += 2;
    }
    if (pRest)
        *pRest = text.substr(std::min(tokenStart, text.size()));
    return false;
}

// As WalkTokens, with onValue(isTime, value) given each token's number.
template <typename OnValue> bool WalkPath(std::string_view text, OnValue onValue) {
    return WalkTokens(text, [&onValue](bool isTime, std::string_view token) {
        onValue(isTime, TokenToDouble(token));
    });
}

} // namespace

CControl::CControl()
    : m_nPathIndex(0), m_nPathCount(0), m_path{}, m_dKt(0), m_dOmegaE(0), m_dOmegaRRamp(0),
      m_dOmegaRRef(0), m_dOmegaU(0), m_dIntegral(0), m_dKi(0), m_dKp(0), m_dAngle(0),
      m_dAmplitude(0), m_nVecA(1), m_nVecB(2), m_nSwitch{0, 0, 0}, m_dT0(0), m_dT1(0), m_dT2(0),
      m_dUd(0), m_dCarrierTime(0), m_dRD{}, m_dRT{}, m_dTc(0), m_dRoffT(0), m_dRonT(0), m_dRoffD(0),
      m_dRonD(0), m_nSequenceSign(-1), m_bExactTiming(false), m_dCarrierStart(0),
      m_dEventTolerance(0), m_pProgress(nullptr) {}

CControl::~CControl() = default;

int CControl::CountPathPoints(const std::string& strPath) {
    int count = 0;
    WalkPath(Trimmed(strPath), [&count](bool isTime, double) {
        if (!isTime)
            ++count;
    });
    return count;
}

std::string CControl::SpeedPathMessage(const std::string& strPath) {
    const int count = CountPathPoints(strPath);
    if (count > kMaxPathPoints)
        return "Speed path \"omegaR* =\" holds " + std::to_string(count) +
               " time*speed pairs; at most " + std::to_string(kMaxPathPoints) + " are accepted.";
    // A token that is not a number would silently read as 0: a typing error.
    std::string problem;
    int point = 1;
    bool nextIsTime = true;
    const auto check = [&](bool bTime, std::string_view token) {
        nextIsTime = !bTime;
        if (problem.empty()) {
            if (std::string why = TokenProblem(token); !why.empty()) {
                std::size_t cut = std::min<std::size_t>(token.size(), 40);
                while (cut < token.size() &&
                       (static_cast<unsigned char>(token[cut]) & 0xC0) == 0x80)
                    --cut; // not inside a UTF-8 character
                const std::string quoted(token.substr(0, cut));
                problem = "Speed path \"omegaR* =\": the " + std::string(bTime ? "time" : "speed") +
                          " of point " + std::to_string(point) + ", \"" + quoted +
                          (cut < token.size() ? "..." : "") + "\", " + why +
                          "; enter time*speed pairs of numbers, each followed by \"*\", for "
                          "example 0*188*.";
            }
        }
        if (!bTime)
            ++point;
    };
    std::string_view rest;
    WalkTokens(Trimmed(strPath), check, &rest);
    // Unclosed text is dropped; a number there may be an unfinished point, anything else is a
    // typing error as much as a token of the path ("abc").
    if (!rest.empty())
        check(nextIsTime, rest);
    return problem;
}

std::string CControl::SvpwmMessage(double dFT, double dUd) {
    // The first carrier period starts once 1000 s have been summed (the transfer's start
    // value of m_dCarrierTime), so a period of 1000 s or more never starts.
    if (!(dFT > 0.0) || !(1.0 / dFT < 1000.0))
        return "Carrier frequency \"fT =\" must be above 0.001 Hz for Space Vector PWM.";
    if (dUd == 0.0)
        return "DC voltage \"Ud =\" must not be 0 for Space Vector PWM.";
    return {};
}

bool CControl::ParseSpeedPath() {
    for (CPathPoint& point : m_path)
        point = {0.0, 0.0};
    m_nPathCount = 0;
    const std::string_view text = Trimmed(m_strSpeedPath);
    if (CountPathPoints(m_strSpeedPath) > kMaxPathPoints)
        return false;
    const bool closed = WalkPath(text, [this](bool isTime, double value) {
        if (isTime) {
            m_path[m_nPathCount].time = value;
        } else {
            m_path[m_nPathCount].speed = value;
            ++m_nPathCount;
        }
    });
    if (closed)
        m_path[m_nPathCount].time = kPathEnd;
    return true;
}

void CControl::StepSpeedPath(double t) {
    while (m_nPathIndex < static_cast<std::uint32_t>(m_nPathCount) &&
           t >= m_path[m_nPathIndex].time) {
        m_dOmegaRRef = m_path[m_nPathIndex].speed;
        ++m_nPathIndex;
    }
}

double CControl::Limit(double x, double limit) {
    if (x >= 0)
        return std::min(x, limit);
    return std::max(x, -limit);
}

void CControl::StepRamp(double omegaR, double h) {
    if (m_dOmegaRRef < m_dOmegaRRamp)
        m_dOmegaRRamp -= h * m_dKt;
    if (m_dOmegaRRef > m_dOmegaRRamp)
        m_dOmegaRRamp += h * m_dKt;
    m_dOmegaRRamp = Limit(m_dOmegaRRamp, kSignalLimit);
    m_dOmegaE = m_dOmegaRRamp - omegaR;
}

double CControl::SpeedControl(double omegaR, double h) {
    StepRamp(omegaR, h);
    m_dIntegral = Limit(m_dIntegral + m_dKi * m_dOmegaE * h, kSignalLimit);
    m_dOmegaU = Limit(m_dKp * m_dOmegaE + m_dIntegral, kSignalLimit) * s_nPolePairs;
    m_dAmplitude = AmplitudeOf(m_dOmegaU);
    AdvanceAngle(h);
    return m_dAngle;
}

double CControl::AmplitudeOf(double omegaU) {
    constexpr double base = s_dOmegaBase * s_nPolePairs;
    const double magnitude = std::fabs(omegaU);
    if (magnitude < 0.05 * base)
        return 0.05;
    if (magnitude < base)
        return magnitude / base;
    return 1.0;
}

void CControl::AdvanceAngle(double h) {
    m_dAngle += h * m_dOmegaU;
    if (m_dAngle > kFullTurn)
        m_dAngle -= kFullTurn;
    if (m_dAngle < 0)
        m_dAngle += kFullTurn;
}

double CControl::RampAfter(double h) const {
    // The ramp stops at the reference instead of stepping about it by h·Kt.
    const double reach = h * m_dKt;
    return Limit(std::clamp(m_dOmegaRRef, m_dOmegaRRamp - reach, m_dOmegaRRamp + reach),
                 kSignalLimit);
}

double CControl::OmegaUNow(double omegaR) const {
    return Limit(m_dKp * (m_dOmegaRRamp - omegaR) + m_dIntegral, kSignalLimit) * s_nPolePairs;
}

void CControl::StepRampMid(double omegaMid, double h) {
    const double rampMid = RampAfter(0.5 * h);
    m_dOmegaE = rampMid - omegaMid;
    m_dOmegaRRamp = RampAfter(h);
}

double CControl::SpeedControlMid(double omegaMid, double h) {
    // Midpoint rule: the regulator's integrals are of second order, as the circuit's are.
    StepRampMid(omegaMid, h);
    const double errorMid = m_dOmegaE;
    const double integralMid = Limit(m_dIntegral + m_dKi * errorMid * 0.5 * h, kSignalLimit);
    m_dIntegral = Limit(m_dIntegral + m_dKi * errorMid * h, kSignalLimit);
    m_dOmegaU = Limit(m_dKp * errorMid + integralMid, kSignalLimit) * s_nPolePairs;
    m_dAmplitude = AmplitudeOf(m_dOmegaU);
    AdvanceAngle(h);
    return m_dAngle;
}

void CControl::ApplySwitchStates() {
    for (int leg = 0; leg < 3; ++leg) {
        const bool upper = m_nSwitch[leg] == 1;
        m_dRT[leg + 1] = upper ? m_dRonT : m_dRoffT;
        m_dRT[leg + 4] = upper ? m_dRoffT : m_dRonT;
    }
}

bool CControl::SvpwmStep(double angle, double h) {
    m_dCarrierTime += h;
    if (m_dCarrierTime > m_dTc) {
        BeginCarrierPeriod(angle);
        m_dCarrierTime = 0;
    }
    ApplyCarrierVector(
        CarrierVector(m_dCarrierTime, m_nSequenceSign, {m_nVecA, m_nVecB, m_dT0, m_dT1, m_dT2}));
    return true;
}

void CControl::BeginCarrierPeriod(double angle) {
    // The vector rotates in the negative sense.
    double a = -angle;
    if (a > kFullTurn)
        a -= kFullTurn;
    if (a < 0)
        a += kFullTurn;
    CCarrierPeriod period{m_nVecA, m_nVecB, m_dT0, m_dT1, m_dT2};
    StartCarrierPeriod(a, m_dAmplitude, m_dUd, m_dTc, period);
    m_nVecA = period.m_nVecA;
    m_nVecB = period.m_nVecB;
    m_dT0 = period.m_dT0;
    m_dT1 = period.m_dT1;
    m_dT2 = period.m_dT2;
    m_nSequenceSign = -m_nSequenceSign;
}

void CControl::ApplyCarrierVector(int vector) {
    if (vector == 0) {
        // The zero vector reached by changing a single leg.
        const int state = m_nSwitch[0] + m_nSwitch[1] + m_nSwitch[2] >= 2 ? 1 : 0;
        m_nSwitch[0] = m_nSwitch[1] = m_nSwitch[2] = state;
    } else {
        for (int leg = 0; leg < 3; ++leg)
            m_nSwitch[leg] = s_nVecStates[vector][leg];
    }
    ApplySwitchStates();
}

void CControl::StartCarrierPeriod(double a, double dAmplitude, double dUd, double dTc,
                                  CCarrierPeriod& period) {
    const int k = static_cast<int>(std::floor(a / kSector));
    if (k >= 0 && k <= 5) {
        period.m_nVecA = k + 1;
        period.m_nVecB = k == 5 ? 1 : k + 2;
    }
    const double x = std::cos(a) * dAmplitude * dUd;
    const double y = std::sin(a) * dAmplitude * dUd;
    const double* alpha = s_dVecAlpha;
    const double* beta = s_dVecBeta;
    const int A = period.m_nVecA;
    const int B = period.m_nVecB;
    const double det = alpha[A] * beta[B] - beta[A] * alpha[B];
    period.m_dT1 = (x * beta[B] - y * alpha[B]) * dTc / (det * dUd);
    period.m_dT2 = (-x * beta[A] + y * alpha[A]) * dTc / (det * dUd);
    period.m_dT0 = dTc - period.m_dT1 - period.m_dT2;
    // Over-modulation: vector B is cut off at the end of the period.
    if (period.m_dT0 < 0)
        period.m_dT0 = 0;
}

int CControl::CarrierVector(double tau, int nSign, const CCarrierPeriod& period) {
    const double half0 = period.m_dT0 / 2;
    if (tau <= half0)
        return 0;
    if (nSign == 1) {
        if (tau <= half0 + period.m_dT1)
            return period.m_nVecA;
        if (tau <= half0 + period.m_dT1 + period.m_dT2)
            return period.m_nVecB;
    } else {
        if (tau <= half0 + period.m_dT2)
            return period.m_nVecB;
        if (tau <= half0 + period.m_dT2 + period.m_dT1)
            return period.m_nVecA;
    }
    return 0;
}

bool CControl::SixStepStep(double h) {
    m_dCarrierTime += h;
    // Fraction of the electrical period reached; compared with j/6 rather than j·P/6 so
    // that omegaU = 0 (an infinite period) stays in the first window.
    const double fraction = m_dCarrierTime * m_dOmegaU / (2 * 3.141592);
    ApplySixStepWindow(fraction);
    if (m_dOmegaU < 0 || fraction >= 1.0)
        m_dCarrierTime = 0;
    ApplySwitchStates();
    return true;
}

void CControl::ApplySixStepWindow(double fraction) {
    for (int j = 0; j < 6; ++j) {
        if (j / 6.0 <= fraction && fraction < (j + 1) / 6.0) {
            // Backwards through the table: the field turns as the SVPWM vector does.
            const int vector = 1 + (6 - j) % 6;
            for (int leg = 0; leg < 3; ++leg)
                m_nSwitch[leg] = s_nVecStates[vector][leg];
        }
    }
}

void CControl::StartExactTiming(double dTolerance) {
    m_bExactTiming = true;
    m_dCarrierStart = std::numeric_limits<double>::quiet_NaN();
    m_dEventTolerance = dTolerance;
}

void CControl::SvpwmAt(double angle, double amplitude, double t, double h) {
    if (CarrierPeriodDueAt(t)) {
        const double next = m_dCarrierStart + m_dTc;
        // A period that ended before t (the run lands on every period's end, so only the
        // first) starts the new one at t.
        m_dCarrierStart = std::fabs(t - next) <= m_dEventTolerance ? next : t;
        const double amplitudeBefore = m_dAmplitude;
        m_dAmplitude = amplitude;
        BeginCarrierPeriod(angle);
        m_dAmplitude = amplitudeBefore;
    }
    m_dCarrierTime = t - m_dCarrierStart;
    ApplyCarrierVector(CarrierVector(t + 0.5 * h - m_dCarrierStart, m_nSequenceSign,
                                     {m_nVecA, m_nVecB, m_dT0, m_dT1, m_dT2}));
}

void CControl::SixStepAt(double t, double h) {
    if (std::isnan(m_dCarrierStart) || m_dOmegaU < 0) {
        // A negative omegaU freezes the switch states with the cycle held at its start.
        m_dCarrierStart = t;
        if (m_dOmegaU < 0) {
            m_dCarrierTime = 0;
            ApplySwitchStates();
            return;
        }
    }
    const double perSecond = m_dOmegaU / (2 * 3.141592);
    // The cycle ends when the fraction reaches 1 (with this step's omegaU, within the
    // tolerance) and starts again at t.
    if ((t - m_dCarrierStart) * perSecond >= 1.0 - m_dEventTolerance * perSecond)
        m_dCarrierStart = t;
    m_dCarrierTime = t - m_dCarrierStart;
    ApplySixStepWindow((t + 0.5 * h - m_dCarrierStart) * perSecond);
    ApplySwitchStates();
}

void CControl::CarrierBoundaries(int nSign, const CCarrierPeriod& period, double dTc,
                                 double* pBoundaries) {
    const double half0 = period.m_dT0 / 2;
    const double first = nSign == 1 ? period.m_dT1 : period.m_dT2;
    pBoundaries[0] = half0;
    pBoundaries[1] = half0 + first;
    pBoundaries[2] = half0 + period.m_dT1 + period.m_dT2;
    pBoundaries[3] = dTc;
}

double CControl::NextCommandTime(double t) const {
    const double after = t + m_dEventTolerance;
    double next = std::numeric_limits<double>::infinity();
    if (m_nPathIndex < static_cast<std::uint32_t>(m_nPathCount) &&
        m_path[m_nPathIndex].time > after)
        next = m_path[m_nPathIndex].time;
    if (!m_bExactTiming || std::isnan(m_dCarrierStart))
        return next;
    if (m_dTc != -1.0) {
        double boundaries[4];
        CarrierBoundaries(m_nSequenceSign, {m_nVecA, m_nVecB, m_dT0, m_dT1, m_dT2}, m_dTc,
                          boundaries);
        for (const double b : boundaries) {
            const double instant = m_dCarrierStart + b;
            if (instant > after && b <= m_dTc)
                return std::min(next, instant);
        }
        return next;
    }
    if (!(m_dOmegaU > 0))
        return next; // omegaU = 0 holds the first window, a negative one freezes
    // Window j holds the fractions [j/6, (j+1)/6) of the period 2·3.141592 / omegaU.
    const double period = 2 * 3.141592 / m_dOmegaU;
    for (int j = 1; j <= 6; ++j) {
        const double instant = m_dCarrierStart + j / 6.0 * period;
        if (instant > after)
            return std::min(next, instant);
    }
    return next;
}

CControl::CStepState CControl::SaveStepState() const {
    CStepState s{};
    s.m_nPathIndex = m_nPathIndex;
    s.m_dOmegaRRef = m_dOmegaRRef;
    s.m_dOmegaRRamp = m_dOmegaRRamp;
    s.m_dOmegaE = m_dOmegaE;
    s.m_dOmegaU = m_dOmegaU;
    s.m_dIntegral = m_dIntegral;
    s.m_dAngle = m_dAngle;
    s.m_dAmplitude = m_dAmplitude;
    s.m_dT0 = m_dT0;
    s.m_dT1 = m_dT1;
    s.m_dT2 = m_dT2;
    s.m_dCarrierTime = m_dCarrierTime;
    s.m_dCarrierStart = m_dCarrierStart;
    s.m_nVecA = m_nVecA;
    s.m_nVecB = m_nVecB;
    s.m_nSequenceSign = m_nSequenceSign;
    std::copy(m_nSwitch, m_nSwitch + 3, s.m_nSwitch);
    std::copy(m_dRD, m_dRD + 7, s.m_dRD);
    std::copy(m_dRT, m_dRT + 7, s.m_dRT);
    return s;
}

void CControl::RestoreStepState(const CStepState& s) {
    m_nPathIndex = s.m_nPathIndex;
    m_dOmegaRRef = s.m_dOmegaRRef;
    m_dOmegaRRamp = s.m_dOmegaRRamp;
    m_dOmegaE = s.m_dOmegaE;
    m_dOmegaU = s.m_dOmegaU;
    m_dIntegral = s.m_dIntegral;
    m_dAngle = s.m_dAngle;
    m_dAmplitude = s.m_dAmplitude;
    m_dT0 = s.m_dT0;
    m_dT1 = s.m_dT1;
    m_dT2 = s.m_dT2;
    m_dCarrierTime = s.m_dCarrierTime;
    m_dCarrierStart = s.m_dCarrierStart;
    m_nVecA = s.m_nVecA;
    m_nVecB = s.m_nVecB;
    m_nSequenceSign = s.m_nSequenceSign;
    std::copy(s.m_nSwitch, s.m_nSwitch + 3, m_nSwitch);
    std::copy(s.m_dRD, s.m_dRD + 7, m_dRD);
    std::copy(s.m_dRT, s.m_dRT + 7, m_dRT);
}
