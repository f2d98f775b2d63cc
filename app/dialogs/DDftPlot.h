#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

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

    void accept() override;

private:
    CDftSettings& m_settings;          ///< the document's setting
    CFieldList<CDftSettings> m_fields; ///< the one field
};
