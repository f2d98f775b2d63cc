#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

/// The modal dialog "Voltage plot": carrier frequency, frequency ratio and modulation index of
/// an ideal space-vector PWM, the time interval and samples, and the phase to plot, beside a
/// picture of the modulation. It edits the document's remembered settings, which must outlive
/// it: loaded on construction, stored only on OK. No field is enabled or disabled by another.
class CDVoltPlot : public QDialog {
    Q_OBJECT

public:
    explicit CDVoltPlot(CVoltPlotSettings& settings, QWidget* parent = nullptr);

    void accept() override;

private:
    CVoltPlotSettings& m_settings;          ///< the document's settings
    CFieldList<CVoltPlotSettings> m_fields; ///< fields in exchange order
};
