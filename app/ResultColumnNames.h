#pragma once

#include <array>

/// Names of the 36 result-table columns, in column order, as the plots label them and as
/// "Export results..." writes them. The one list the program's pictures and dialogs read;
/// it stands until the engine offers the same list.
inline constexpr std::array<const char*, 36> g_aszResultColumnNames = {
    "t [s]",           "Ia [A]",           "Ib [A]",         "Ic [A]",         "Ua [V]",
    "Ub [V]",          "Uc [V]",           "IU [A]",         "IC [A]",         "IDC [A]",
    "IT1 [A]",         "IT2 [A]",          "IT3 [A]",        "IT4 [A]",        "IT5 [A]",
    "IT6 [A]",         "ID1 [A]",          "ID2 [A]",        "ID3 [A]",        "ID4 [A]",
    "ID5 [A]",         "ID6 [A]",          "omegaR [rad/s]", "omegaU [rad/s]", "Te [Nm]",
    "betaR [rad]",     "Uab [V]",          "Ubc [V]",        "Uca [V]",        "VX [V]",
    "omegaR* [rad/s]", "omegaR** [rad/s]", "omegaE [rad/s]", "Psia [Wb]",      "Psib [Wb]",
    "Psic [Wb]",
};
