#pragma once

#include "ParamSet.h"
#include "dialogs/ParamField.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

/// "Simulation parameters": the interval, the calculation step, how many output points are
/// stored, and the initial rotor position, speed and capacitor voltage asked for before every
/// calculation. The values live in the document's time group; the dialog loads them at opening
/// and stores them only when "Start!" finds every field valid.
class CTimeParam : public QDialog {
    Q_OBJECT
public:
    /// nCondition is the condition of work: Uc0 is greyed where there is no DC-side capacitor
    /// (condition indexes 1 and 3).
    CTimeParam(CTimeParams& params, QWidget* pParent = nullptr, int nCondition = 0);

    /// Checks the fields in exchange order (te, ts, h, every, omegaR, betaR, Uc0). The first
    /// refused field
    /// gets a message naming it and what it accepts, and the focus; the dialog stays open.
    void accept() override;

    QLineEdit* m_pTe;     ///< "te =" [s]
    QLineEdit* m_pTs;     ///< "ts =" [s]
    QLineEdit* m_pH;      ///< "h =" [s]
    QLineEdit* m_pOmegaR; ///< "omegaR =" [rad/s]
    QLineEdit* m_pBetaR;  ///< "betaR =" [deg]
    QLineEdit* m_pEvery;  ///< "store every" [steps]
    QLineEdit* m_pUc0;    ///< "Uc0 =" [V]
    QCheckBox* m_pExact;  ///< "Exact switching instants" (time.Exact)

private:
    CTimeParams& m_params;            ///< the document's values, written on a valid "Start!"
    CFieldList<CTimeParams> m_fields; ///< the edits in exchange order
};
