#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

#include <QList>

#include <array>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QLineEdit;

/// The modal dialog "Inverter failures": one group of three radios per transistor and diode,
/// storing 0 OK, 1 short circuit or 2 break, the time the failures apply from and until, and
/// the group "Protection" (thresholds, blanking time, safe state), which the inverter's
/// condition of work (index 0) alone offers. It edits the document's structures, which must
/// outlive it: the controls are loaded on construction and stored only on OK, when every field
/// is accepted.
class CFailParam : public QDialog {
    Q_OBJECT

public:
    /// nCondition: the condition of work the parameters are edited for.
    CFailParam(CFailParams& params, CProtectionParams& protection, int nCondition,
               QWidget* parent = nullptr);

    /// Whether "Failures..." is offered: only where the inverter or the rectifier is in the
    /// circuit, that is in condition of work index 0 or 2.
    static bool IsAvailable(const CInvParams& control);

    /// Checks the times (each a number from 0; a positive "until" after "from"); a refused
    /// field gets a message naming it and the focus, and the dialog stays open.
    void accept() override;

    QLineEdit* m_pOnset;        ///< "Fault from t =" [s]
    QLineEdit* m_pClear;        ///< "until t =" [s], 0 never
    QGroupBox* m_pProtection;   ///< "Protection", enabled in condition index 0
    QLineEdit* m_pItrip;        ///< "Itrip =" [A], 0 off
    QLineEdit* m_pIdesat;       ///< "Idesat =" [A], 0 off
    QLineEdit* m_pTdesat;       ///< "Tdesat =" [s], offered with a desaturation threshold
    QLineEdit* m_pUovp;         ///< "Uovp =" [V], 0 off
    QButtonGroup* m_pSafeState; ///< "Gates off" (0), "Active short circuit" (1)

private:
    /// Tdesat with a desaturation threshold, the safe state with any threshold: a field whose
    /// text is not 0 counts as set, so a mistyped value stays editable.
    void ApplyEnabling();
    QWidget* BuildProtection();

    CFailParams& m_params;                            ///< the document's structure
    CProtectionParams& m_protection;                  ///< the document's protection group
    CFieldRow m_rowTdesat{};                          ///< Tdesat with its labels
    std::array<QButtonGroup*, 6> m_pFailD{};          ///< radio groups of D1..D6, ids 0..2
    std::array<QButtonGroup*, 6> m_pFailT{};          ///< radio groups of T1..T6, ids 0..2
    CFieldList<CFailParams> m_fields;                 ///< the fault times in exchange order
    CFieldList<CProtectionParams> m_protectionFields; ///< the protection in exchange order
    QList<QAbstractButton*> m_safeButtons;            ///< the safe state's radios
};
