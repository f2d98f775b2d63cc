#pragma once

// The stator's 18 coils and the phase each belongs to.
constexpr int kCoils = 18;

// Phase of a coil: 0 a, 1 b, 2 c (coils 0-2 and 9-11 are a, 3-5 and 12-14 b, 6-8 and 15-17 c).
constexpr int CoilPhase(int coil) {
    return (coil / 3) % 3;
}
