#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

/// The modal dialog "Motor and inverter parameters": device resistances of the inverter,
/// winding resistance and inductance multipliers, harmonics numbers and the mechanical data. It
/// edits the document's structure, which must outlive it: fields are loaded on construction and
/// stored only on OK; no field is ever disabled.
class CMotorParam : public QDialog {
    Q_OBJECT

public:
    explicit CMotorParam(CMotorParams& params, QWidget* parent = nullptr);

    /// Checks every field in exchange order; on the first refusal shows the prompt, focuses the
    /// field and stays open with the structure untouched. Otherwise stores all and closes.
    void accept() override;

private:
    CMotorParams& m_params;            ///< the document's structure
    CFieldList<CMotorParams> m_fields; ///< fields in exchange order
};
