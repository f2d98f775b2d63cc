#pragma once

/// The largest instantaneous current of each inverter device over an exact run, with its sign
/// and time: the currents at both ends of every accepted step (a step ends on every switching
/// instant, so the jump of a current at a switching is among them). The result table's device
/// columns are means over an output interval, which average a peak shorter than the interval.
class CDevicePeaks {
public:
    /// Takes the device currents it[1..6] (T1..T6) and id[1..6] (D1..D6) [A] at time t [s].
    void Add(double t, const double* it, const double* id);

    bool m_bKept = false;           ///< the run kept the peaks (exact mode)
    double m_adTransistor[7] = {};  ///< T1..T6, index 0 unused: the largest |i| with its sign [A]
    double m_adTransistorT[7] = {}; ///< when it occurred [s]
    double m_adDiode[7] = {};       ///< D1..D6 [A]
    double m_adDiodeT[7] = {};      ///< [s]
};
