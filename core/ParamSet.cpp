#include "ParamSet.h"

#include "MessageText.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

constexpr CFieldDesc Real(std::string_view group, std::string_view key, std::string_view label,
                          std::string_view context = {}) {
    return {group, key, label, context, EFieldKind::Double, false, -kInf, kInf, 0};
}

constexpr CFieldDesc RealIn(std::string_view group, std::string_view key, std::string_view label,
                            double min, double max, std::string_view context = {}) {
    return {group, key, label, context, EFieldKind::Double, true, min, max, 0};
}

constexpr CFieldDesc Whole(std::string_view group, std::string_view key, std::string_view label,
                           std::string_view context = {}) {
    return {group,
            key,
            label,
            context,
            EFieldKind::Int,
            false,
            double(std::numeric_limits<int>::min()),
            double(std::numeric_limits<int>::max()),
            0};
}

constexpr CFieldDesc WholeIn(std::string_view group, std::string_view key, std::string_view label,
                             int min, int max, std::string_view context = {}) {
    return {group, key, label, context, EFieldKind::Int, true, double(min), double(max), 0};
}

constexpr CFieldDesc Flag(std::string_view group, std::string_view key, std::string_view label) {
    return {group, key, label, {}, EFieldKind::Bool, false, 0, 1, 0};
}

constexpr CFieldDesc Codes(std::string_view group, std::string_view key, std::string_view label) {
    return {group, key, label, {}, EFieldKind::Codes6, true, 0, 2, 0};
}

// The order is the file's order of groups and keys; ListFields follows it one to one.
const std::vector<CFieldDesc> g_descriptions = {
    RealIn("control", "FT", "fT =", 0, 10000),
    Real("control", "Ud", "Ud ="),
    RealIn("control", "Cu", "Cu =", 0.0001, 10),
    RealIn("control", "Ru", "Ru =", 0, 1000),
    WholeIn("control", "ControlMethod", "Control method", 0, 1),
    RealIn("control", "Ki", "ki =", 0, 10000),
    RealIn("control", "Kp", "kp =", 0, 10000),
    RealIn("control", "Kt", "kt =", 0, 10000),
    {"control", "SpeedPath", "omegaR* =", {}, EFieldKind::Text, false, 0, 0, 1000},
    Flag("control", "SpeedControl", "ON/OFF"),
    WholeIn("control", "Condition", "Condition of work", 0, 3),
    Real("control", "RlRC", "Rl =", "RC load"),
    Real("control", "Cl", "Cl ="),
    Real("control", "Umax", "Umax ="),
    Real("control", "F", "f ="),
    Real("control", "Phi", "phi ="),
    Real("control", "RlR", "Rl =", "R load"),
    RealIn("control", "T", "T =", -50, 50),

    RealIn("motor", "RonT", "Ron =", 0, 10000, "Transistor"),
    RealIn("motor", "RoffT", "Roff =", 0, 10000, "Transistor"),
    RealIn("motor", "RonD", "Ron =", 0, 10000, "Diode"),
    RealIn("motor", "RoffD", "Roff =", 0, 10000, "Diode"),
    RealIn("motor", "Mra", "mra =", 0, 10),
    RealIn("motor", "Mrb", "mrb =", 0, 10),
    RealIn("motor", "Mrc", "mrc =", 0, 10),
    Real("motor", "Ml", "ml ="),
    Real("motor", "Mm", "mm ="),
    WholeIn("motor", "NhInd", "Nh =", 0, 3, "Winding inductances"),
    WholeIn("motor", "NhFlux", "Nh =", 0, 100, "Air gap flux density"),
    Real("motor", "J", "J ="),
    Real("motor", "D", "D ="),

    Codes("failures", "FailD", "D1..D6"),
    Codes("failures", "FailT", "T1..T6"),
    RealIn("failures", "Onset", "Fault from t =", 0, kInf),
    RealIn("failures", "Clear", "until t =", 0, kInf),

    Real("time", "Te", "te ="),
    Real("time", "Ts", "ts ="),
    RealIn("time", "H", "h =", 0, 1),
    RealIn("time", "OmegaR", "omegaR =", -200, 200),
    RealIn("time", "BetaR", "betaR =", -360, 360),
    Real("time", "Uc0", "Uc0 ="),
    WholeIn("time", "Every", "store every", 1, std::numeric_limits<int>::max()),
    Flag("time", "Exact", "Exact switching instants"),

    WholeIn("inductance_plot", "X", "x =", 0, 17),
    WholeIn("inductance_plot", "Y", "y =", 0, 17),
    Real("inductance_plot", "Alfab", "alfab ="),
    Real("inductance_plot", "Alfae", "alfae ="),
    Flag("inductance_plot", "Rotation", "Rotation inductance"),
    WholeIn("inductance_plot", "N", "N =", 0, 10000),
    WholeIn("inductance_plot", "Nh", "Nh =", 0, 3),

    Real("flux_plot", "Alfab", "alfab ="),
    Real("flux_plot", "Alfae", "alfae ="),
    WholeIn("flux_plot", "X", "x =", 0, 17),
    WholeIn("flux_plot", "Y", "y =", 0, 3),
    WholeIn("flux_plot", "N", "N =", 0, 1000),
    Flag("flux_plot", "AirGap", "Air gap"),
    WholeIn("flux_plot", "Quantity", "Quantity", 0, 2),
    WholeIn("flux_plot", "Nh", "Nh =", 0, 100),

    RealIn("voltage_plot", "Fimp", "fimp =", 0, 10000),
    RealIn("voltage_plot", "Mf", "mf =", 0, 1),
    RealIn("voltage_plot", "Ma", "ma =", 0, 10),
    Real("voltage_plot", "Ts", "ts ="),
    Real("voltage_plot", "Te", "te ="),
    Whole("voltage_plot", "N", "N ="),
    WholeIn("voltage_plot", "Phase", "Phase", 0, 2),

    WholeIn("dft", "Nh", "Nh =", 0, 1000),

    WholeIn("result_plot", "Result", "Result", 0, 34),
};

