#pragma once

#include <cstdint>

/// Sums of the seven coil inductance tables over the coil pairs of two phases, split into the
/// self terms (k == l) and the mutual ones (k != l). The phase and loop sums of the inductance
/// and of its derivative are linear in the table entries, so with these a sum over 36 coil pairs
/// costs one multiplication per table and multiplier instead of a double loop.
class CWindingSums {
public:
    /// Phase pairs: a with a, b with b, c with c, a with b, a with c, b with c.
    enum EPair { kAA, kBB, kCC, kAB, kAC, kBC, kPairCount };
    /// Tables in the order L0, A1, B1, A2, B2, A3, B3.
    static constexpr int kTableCount = 7;

    /// The sums of the constant tables, computed on first use.
    static const CWindingSums& Get();

    /// Multiplies the sums by 39 * 39 * 0.1035 and by ml (self terms) or mm (mutual terms):
    /// pOut[t][p] is then the phase sum of table t for pair p in henry per unit coefficient.
    static void Weighted(double ml, double mm, double (*pOut)[kPairCount]);

    double m_adSelf[kTableCount][kPairCount];   ///< sum of T[k][k], k in the phase; 0 for x != y
    double m_adMutual[kTableCount][kPairCount]; ///< sum of T[k][l], k in x, l in y, k != l

private:
    CWindingSums();
};
