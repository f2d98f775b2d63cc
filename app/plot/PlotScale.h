#pragma once

#include <QString>

#include <vector>

/// Round scales: ticks at whole multiples of a step of 1, 2 or 5 times a power of ten, numbers
/// with the decimals the step needs and "0" for zero, and time in the unit that suits the
/// step. The renderer uses them for a zoomed plot and, on request, for the whole one; the
/// unzoomed default keeps its ten divisions.
namespace PlotScale {

/// The smallest step of 1, 2 or 5 x 10^n that divides span into at most nMaxSteps steps;
/// 0 for a span that is not positive and finite or nMaxSteps < 1.
double RoundStep(double span, int nMaxSteps);

/// The multiples of step inside [lo, hi] (ends included within a hair), ascending.
std::vector<double> Ticks(double lo, double hi, double step);

/// Decimals that write every multiple of step exactly: 0 for steps of 1 and more.
int Decimals(double step);

/// v with decimals decimals; a value within a hair of zero (by step) is "0", never "-0.0".
QString Number(double v, double step, int decimals);

/// Unit of a time axis for a step in seconds: "s" from 10 ms, "ms" from 1 us, else "us";
/// factor multiplies seconds into it.
struct CTimeUnit {
    QString m_strUnit;
    double m_dFactor;
};
CTimeUnit TimeUnit(double stepSeconds);

/// "t [s]" with the time unit's name in place of s: "t [ms]". Other labels stay.
QString TimeLabel(const QString& strLabel, const CTimeUnit& unit);

/// Whether a label is that of a time axis in seconds.
bool IsSeconds(const QString& strLabel);

} // namespace PlotScale
