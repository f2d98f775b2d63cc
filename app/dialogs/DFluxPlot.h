#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;

/// The modal dialog "Excitation flux": the quantity ("Flux density", "Flux", "Flux
/// derivative"), "Air gap", the coil and magnet of the flux linkage, the angle range, the
/// number of samples and of harmonics. It edits the document's remembered settings, which must
/// outlive it. Fields are loaded on construction and stored on OK; a click on "Air gap" or a
/// quantity stores every field at once, and those stores stay even when the dialog then ends
/// with Cancel.
class CDFluxPlot : public QDialog {
    Q_OBJECT

public:
    explicit CDFluxPlot(CFluxPlotSettings& settings, QWidget* parent = nullptr);

    /// Checks every field in exchange order; on the first refusal shows the prompt, focuses the
    /// field and stays open with the settings untouched. Otherwise stores all and closes.
    void accept() override;

private:
    /// "Air gap" disables both indices; otherwise "Flux density" disables the coil only.
    void ApplyEnabling();
    /// Stores every field for a click; a refused field is shown and the fields before it stay
    /// stored, as the exchange order leaves them.
    void OnClicked();

    CFluxPlotSettings& m_settings;          ///< the document's settings
    CFieldList<CFluxPlotSettings> m_fields; ///< fields in exchange order
    QButtonGroup* m_pQuantity = nullptr;    ///< ids 0 flux density, 1 flux, 2 flux derivative
    QCheckBox* m_pAirGap = nullptr;         ///< "Air gap"
    CFieldRow m_rowX;                       ///< coil, "x ="
    CFieldRow m_rowY;                       ///< magnet, "y ="
};