// Bounds and values are printed so that they read back exactly: a value just outside a range
// never looks like its bound.
std::string FormatNumber(double value) {
    return ExactNumber(value);
}

} // namespace

bool CParamSet::operator==(const CParamSet& other) const {
    CParamSet a = *this;
    CParamSet b = other;
    const std::vector<CField> fa = ListFields(a);
    const std::vector<CField> fb = ListFields(b);
    for (std::size_t i = 0; i < fa.size(); ++i) {
        const bool same = std::visit(
            [&](auto* pa) {
                using P = decltype(pa);
                // Bitwise equality of doubles would also do; == keeps -0.0 equal to 0.0.
                return *pa == *std::get<P>(fb[i].m_ref);
            },
            fa[i].m_ref);
        if (!same)
            return false;
    }
    return true;
}

std::string CFieldDesc::DisplayName() const {
    std::string name(m_strLabel);
    if (!m_strContext.empty())
        name += " (" + std::string(m_strContext) + ")";
    return name;
}

std::string CFieldDesc::AcceptedText() const {
    switch (m_kind) {
    case EFieldKind::Double:
        if (m_bRanged && m_dMax == kInf)
            return "a finite number from " + FormatNumber(m_dMin);
        return m_bRanged ? "a number from " + FormatNumber(m_dMin) + " to " + FormatNumber(m_dMax)
                         : "a finite number";
    case EFieldKind::Int:
        return "a whole number from " + FormatNumber(m_dMin) + " to " + FormatNumber(m_dMax);
    case EFieldKind::Bool:
        return "true or false";
    case EFieldKind::Text:
        return "a text of at most " + std::to_string(m_nMaxLen) + " characters";
    case EFieldKind::Codes6:
        return "six whole numbers, each 0 (OK), 1 (short circuit) or 2 (break)";
    }
    return {};
}

