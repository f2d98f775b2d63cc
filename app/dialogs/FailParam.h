#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QLineEdit;

/// The modal dialog "Inverter failures": one group of three radios per transistor and diode,
/// storing 0 OK, 1 short circuit or 2 break, and the time the failures apply from and until.
/// It edits the document's structure, which must outlive it: the controls are loaded on
/// construction and stored only on OK, when every field is accepted.
class CFailParam : public QDialog {
    Q_OBJECT

public:
    explicit CFailParam(CFailParams& params, QWidget* parent = nullptr);

    /// Whether "Failures..." is offered: only where the inverter or the rectifier is in the
    /// circuit, that is in condition of work index 0 or 2.
    static bool IsAvailable(const CInvParams& control);

    /// Checks the times (each a number from 0; a positive "until" after "from"); a refused
    /// field gets a message naming it and the focus, and the dialog stays open.
    void accept() override;

    QLineEdit* m_pOnset; ///< "Fault from t =" [s]
    QLineEdit* m_pClear; ///< "until t =" [s], 0 never

private:
    CFailParams& m_params;                   ///< the document's structure
    std::array<QButtonGroup*, 6> m_pFailD{}; ///< radio groups of D1..D6, ids 0..2
    std::array<QButtonGroup*, 6> m_pFailT{}; ///< radio groups of T1..T6, ids 0..2
    CFieldList<CFailParams> m_fields;        ///< the fault times in exchange order
};
