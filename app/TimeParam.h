#pragma once

#include "ParamField.h"
#include "ParamSet.h"

#include <QDialog>

class QLineEdit;

/// "Simulation parameters": the interval, the calculation step and the initial rotor position
/// and speed asked for before every calculation. The values live in the document's time group;
/// the dialog loads them at opening and stores them only when "Start!" finds every field valid.
class CTimeParam : public QDialog {
    Q_OBJECT
public:
    CTimeParam(CTimeParams& params, QWidget* pParent = nullptr);

    /// Checks the fields in exchange order (te, ts, h, omegaR, betaR). The first refused field
    /// gets a message naming it and what it accepts, and the focus; the dialog stays open.
    void accept() override;

    QLineEdit* m_pTe;     ///< "te =" [s]
    QLineEdit* m_pTs;     ///< "ts =" [s]
    QLineEdit* m_pH;      ///< "h =" [s]
    QLineEdit* m_pOmegaR; ///< "omegaR =" [rad/s]
    QLineEdit* m_pBetaR;  ///< "betaR =" [deg]

private:
    CTimeParams& m_params;            ///< the document's values, written on a valid "Start!"
    CFieldList<CTimeParams> m_fields; ///< the edits in exchange order
};
