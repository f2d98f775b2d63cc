#include "ParamSet.h"

#include "Control.h"
#include "MessageText.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>
#include <utility>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Which values a field accepts beyond its kind's own limits.
struct CRange {
    bool m_bRanged = false;
    double m_dMin = -kInf;
    double m_dMax = kInf;
    std::size_t m_nMaxLen = 0;
};

constexpr CRange In(double min, double max) {
    return {true, min, max, 0};
}

constexpr CRange AtLeast(double min) {
    return {true, min, kInf, 0};
}

constexpr CRange Chars(std::size_t maxLen) {
    return {false, 0, 0, maxLen};
}

template <typename T> constexpr EFieldKind KindOf() {
    if constexpr (std::is_same_v<T, double>)
        return EFieldKind::Double;
    else if constexpr (std::is_same_v<T, int>)
        return EFieldKind::Int;
    else if constexpr (std::is_same_v<T, bool>)
        return EFieldKind::Bool;
    else if constexpr (std::is_same_v<T, std::string>)
        return EFieldKind::Text;
    else {
        static_assert(std::is_same_v<T, std::array<int, 6>>, "a parameter of an unknown kind");
        return EFieldKind::Codes6;
    }
}

// The file's group of each part of the set.
constexpr std::string_view GroupKey(CInvParams CParamSet::*) {
    return "control";
}
constexpr std::string_view GroupKey(CMotorParams CParamSet::*) {
    return "motor";
}
constexpr std::string_view GroupKey(CFailParams CParamSet::*) {
    return "failures";
}
constexpr std::string_view GroupKey(CTimeParams CParamSet::*) {
    return "time";
}
constexpr std::string_view GroupKey(CIndSettings CParamSet::*) {
    return "inductance_plot";
}
constexpr std::string_view GroupKey(CFluxPlotSettings CParamSet::*) {
    return "flux_plot";
}
constexpr std::string_view GroupKey(CVoltPlotSettings CParamSet::*) {
    return "voltage_plot";
}
constexpr std::string_view GroupKey(CDftSettings CParamSet::*) {
    return "dft";
}
constexpr std::string_view GroupKey(CResPlotSettings CParamSet::*) {
    return "result_plot";
}
constexpr std::string_view GroupKey(CFocParams CParamSet::*) {
    return "foc";
}
constexpr std::string_view GroupKey(CProtectionParams CParamSet::*) {
    return "protection";
}

template <auto Group, auto Member> FieldRef Access(CParamSet& set) {
    return &(set.*Group.*Member);
}

// One line of the table: a description and the way to the member it describes, written
// together so that no description can be paired with another member. The group and the kind
// follow from the member.
struct CFieldRow {
    CFieldDesc m_desc;
    FieldRef (*m_pAccess)(CParamSet&);
};

template <auto Group, auto Member>
constexpr CFieldRow Row(std::string_view key, std::string_view label, std::string_view meaning,
                        std::string_view unit, CRange range = {}, std::string_view context = {}) {
    using T = std::remove_cvref_t<decltype(std::declval<CParamSet&>().*Group.*Member)>;
    constexpr EFieldKind kind = KindOf<T>();
    CFieldDesc desc{GroupKey(Group), key,          label,           context, kind, range.m_bRanged,
                    range.m_dMin,    range.m_dMax, range.m_nMaxLen, meaning, unit};
    if constexpr (kind == EFieldKind::Int) {
        if (!range.m_bRanged) {
            desc.m_dMin = double(std::numeric_limits<int>::min());
            desc.m_dMax = double(std::numeric_limits<int>::max());
        }
    } else if constexpr (kind == EFieldKind::Bool) {
        desc.m_dMin = 0;
        desc.m_dMax = 1;
    } else if constexpr (kind == EFieldKind::Codes6) {
        desc.m_bRanged = true;
        desc.m_dMin = 0;
        desc.m_dMax = 2;
    }
    return {desc, &Access<Group, Member>};
}

constexpr auto kControl = &CParamSet::m_control;
constexpr auto kMotor = &CParamSet::m_motor;
constexpr auto kFailures = &CParamSet::m_failures;
constexpr auto kTime = &CParamSet::m_time;
constexpr auto kInductancePlot = &CParamSet::m_inductancePlot;
constexpr auto kFluxPlot = &CParamSet::m_fluxPlot;
constexpr auto kVoltagePlot = &CParamSet::m_voltagePlot;
constexpr auto kDft = &CParamSet::m_dft;
constexpr auto kResultPlot = &CParamSet::m_resultPlot;
constexpr auto kFoc = &CParamSet::m_foc;
constexpr auto kProtection = &CParamSet::m_protection;

