#pragma once

/// Charges that have passed through the inverter's devices, from the state vector x (16
/// values): their time derivatives are the device currents, forward positive. q[0..5] belong
/// to T1..T6 or D1..D6. The result table's device columns and the protection take their
/// currents from these sums, so both see the same values.
inline void TransistorCharges(const double* x, double* q) {
    q[0] = x[2] - x[4];
    q[1] = x[5] - x[7];
    q[2] = x[8];
    q[3] = x[3] - x[4] - x[10];
    q[4] = x[6] - x[7] - x[11];
    q[5] = x[9];
}

inline void DiodeCharges(const double* x, double* q) {
    q[0] = x[2] - x[1];
    q[1] = x[5] - x[4];
    q[2] = x[8] - x[7];
    q[3] = x[3] - x[1];
    q[4] = x[6] - x[4] - x[10];
    q[5] = x[9] - x[7] - x[11];
}
