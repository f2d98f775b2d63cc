#pragma once

#include "ParamSet.h"

#include <QDialog>

#include <array>

class QButtonGroup;

/// The modal dialog "Inverter failures": one group of three radios per transistor and diode,
/// storing 0 OK, 1 short circuit or 2 break. It edits the document's structure, which must
/// outlive it: radios are loaded on construction and stored only on OK.
class CFailParam : public QDialog {
    Q_OBJECT

public:
    explicit CFailParam(CFailParams& params, QWidget* parent = nullptr);

    /// Whether "Failures..." is offered: only where the inverter or the rectifier is in the
    /// circuit, that is in condition of work index 0 or 2.
    static bool IsAvailable(const CInvParams& control);

    void accept() override;

private:
    CFailParams& m_params;                   ///< the document's structure
    std::array<QButtonGroup*, 6> m_pFailD{}; ///< radio groups of D1..D6, ids 0..2
    std::array<QButtonGroup*, 6> m_pFailT{}; ///< radio groups of T1..T6, ids 0..2
};