// Every parameter, in the file's order of groups and keys.
constexpr std::array kRows{
    Row<kControl, &CInvParams::m_dFT>("FT", "fT =", "carrier frequency of the PWM", "Hz",
                                      In(0, 10000)),
    Row<kControl, &CInvParams::m_dUd>("Ud", "Ud =", "DC source voltage (condition 0)", "V"),
    Row<kControl, &CInvParams::m_dCu>("Cu", "Cu =", "input capacitor (condition 0)", "F",
                                      In(0.0001, 10)),
    Row<kControl, &CInvParams::m_dRu>(
        "Ru", "Ru =", "internal resistance of the DC source (condition 0)", "Ohm", In(0, 1000)),
    Row<kControl, &CInvParams::m_nControlMethod>(
        "ControlMethod", "Control method",
        "modulation of the inverter: 0 space-vector PWM, 1 six-step control", "", In(0, 1)),
    Row<kControl, &CInvParams::m_dKi>("Ki", "ki =", "integral gain of the PI speed regulator",
                                      "1/s", In(0, 10000)),
    Row<kControl, &CInvParams::m_dKp>("Kp", "kp =", "proportional gain of the PI speed regulator",
                                      "", In(0, 10000)),
    Row<kControl, &CInvParams::m_dKt>(
        "Kt", "kt =", "slope of the ramp of the speed reference (trap regulator)", "rad/s per s",
        In(0, 10000)),
    Row<kControl, &CInvParams::m_strSpeedPath>(
        "SpeedPath",
        "omegaR* =", "speed path, pairs \"time1*speed1*time2*speed2*...\" the reference follows",
        "s, rad/s", Chars(1000)),
    Row<kControl, &CInvParams::m_bSpeedControl>(
        "SpeedControl", "ON/OFF", "speed control on: the PI regulator follows the speed path", ""),
    Row<kControl, &CInvParams::m_nCondition>(
        "Condition", "Condition of work",
        "condition of work: 0 motor supplied by the inverter, 1 motor supplied by a three-phase "
        "voltage, 2 generator supplying a rectifier with RC load, 3 generator supplying a "
        "three-phase R load",
        "", In(0, 3)),
    Row<kControl, &CInvParams::m_dRlRC>(
        "RlRC", "Rl =", "load resistance of the rectifier's RC load (condition 2)", "Ohm", {},
        "RC load"),
    Row<kControl, &CInvParams::m_dCl>(
        "Cl", "Cl =", "load capacitor of the rectifier's RC load (condition 2)", "F"),
    Row<kControl, &CInvParams::m_dUmax>(
        "Umax", "Umax =", "amplitude of the three-phase supply (condition 1)", "V"),
    Row<kControl, &CInvParams::m_dF>(
        "F", "f =", "frequency of the three-phase supply (condition 1)", "Hz"),
    Row<kControl, &CInvParams::m_dPhi>("Phi", "phi =", "phase of the supply at t = 0 (condition 1)",
                                       "deg"),
    Row<kControl, &CInvParams::m_dRlR>(
        "RlR", "Rl =", "resistance of the three-phase R load (condition 3)", "Ohm", {}, "R load"),
    Row<kControl, &CInvParams::m_dT>(
        "T", "T =", "external torque on the shaft: negative a load, positive a driving force", "Nm",
        In(-50, 50)),
    Row<kControl, &CInvParams::m_nScheme>(
        "Scheme", "Control scheme",
        "0 scalar speed control (U/f), 1 field-oriented control (condition 0 with space-vector "
        "PWM only)",
        "", In(0, 1)),

    Row<kMotor, &CMotorParams::m_dRonT>("RonT", "Ron =", "on-resistance of a transistor", "Ohm",
                                        In(0, 10000), "Transistor"),
    Row<kMotor, &CMotorParams::m_dRoffT>("RoffT", "Roff =", "off-resistance of a transistor", "Ohm",
                                         In(0, 10000), "Transistor"),
    Row<kMotor, &CMotorParams::m_dRonD>("RonD", "Ron =", "on-resistance of a diode", "Ohm",
                                        In(0, 10000), "Diode"),
    Row<kMotor, &CMotorParams::m_dRoffD>("RoffD", "Roff =", "off-resistance of a diode", "Ohm",
                                         In(0, 10000), "Diode"),
    Row<kMotor, &CMotorParams::m_dMra>(
        "Mra", "mra =", "multiplier of the phase-a winding resistance (Ra = mra * 2.9 Ohm)", "",
        In(0, 10)),
    Row<kMotor, &CMotorParams::m_dMrb>(
        "Mrb", "mrb =", "multiplier of the phase-b winding resistance (Rb = mrb * 2.9 Ohm)", "",
        In(0, 10)),
    Row<kMotor, &CMotorParams::m_dMrc>(
        "Mrc", "mrc =", "multiplier of the phase-c winding resistance (Rc = mrc * 2.9 Ohm)", "",
        In(0, 10)),
    Row<kMotor, &CMotorParams::m_dMl>(
        "Ml", "ml =", "multiplier of the coils' self inductances (Mx,x = ml * Mx,x)", ""),
    Row<kMotor, &CMotorParams::m_dMm>(
        "Mm", "mm =", "multiplier of the mutual inductances between coils (Mx,y = mm * Mx,y)", ""),
    Row<kMotor, &CMotorParams::m_nNhInd>("NhInd",
                                         "Nh =", "number of harmonics of the inductance model", "",
                                         In(0, 3), "Winding inductances"),
    Row<kMotor, &CMotorParams::m_nNhFlux>(
        "NhFlux", "Nh =", "number of harmonics of the magnets' air-gap flux density model", "",
        In(0, 100), "Air gap flux density"),
    Row<kMotor, &CMotorParams::m_dJ>("J", "J =", "moment of inertia of the rotor and load",
                                     "kg m^2"),
    Row<kMotor, &CMotorParams::m_dD>("D", "D =", "viscous damping constant of the shaft",
                                     "Nm/(rad/s)"),

    Row<kFailures, &CFailParams::m_nFailD>(
        "FailD", "D1..D6", "state of the diodes D1..D6: 0 OK, 1 short circuit, 2 break", ""),
    Row<kFailures, &CFailParams::m_nFailT>(
        "FailT", "T1..T6", "state of the transistors T1..T6: 0 OK, 1 short circuit, 2 break", ""),
    Row<kFailures, &CFailParams::m_dOnset>(
        "Onset", "Fault from t =", "time from which the failure codes apply; 0 from the first step",
        "s", AtLeast(0)),
    Row<kFailures, &CFailParams::m_dClear>(
        "Clear", "until t =", "time from which the failure codes stop applying; 0 never", "s",
        AtLeast(0)),

    Row<kTime, &CTimeParams::m_dTe>("Te", "te =", "end time of the run", "s"),
    Row<kTime, &CTimeParams::m_dTs>("Ts", "ts =", "start time of the run", "s"),
    Row<kTime, &CTimeParams::m_dH>("H", "h =", "integration step", "s", In(0, 1)),
    Row<kTime, &CTimeParams::m_dOmegaR>("OmegaR", "omegaR =", "initial rotor speed", "rad/s",
                                        In(-200, 200)),
    Row<kTime, &CTimeParams::m_dBetaR>("BetaR", "betaR =", "initial rotor angle", "deg",
                                       In(-360, 360)),
    Row<kTime, &CTimeParams::m_dUc0>(
        "Uc0", "Uc0 =", "initial voltage of the DC-side capacitor (conditions 0 and 2)", "V"),
    Row<kTime, &CTimeParams::m_nEvery>(
        "Every", "store every",
        "only every n-th output point is stored; the first and the last always are", "",
        In(1, std::numeric_limits<int>::max())),
    Row<kTime, &CTimeParams::m_bExact>(
        "Exact", "Exact switching instants",
        "steps end on every switching instant, fault time, speed-path point and device "
        "commutation, the corrector iterates to each state's own tolerance and Te is the torque "
        "of each row's own state; false: the fixed step grid",
        ""),

    Row<kInductancePlot, &CIndSettings::m_nX>("X", "x =", "first coil of the inductance Mx,y", "",
                                              In(0, 17)),
    Row<kInductancePlot, &CIndSettings::m_nY>("Y", "y =", "second coil of the inductance Mx,y", "",
                                              In(0, 17)),
    Row<kInductancePlot, &CIndSettings::m_dAlfab>("Alfab", "alfab =", "first rotor angle", "deg"),
    Row<kInductancePlot, &CIndSettings::m_dAlfae>("Alfae", "alfae =", "last rotor angle", "deg"),
    Row<kInductancePlot, &CIndSettings::m_bRotation>(
        "Rotation", "Rotation inductance",
        "plot the derivative of the inductance over the rotor angle instead", ""),
    Row<kInductancePlot, &CIndSettings::m_nN>("N", "N =", "number of points", "", In(0, 10000)),
    Row<kInductancePlot, &CIndSettings::m_nNh>(
        "Nh", "Nh =", "number of harmonics of the inductance model", "", In(0, 3)),

    Row<kFluxPlot, &CFluxPlotSettings::m_dAlfab>("Alfab", "alfab =", "first angle", "deg"),
    Row<kFluxPlot, &CFluxPlotSettings::m_dAlfae>("Alfae", "alfae =", "last angle", "deg"),
    Row<kFluxPlot, &CFluxPlotSettings::m_nX>("X", "x =", "coil whose flux linkage is plotted", "",
                                             In(0, 17)),
    Row<kFluxPlot, &CFluxPlotSettings::m_nY>("Y", "y =", "magnet", "", In(0, 3)),
    Row<kFluxPlot, &CFluxPlotSettings::m_nN>("N", "N =", "number of points", "", In(0, 1000)),
    Row<kFluxPlot, &CFluxPlotSettings::m_bAirGap>(
        "AirGap", "Air gap", "plot the air-gap quantity of all four magnets instead of the coil's",
        ""),
    Row<kFluxPlot, &CFluxPlotSettings::m_nQuantity>(
        "Quantity", "Quantity", "quantity: 0 flux density, 1 flux, 2 flux derivative", "",
        In(0, 2)),
    Row<kFluxPlot, &CFluxPlotSettings::m_nNh>(
        "Nh", "Nh =", "number of harmonics of the air-gap flux density model", "", In(0, 100)),

    Row<kVoltagePlot, &CVoltPlotSettings::m_dFimp>("Fimp", "fimp =", "carrier frequency", "Hz",
                                                   In(0, 10000)),
    Row<kVoltagePlot, &CVoltPlotSettings::m_dMf>(
        "Mf", "mf =", "frequency ratio of the reference to the carrier", "", In(0, 1)),
    Row<kVoltagePlot, &CVoltPlotSettings::m_dMa>("Ma", "ma =", "modulation index", "", In(0, 10)),
    Row<kVoltagePlot, &CVoltPlotSettings::m_dTs>("Ts", "ts =", "start time", "s"),
    Row<kVoltagePlot, &CVoltPlotSettings::m_dTe>("Te", "te =", "end time", "s"),
    Row<kVoltagePlot, &CVoltPlotSettings::m_nN>("N", "N =", "number of points", ""),
    Row<kVoltagePlot, &CVoltPlotSettings::m_nPhase>(
        "Phase", "Phase", "phase voltage plotted: 0 Ua, 1 Ub, 2 Uc", "", In(0, 2)),

    Row<kDft, &CDftSettings::m_nNh>("Nh", "Nh =", "highest harmonic of the spectrum", "",
                                    In(0, 1000)),

    Row<kResultPlot, &CResPlotSettings::m_nResult>(
        "Result", "Result",
        "result plotted: column of the result table after the time, 0 ia; 35..40 id, iq, id*, "
        "iq*, ud*, uq* of field-oriented runs",
        "", In(0, 40)),

    Row<kFoc, &CFocParams::m_dCurrentBandwidth>(
        "CurrentBandwidth", "Current bandwidth =",
        "closed-loop bandwidth of the d and q current loops (field-oriented control); at most "
        "fT / 2",
        "rad/s", In(1, 1e6)),
    Row<kFoc, &CFocParams::m_dSpeedBandwidth>(
        "SpeedBandwidth", "Speed bandwidth =",
        "crossover of the speed loop (field-oriented control); below the current bandwidth",
        "rad/s", In(0.01, 1e5)),
    Row<kFoc, &CFocParams::m_dImax>("Imax",
                                    "Imax =", "peak phase-current limit of field-oriented control",
                                    "A", In(0.001, 10000)),
    Row<kFoc, &CFocParams::m_bMtpa>(
        "Mtpa", "Maximum torque per ampere",
        "current reference of field-oriented control: true maximum torque per ampere from Ld, "
        "Lq and the magnet flux, false id* = 0",
        ""),

    Row<kProtection, &CProtectionParams::m_dItrip>(
        "Itrip",
        "Itrip =", "phase overcurrent trip: |ia|, |ib| or |ic| above it (condition 0); 0 off", "A",
        AtLeast(0)),
    Row<kProtection, &CProtectionParams::m_dIdesat>(
        "Idesat", "Idesat =",
        "desaturation trip: a gated-on transistor's current above it for Tdesat (condition 0); "
        "0 off",
        "A", AtLeast(0)),
    Row<kProtection, &CProtectionParams::m_dTdesat>(
        "Tdesat", "Tdesat =",
        "detection and turn-off time of the desaturation trip: how long the current must stay "
        "above Idesat",
        "s", AtLeast(0)),
    Row<kProtection, &CProtectionParams::m_dUovp>(
        "Uovp", "Uovp =",
        "DC-link overvoltage trip: the capacitor's voltage above it (condition 0); "
        "0 off",
        "V", AtLeast(0)),
    Row<kProtection, &CProtectionParams::m_nSafeState>(
        "SafeState", "After a trip",
        "gates from the step after a trip: 0 every gate off, 1 active short circuit (the lower "
        "transistors, the upper ones when an upper device is shorted, none when both sides are)",
        "", In(0, 1)),
};

