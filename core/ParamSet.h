#pragma once

#include "Protection.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

/// Control parameters and condition of work ("Control parameters").
struct CInvParams {
    double m_dFT = 5000;                       ///< PWM carrier frequency fT [Hz]
    double m_dUd = 200;                        ///< DC source voltage [V]
    double m_dCu = 0.0001;                     ///< input capacitor [F]
    double m_dRu = 0.1;                        ///< internal resistance of the DC source [Ohm]
    int m_nControlMethod = 0;                  ///< 0 space-vector PWM, 1 six-step control
    double m_dKi = 50;                         ///< integral gain of the PI regulator [1/s]
    double m_dKp = 0.6;                        ///< proportional gain of the PI regulator
    double m_dKt = 700;                        ///< slope of the ramp [rad/s per s]
    std::string m_strSpeedPath = "0.0*100.0*"; ///< speed path "time1*speed1*..." [s, rad/s]
    bool m_bSpeedControl = false;              ///< speed control on ("ON/OFF")
    int m_nCondition = 0;                      ///< condition of work, 0..3
    double m_dRlRC = 100;                      ///< load resistance of the rectifier's RC load [Ohm]
    double m_dCl = 0.0001;                     ///< load capacitor of the rectifier's RC load [F]
    double m_dUmax = 200;                      ///< amplitude of the three-phase supply [V]
    double m_dF = 50;                          ///< frequency of the three-phase supply [Hz]
    double m_dPhi = 0;                         ///< phase of the supply at t = 0 [deg]
    double m_dRlR = 100;                       ///< resistance of the three-phase R load [Ohm]
    double m_dT = 0;                           ///< external torque, load - / force + [Nm]
    int m_nScheme = 0; ///< 0 scalar speed control, 1 field-oriented control (index 0, SVPWM)
};

/// Field-oriented control ("Control scheme": field oriented).
struct CFocParams {
    double m_dCurrentBandwidth = 2 * 3.141592653589793 * 200; ///< current loops [rad/s]
    double m_dSpeedBandwidth = 2 * 3.141592653589793 * 10;    ///< speed loop [rad/s]
    double m_dImax = 10;                                      ///< peak phase-current limit [A]
    bool m_bMtpa = false; ///< maximum torque per ampere; false: id* = 0
};

/// Motor and inverter parameters ("Motor and inverter parameters").
struct CMotorParams {
    double m_dRonT = 0.1;   ///< transistor on-resistance [Ohm]
    double m_dRoffT = 1000; ///< transistor off-resistance [Ohm]
    double m_dRonD = 0.1;   ///< diode on-resistance [Ohm]
    double m_dRoffD = 1000; ///< diode off-resistance [Ohm]
    double m_dMra = 1.0;    ///< multiplier of the phase-a winding resistance
    double m_dMrb = 1.0;    ///< multiplier of the phase-b winding resistance
    double m_dMrc = 1.0;    ///< multiplier of the phase-c winding resistance
    double m_dMl = 1.0;     ///< multiplier of the self inductances
    double m_dMm = 1.0;     ///< multiplier of the mutual inductances
    int m_nNhInd = 0;       ///< harmonics of the inductance model, 0..3
    int m_nNhFlux = 1;      ///< harmonics of the air-gap flux density model, 0..100
    double m_dJ = 0.000962; ///< moment of inertia [kg m^2]
    double m_dD = 0.000904; ///< damping constant [Nm/(rad/s)]
};

/// Failure codes of the inverter devices: 0 OK, 1 short circuit, 2 break, and when they apply.
struct CFailParams {
    std::array<int, 6> m_nFailD{}; ///< diodes D1..D6
    std::array<int, 6> m_nFailT{}; ///< transistors T1..T6
    double m_dOnset = 0;           ///< the codes apply from this time on; 0 from the first step [s]
    double m_dClear = 0;           ///< the codes stop applying from this time on; 0 never [s]
};

/// Protection of the inverter, acting in condition of work index 0; every threshold 0 is off.
struct CProtectionParams {
    double m_dItrip = 0;  ///< phase overcurrent threshold on |ia|, |ib|, |ic| [A]; 0 off
    double m_dIdesat = 0; ///< desaturation threshold of a transistor's current [A]; 0 off
    double m_dTdesat = CProtection::kDefaultTdesat; ///< time above Idesat before the trip [s]
    double m_dUovp = 0;                             ///< DC-link overvoltage threshold [V]; 0 off
    int m_nSafeState = 0; ///< after a trip: 0 every gate off, 1 active short circuit
};

/// Simulation time and initial conditions ("Simulation parameters").
struct CTimeParams {
    double m_dTe = 0.1;     ///< end time [s]
    double m_dTs = 0.0;     ///< start time [s]
    double m_dH = 0.000005; ///< calculation step [s]
    double m_dOmegaR = 0.0; ///< initial rotor speed [rad/s]
    double m_dBetaR = 0.0;  ///< initial rotor angle [deg]
    double m_dUc0 = 0.0;    ///< initial voltage of the DC-side capacitor (conditions 0, 2) [V]
    int m_nEvery = 1;       ///< only every n-th output point is stored (first and last always)
    bool m_bExact = false;  ///< steps land on every switching instant (false: the fixed grid)
};

