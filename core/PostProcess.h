#pragma once

#include "Status.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CControl;

/// The samples of a curve that the DFT transforms: indices m_nStart .. m_nStart + m_nCount - 1.
struct CSampleRange {
    std::size_t m_nStart = 0; ///< first sample
    std::size_t m_nCount = 0; ///< number of samples
};

/// Initial selection points of a view (and after a double-click): the whole curve.
inline constexpr std::int64_t kNoSelectionStart = -1;
inline constexpr std::int64_t kNoSelectionEnd = 10000;

/// Maps the mouse selection (x pixels of the left-button point selStart and the right-button
/// point selEnd) over a plot area from pixel left to pixel right onto the n samples of the
/// curve: i = (sel - left) * n / (right - left), truncated. A start left of the area counts as
/// sample 0, an end left of it as n; the end is limited to n, and a start after the end becomes
/// 0. The count is end - start (the sample at the end index is not used). Computed in 64 bits.
/// A plot area of no width (right <= left) selects the whole curve.
CSampleRange MapDftRange(std::int64_t selStart, std::int64_t selEnd, std::int64_t left,
                         std::int64_t right, std::size_t n);

/// Axis labels of the transformed curves.
inline constexpr const char* kDerivativeXLabel = "x";
inline constexpr const char* kDerivativeYLabel = "dy/dx";
inline constexpr const char* kIntegralXLabel = "x";
inline constexpr const char* kIntegralYLabel = "integral y dx";
inline constexpr const char* kSpectrumXLabel = "n";
/// Harmonic 0 is the mean of the samples, the others their amplitude (Dft).
inline constexpr const char* kSpectrumYLabel = "Mag (peak)";

/// Outcome of the DFT of a range of a curve: a failure until it succeeds.
struct CDftOutcome : CStatus {
    double m_dThd = 0;          ///< total harmonic distortion, NaN when undefined
    std::size_t m_nSamples = 0; ///< samples transformed, N
    std::size_t m_nShown = 0;   ///< harmonics plotted: min(Nh + 1, N)
};

/// "DFT...": transforms the samples y[range] with control.Dft into work (N magnitudes), then
/// replaces the curve by the spectrum: x[k] = k and y[k] = work[k] for k < N. The arrays hold
/// at least n >= range end values and may not overlap work. A range of fewer than two samples
/// is refused with a message and changes nothing.
CDftOutcome TransformRange(CControl& control, CSampleRange range, int nNh, double* x, double* y,
                           double* work);
