#pragma once

#include <array>
#include <string_view>

/// Number of columns of the result table.
inline constexpr int kResultColumns = 36;

/// The labels of the result table's columns, in column order. The result plot, the CSV
/// header and the picture of the export order name the columns by these texts.
inline constexpr std::array<std::string_view, kResultColumns> kResultLabels = {
    "t [s]",           "Ia [A]",           "Ib [A]",         "Ic [A]",         "Ua [V]",
    "Ub [V]",          "Uc [V]",           "IU [A]",         "IC [A]",         "IDC [A]",
    "IT1 [A]",         "IT2 [A]",          "IT3 [A]",        "IT4 [A]",        "IT5 [A]",
    "IT6 [A]",         "ID1 [A]",          "ID2 [A]",        "ID3 [A]",        "ID4 [A]",
    "ID5 [A]",         "ID6 [A]",          "omegaR [rad/s]", "omegaU [rad/s]", "Te [Nm]",
    "betaR [rad]",     "Uab [V]",          "Ubc [V]",        "Uca [V]",        "VX [V]",
    "omegaR* [rad/s]", "omegaR** [rad/s]", "omegaE [rad/s]", "Psia [Wb]",      "Psib [Wb]",
    "Psic [Wb]",
};

/// Columns a field-oriented run keeps beside the result table, per stored row: the measured
/// dq currents of the row's state, and the references of the controller's last sample.
inline constexpr int kFocColumns = 6;
inline constexpr std::array<std::string_view, kFocColumns> kFocLabels = {
    "id [A]", "iq [A]", "id* [A]", "iq* [A]", "ud* [V]", "uq* [V]",
};

/// Column indexes the engine and the tests address by meaning.
enum EResultColumn : int {
    kColT = 0,
    kColIa = 1,
    kColIb = 2,
    kColIc = 3,
    kColUa = 4,
    kColUb = 5,
    kColUc = 6,
    kColIU = 7,
    kColIC = 8,
    kColIDC = 9,
    kColIT1 = 10, ///< IT1..IT6 in 10..15
    kColID1 = 16, ///< ID1..ID6 in 16..21
    kColOmegaR = 22,
    kColOmegaU = 23,
    kColTe = 24,
    kColBetaR = 25,
    kColUab = 26,
    kColUbc = 27,
    kColUca = 28,
    kColVX = 29,
    kColOmegaRRef = 30,
    kColOmegaRRamp = 31,
    kColOmegaE = 32,
    kColPsia = 33,
    kColPsib = 34,
    kColPsic = 35,
};