const std::vector<CFieldDesc>& Descriptions() {
    static const std::vector<CFieldDesc> descriptions = [] {
        std::vector<CFieldDesc> list;
        for (const CFieldRow& row : kRows)
            list.push_back(row.m_desc);
        return list;
    }();
    return descriptions;
}

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
    const std::vector<CFieldDesc>& descriptions = Descriptions();
    std::vector<CField> fields;
    fields.reserve(kRows.size());
    for (std::size_t i = 0; i < kRows.size(); ++i)
        fields.push_back({&descriptions[i], kRows[i].m_pAccess(s)});
    return fields;
}

const std::vector<CFieldDesc>& FieldDescriptions() {
    return Descriptions();
}

const CFieldDesc* FindField(std::string_view group, std::string_view key) {
    for (const CFieldDesc& desc : Descriptions()) {
        if (desc.m_strGroup == group && desc.m_strKey == key)
            return &desc;
    }
    return nullptr;
}

std::string FieldName(std::string_view group, std::string_view key) {
    const CFieldDesc* pDesc = FindField(group, key);
    return pDesc ? pDesc->DisplayName() : std::string(key);
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
    if (text.size() > desc.m_nMaxLen)
        return desc.DisplayName() + " is too long (" + std::to_string(text.size()) +
               " characters): enter " + desc.AcceptedText() + ".";
    // A NUL would end the text wherever it is read as a C string.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        return desc.DisplayName() + " holds a NUL character at position " +
               std::to_string(nul + 1) + ": enter " + desc.AcceptedText() + ".";
    if (desc.m_strGroup == "control" && desc.m_strKey == "SpeedPath") {
        if (std::string problem = CControl::SpeedPathMessage(std::string(text)); !problem.empty())
            return problem;
    }
    return std::nullopt;
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
    if (auto refusal = CheckFaultTiming(set.m_failures))
        return refusal;
    return CheckControlScheme(set.m_control);
}

std::optional<std::string> CheckControlScheme(const CInvParams& control) {
    if (control.m_nScheme != 1 || (control.m_nCondition == 0 && control.m_nControlMethod == 0))
        return std::nullopt;
    auto name = [](std::string_view key) {
        const CFieldDesc* pDesc = FindField("control", key);
        return pDesc ? pDesc->DisplayName() : std::string(key);
    };
    const std::string why = control.m_nCondition != 0
                                ? name("Condition") + " " + std::to_string(control.m_nCondition)
                                : name("ControlMethod") + " 1 (six-step control)";
    return name("Scheme") + " 1 (field oriented) is not accepted with " + why +
           ": field-oriented control drives the inverter (condition 0, \"1 - Motor supplied by "
           "inverter\") with Space Vector PWM; choose both, or the scalar scheme 0.";
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