std::vector<CField> ListFields(CParamSet& s) {
    const std::vector<CFieldDesc>& d = g_descriptions;
    CInvParams& c = s.m_control;
    CMotorParams& m = s.m_motor;
    CTimeParams& t = s.m_time;
    CIndSettings& ip = s.m_inductancePlot;
    CFluxPlotSettings& fp = s.m_fluxPlot;
    CVoltPlotSettings& vp = s.m_voltagePlot;
    const std::vector<FieldRef> refs = {
        &c.m_dFT,
        &c.m_dUd,
        &c.m_dCu,
        &c.m_dRu,
        &c.m_nControlMethod,
        &c.m_dKi,
        &c.m_dKp,
        &c.m_dKt,
        &c.m_strSpeedPath,
        &c.m_bSpeedControl,
        &c.m_nCondition,
        &c.m_dRlRC,
        &c.m_dCl,
        &c.m_dUmax,
        &c.m_dF,
        &c.m_dPhi,
        &c.m_dRlR,
        &c.m_dT,

        &m.m_dRonT,
        &m.m_dRoffT,
        &m.m_dRonD,
        &m.m_dRoffD,
        &m.m_dMra,
        &m.m_dMrb,
        &m.m_dMrc,
        &m.m_dMl,
        &m.m_dMm,
        &m.m_nNhInd,
        &m.m_nNhFlux,
        &m.m_dJ,
        &m.m_dD,

        &s.m_failures.m_nFailD,
        &s.m_failures.m_nFailT,
        &s.m_failures.m_dOnset,
        &s.m_failures.m_dClear,

        &t.m_dTe,
        &t.m_dTs,
        &t.m_dH,
        &t.m_dOmegaR,
        &t.m_dBetaR,
        &t.m_dUc0,
        &t.m_nEvery,
        &t.m_bExact,

        &ip.m_nX,
        &ip.m_nY,
        &ip.m_dAlfab,
        &ip.m_dAlfae,
        &ip.m_bRotation,
        &ip.m_nN,
        &ip.m_nNh,

        &fp.m_dAlfab,
        &fp.m_dAlfae,
        &fp.m_nX,
        &fp.m_nY,
        &fp.m_nN,
        &fp.m_bAirGap,
        &fp.m_nQuantity,
        &fp.m_nNh,

        &vp.m_dFimp,
        &vp.m_dMf,
        &vp.m_dMa,
        &vp.m_dTs,
        &vp.m_dTe,
        &vp.m_nN,
        &vp.m_nPhase,

        &s.m_dft.m_nNh,

        &s.m_resultPlot.m_nResult,
    };
    std::vector<CField> fields;
    fields.reserve(refs.size());
    for (std::size_t i = 0; i < refs.size(); ++i)
        fields.push_back({&d[i], refs[i]});
    return fields;
}

const std::vector<CFieldDesc>& FieldDescriptions() {
    return g_descriptions;
}

const CFieldDesc* FindField(std::string_view group, std::string_view key) {
    for (const CFieldDesc& desc : g_descriptions) {
        if (desc.m_strGroup == group && desc.m_strKey == key)
            return &desc;
    }
    return nullptr;
}

std::optional<std::string> CheckNumber(const CFieldDesc& desc, double value) {
    const bool whole = desc.m_kind == EFieldKind::Int || desc.m_kind == EFieldKind::Codes6;
    if (whole && std::isfinite(value) && value != std::floor(value))
        return desc.DisplayName() + " " + FormatNumber(value) + " is not a whole number: enter " +
               desc.AcceptedText() + ".";
    const bool fits = std::isfinite(value) && value >= desc.m_dMin && value <= desc.m_dMax;
    if (fits)
        return std::nullopt;
    return desc.DisplayName() + " " + FormatNumber(value) + " is not accepted: enter " +
           desc.AcceptedText() + ".";
}

std::optional<std::string> CheckText(const CFieldDesc& desc, std::string_view text) {
    if (text.size() <= desc.m_nMaxLen)
        return std::nullopt;
    return desc.DisplayName() + " is too long (" + std::to_string(text.size()) +
           " characters): enter " + desc.AcceptedText() + ".";
}

std::optional<std::string> ValidateParamSet(const CParamSet& set) {
    CParamSet copy = set;
    for (const CField& field : ListFields(copy)) {
        const CFieldDesc& desc = *field.m_pDesc;
        std::optional<std::string> refusal;
        if (auto* p = std::get_if<double*>(&field.m_ref))
            refusal = CheckNumber(desc, **p);
        else if (auto* p = std::get_if<int*>(&field.m_ref))
            refusal = CheckNumber(desc, **p);
        else if (auto* p = std::get_if<std::string*>(&field.m_ref))
            refusal = CheckText(desc, **p);
        else if (auto* p = std::get_if<std::array<int, 6>*>(&field.m_ref)) {
            for (int code : **p) {
                refusal = CheckNumber(desc, code);
                if (refusal)
                    break;
            }
        }
        if (refusal)
            return refusal;
    }
    return CheckFaultTiming(set.m_failures);
}

std::optional<std::string> CheckFaultTiming(const CFailParams& failures) {
    if (!(failures.m_dClear > 0) || failures.m_dClear > failures.m_dOnset)
        return std::nullopt;
    const CFieldDesc& clear = *FindField("failures", "Clear");
    const CFieldDesc& onset = *FindField("failures", "Onset");
    return clear.DisplayName() + " " + FormatNumber(failures.m_dClear) +
           " s is not accepted: the fault would clear before it starts (" + onset.DisplayName() +
           " " + FormatNumber(failures.m_dOnset) + " s); enter a time after " +
           onset.DisplayName() + ", or 0 for a fault that never clears.";
}
