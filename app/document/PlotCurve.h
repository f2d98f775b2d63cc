#pragma once

#include <QString>

#include <memory>
#include <vector>

/// A curve added to a curve plot after the first: its y values, its own x values when they are
/// not the plot's (another run's time samples, a file's), its label and where it comes from.
struct CPlotCurve {
    std::vector<double> m_vecY;                      ///< y values, one per x
    std::shared_ptr<const std::vector<double>> m_pX; ///< own x values, or null: the plot's x
    QString m_strLabel;                              ///< quantity and unit, "Ia [A]"
    QString m_strSource; ///< document or file it comes from; empty: this document's results
    int m_nAxis = 0;     ///< 0: scaled by the left y axis; 1: by the right one (another unit)
};
