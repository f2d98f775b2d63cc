#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

/// The modal dialog "Inductance plot": the two coils of the inductance Mx,y, the angle range,
/// "Rotation inductance", the number of samples and of harmonics. It edits the document's
/// remembered settings, which must outlive it: loaded on construction, stored only on OK. No
/// field is enabled or disabled by another.
class CInd : public QDialog {
    Q_OBJECT

public:
    explicit CInd(CIndSettings& settings, QWidget* parent = nullptr);

    /// Checks every field in exchange order; on the first refusal shows the prompt, focuses the
    /// field and stays open with the settings untouched. Otherwise stores all and closes.
    void accept() override;

private:
    CIndSettings& m_settings;          ///< the document's settings
    CFieldList<CIndSettings> m_fields; ///< fields in exchange order
};
