#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

class QComboBox;
class QGridLayout;

/// The modal dialog "Discrete Fourier Transform": the highest harmonic to plot, and a note that
/// the transform works on the selected range. It edits the document's remembered setting, which
/// must outlive it: loaded on construction, stored only on OK.
class CDDftPlot : public QDialog {
    Q_OBJECT

public:
    /// The note shown under the field.
    static constexpr const char* kNote =
        "Warning: DFT operates on the selected graph range (Hint: use left and right mouse "
        "button to select range; double click to abort).";

    explicit CDDftPlot(CDftSettings& settings, QWidget* parent = nullptr);

    /// With more than one curve, a "Curve:" choice of them (the first preselected); the chosen
    /// one is m_nCurve after OK.
    void OfferCurves(const QStringList& curves);

    void accept() override;

    int m_nCurve = 0;               ///< the curve chosen, 0 without a choice
    QComboBox* m_pCurves = nullptr; ///< the choice, when offered

private:
    QGridLayout* m_pGrid;
    CDftSettings& m_settings;          ///< the document's setting
    CFieldList<CDftSettings> m_fields; ///< the one field
};
