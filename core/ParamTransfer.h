#pragma once

#include "CalcPlan.h"
#include "FocControl.h"
#include "ParamSet.h"

class CSolver;

// The one place where the parameter set meets the model objects of a run: the initial state,
// and every model field a parameter sets, condition by condition.

/// Fills x0 (kStateSize values) from the time group: zeros, the rotor angle converted from
/// degrees with 3.1416, and the speed.
void FillInitialState(const CTimeParams& time, double* x0);
/// As above, and the charge of the DC-side capacitor for its initial voltage Uc0: Cu Uc0 with
/// the inverter (condition index 0), Cl Uc0 with the rectifier's RC load (index 2), none in
/// the other conditions, which have no capacitor.
void FillInitialState(const CParamSet& set, double* x0);

/// Copies the parameter set into the model objects of a new solver, in the order R, U, M, G,
/// skipping an object that is missing, enables field-oriented control when the scheme asks
/// for it, and copies the protection group into its protection. Every run starts the PWM
/// sequence sign at -1.
void TransferParameters(const CParamSet& set, CSolver& solver);

/// The engine's settings of field-oriented control from the parameter group foc.
CFocSettings FocSettings(const CFocParams& foc);

/// The dq model of the motor as a run with these parameters computes it (M and G loaded as
/// TransferParameters loads them; the phase resistance is the mean of the three phases').
CDqModel MotorDqModel(const CMotorParams& motor);