/// Remembered settings of the inductance plot.
struct CIndSettings {
    int m_nX = 4;             ///< first coil
    int m_nY = 4;             ///< second coil
    double m_dAlfab = 0;      ///< first angle [deg]
    double m_dAlfae = 360;    ///< last angle [deg]
    bool m_bRotation = false; ///< plot the derivative ("Rotation inductance")
    int m_nN = 1000;          ///< number of points
    int m_nNh = 3;            ///< harmonics, 0..3
};

/// Remembered settings of the excitation-flux plot.
struct CFluxPlotSettings {
    double m_dAlfab = 0;    ///< first angle [deg]
    double m_dAlfae = 360;  ///< last angle [deg]
    int m_nX = 0;           ///< coil
    int m_nY = 0;           ///< magnet
    int m_nN = 1000;        ///< number of points
    bool m_bAirGap = false; ///< air-gap quantities instead of coil quantities
    int m_nQuantity = 1;    ///< 0 flux density, 1 flux, 2 flux derivative
    int m_nNh = 99;         ///< harmonics, 0..100
};

/// Remembered settings of the PWM voltage plot.
struct CVoltPlotSettings {
    double m_dFimp = 5000; ///< carrier frequency [Hz]
    double m_dMf = 0.01;   ///< frequency factor
    double m_dMa = 0.5;    ///< amplitude factor
    double m_dTs = 0.0;    ///< start time [s]
    double m_dTe = 0.04;   ///< end time [s]
    int m_nN = 1000;       ///< number of points
    int m_nPhase = 0;      ///< 0 Ua, 1 Ub, 2 Uc
};

/// Remembered setting of the DFT dialog.
struct CDftSettings {
    int m_nNh = 10; ///< highest harmonic shown
};

/// Remembered setting of the result plot dialog.
struct CResPlotSettings {
    int m_nResult = 0; ///< chosen result, 0..40 (35..40 the dq results of field-oriented runs)
};

/// The whole parameter set of a document.
struct CParamSet {
    CInvParams m_control;
    CMotorParams m_motor;
    CFailParams m_failures;
    CTimeParams m_time;
    CIndSettings m_inductancePlot;
    CFluxPlotSettings m_fluxPlot;
    CVoltPlotSettings m_voltagePlot;
    CDftSettings m_dft;
    CResPlotSettings m_resultPlot;
    CFocParams m_foc;
    CProtectionParams m_protection;

    bool operator==(const CParamSet&) const;
};

/// Kinds of a parameter's value.
enum class EFieldKind { Double, Int, Bool, Text, Codes6 };

/// A reference to one member of a parameter set.
using FieldRef = std::variant<double*, int*, bool*, std::string*, std::array<int, 6>*>;

/// Description of one parameter: where it lives, how it is labelled, what it means and what it
/// accepts.
struct CFieldDesc {
    std::string_view m_strGroup;   ///< group in the parameter file ("control")
    std::string_view m_strKey;     ///< key in the parameter file ("Cu")
    std::string_view m_strLabel;   ///< label of its field ("Cu =")
    std::string_view m_strContext; ///< what distinguishes equal labels, may be empty
    EFieldKind m_kind;
    bool m_bRanged;                ///< m_dMin and m_dMax apply
    double m_dMin;                 ///< smallest accepted value (numbers, each code)
    double m_dMax;                 ///< largest accepted value
    std::size_t m_nMaxLen;         ///< longest accepted text (Text only)
    std::string_view m_strMeaning; ///< what the value is, for the parameter reference
    std::string_view m_strUnit;    ///< its unit, empty for a plain number, a flag or a choice

    /// The label with its context, as messages name the field: "Nh = (Winding inductances)".
    std::string DisplayName() const;
    /// What the field accepts, e.g. "a number from 0.0001 to 10".
    std::string AcceptedText() const;
};

/// One parameter of a set: its description and the member it refers to.
struct CField {
    const CFieldDesc* m_pDesc;
    FieldRef m_ref;
};

/// Every parameter of the set, in the file's order of groups and keys.
std::vector<CField> ListFields(CParamSet& set);

/// The descriptions of every parameter, in the file's order.
const std::vector<CFieldDesc>& FieldDescriptions();

/// The description of group.key, or null when there is no such parameter.
const CFieldDesc* FindField(std::string_view group, std::string_view key);

/// The display name of group.key as messages name the field, or key itself when there is no
/// such parameter.
std::string FieldName(std::string_view group, std::string_view key);

/// Checks a number against a field's kind and range; returns a message naming the field and
/// what it accepts when the value is refused.
std::optional<std::string> CheckNumber(const CFieldDesc& desc, double value);

/// Checks a text against a field's length bound.
std::optional<std::string> CheckText(const CFieldDesc& desc, std::string_view text);

/// Checks the fault timing: a positive Clear must come after Onset.
std::optional<std::string> CheckFaultTiming(const CFailParams& failures);

/// Checks the control scheme against the condition and the modulation: field-oriented control
/// (Scheme 1) runs only the inverter (condition index 0) with space-vector PWM.
std::optional<std::string> CheckControlScheme(const CInvParams& control);

/// Checks every parameter of the set in the file's order, then the fault timing and the
/// control scheme; returns the first refusal.
std::optional<std::string> ValidateParamSet(const CParamSet& set);
