#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;

/// The modal dialog "Control parameters": condition of work, DC source, three-phase supply,
/// loads, external torque, speed control and the control scheme (scalar U/f or field oriented,
/// with the settings of field-oriented control). It edits the document's structures, which
/// must outlive it. The fields are loaded on construction and stored on OK; Cancel stores
/// nothing. Clicking "ON/OFF" or "2 - Motor supplied by 3 phase voltage" stores every field of
/// the control parameters at once, and those stores stay in the structure even when the dialog
/// then ends with Cancel; the settings of field-oriented control are stored on OK only.
class CInvParam : public QDialog {
    Q_OBJECT

public:
    CInvParam(CInvParams& params, CFocParams& foc, QWidget* parent = nullptr);
    /// Edits params only; the settings of field-oriented control start at their defaults and
    /// are not kept.
    explicit CInvParam(CInvParams& params, QWidget* parent = nullptr);

    /// True once a click on "ON/OFF" or on condition 2 stored fields into the structure while
    /// the dialog was open (whatever the dialog's result).
    bool HasStored() const { return m_bStored; }

    /// Checks every field in exchange order, then the scheme against the condition and the
    /// method; on the first refusal shows the prompt, focuses the field and stays open with the
    /// structures untouched. Otherwise stores all and closes.
    void accept() override;

private:
    void BuildConditions(QWidget* box);
    void BuildSpeedControl(QWidget* box);
    void BuildScheme(QWidget* box);
    void BindFields();
    /// Enables the fields that matter for the chosen condition, "ON/OFF" and method.
    void ApplyEnabling();
    void OnConditionClicked(int index);
    void OnSpeedControlClicked();
    /// Stores every field for a button handler; writes the members back into the fields when
    /// all were accepted, so a refused text stays in front of the user.
    void StoreFromHandler();

    CFocParams m_ownFoc;                ///< settings edited when the caller gives none
    CInvParams& m_params;               ///< the document's structure
    CFocParams& m_foc;                  ///< the document's settings of field-oriented control
    CFieldList<CInvParams> m_fields;    ///< fields in exchange order
    CFieldList<CFocParams> m_focFields; ///< the settings of field-oriented control
    bool m_bStored = false;             ///< a handler stored fields while open

    QButtonGroup* m_pCondition = nullptr;  ///< the four conditions of work, ids 0..3
    QButtonGroup* m_pMethod = nullptr;     ///< 0 "Space Vector PWM", 1 "Six step control"
    QCheckBox* m_pSpeedControl = nullptr;  ///< "ON/OFF"
    CFieldRow m_rowUd, m_rowRu, m_rowCu;   ///< condition 1
    CFieldRow m_rowUmax, m_rowF, m_rowPhi; ///< condition 2
    CFieldRow m_rowRlRC, m_rowCl;          ///< condition 3
    CFieldRow m_rowRlR;                    ///< condition 4
    CFieldRow m_rowT;                      ///< external torque
    CFieldRow m_rowFT, m_rowKt, m_rowKp, m_rowKi, m_rowSpeedPath; ///< speed control
    QButtonGroup* m_pScheme = nullptr;                 ///< 0 "Scalar U/f", 1 "Field oriented"
    CFieldRow m_rowCurrentBw, m_rowSpeedBw, m_rowImax; ///< field-oriented control
    QCheckBox* m_pMtpa = nullptr;                      ///< "Maximum torque per ampere"
};
