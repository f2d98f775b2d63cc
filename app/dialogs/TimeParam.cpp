#include "dialogs/TimeParam.h"

#include "Calculation.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

CTimeParam::CTimeParam(CTimeParams& params, QWidget* pParent, int nCondition)
    : QDialog(pParent), m_params(params) {
    setWindowTitle(QStringLiteral("Simulation parameters"));

    auto* pTime = new QGroupBox(QStringLiteral("Time"));
    auto* pTimeGrid = new QGridLayout(pTime);
    m_pTs = AddFieldRow(pTimeGrid, 0, 0, "Start time", "ts =", "s", "ts").m_pEdit;
    m_pTe = AddFieldRow(pTimeGrid, 1, 0, "End time", "te =", "s", "te").m_pEdit;
    m_pH = AddFieldRow(pTimeGrid, 2, 0, "Calculation step", "h =", "s", "h").m_pEdit;
    m_pEvery =
        AddFieldRow(pTimeGrid, 3, 0, "Stored results", "store e&very", "steps", "every").m_pEdit;
    m_pExact = new QCheckBox(QStringLiteral("E&xact switching instants"), pTime);
    m_pExact->setToolTip(QStringLiteral(
        "Steps end on every switching instant and device commutation, so results do not "
        "depend on where the step grid falls; Te is the torque of each row's own state"));
    pTimeGrid->addWidget(m_pExact, 4, 0, 1, -1);

    auto* pInitial = new QGroupBox(QStringLiteral("Initial conditions"));
    auto* pInitialGrid = new QGridLayout(pInitial);
    m_pBetaR = AddFieldRow(pInitialGrid, 0, 0, "Position", "betaR =", "deg", "betaR").m_pEdit;
    m_pOmegaR = AddFieldRow(pInitialGrid, 1, 0, "Speed", "omegaR =", "rad/s", "omegaR").m_pEdit;
    const CFieldRow uc0 =
        AddFieldRow(pInitialGrid, 2, 0, "Capacitor voltage", "U&c0 =", "V", "Uc0");
    m_pUc0 = uc0.m_pEdit;
    // Only the inverter's and the rectifier's DC side have a capacitor to charge.
    uc0.SetEnabled(nCondition == 0 || nCondition == 2);

    auto* pButtons = new QDialogButtonBox;
    QPushButton* pStart =
        pButtons->addButton(QStringLiteral("Start!"), QDialogButtonBox::AcceptRole);
    pButtons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    pStart->setDefault(true);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CTimeParam::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &CTimeParam::reject);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(pTime);
    pLayout->addWidget(pInitial);
    pLayout->addWidget(pButtons);

    m_fields.Bind(m_pTe, "time", "Te", &CTimeParams::m_dTe);
    m_fields.Bind(m_pTs, "time", "Ts", &CTimeParams::m_dTs);
    m_fields.Bind(m_pH, "time", "H", &CTimeParams::m_dH);
    m_fields.Bind(m_pEvery, "time", "Every", &CTimeParams::m_nEvery);
    m_fields.Bind(m_pOmegaR, "time", "OmegaR", &CTimeParams::m_dOmegaR);
    m_fields.Bind(m_pBetaR, "time", "BetaR", &CTimeParams::m_dBetaR);
    m_fields.Bind(m_pUc0, "time", "Uc0", &CTimeParams::m_dUc0);
    m_fields.Bind(m_pExact, &CTimeParams::m_bExact);
    m_fields.Load(m_params);
}

void CTimeParam::accept() {
    // Nothing is stored until every field is accepted; a step Calculate would refuse is
    // refused here, so the dialog stays open on it.
    CTimeParams trial = m_params;
    if (!m_fields.StoreAll(this, trial))
        return;
    const std::string refusal = StepRefusal(trial.m_dH);
    if (!refusal.empty()) {
        ShowRefusal(this, CRefusal{m_pH, QString::fromStdString(refusal)});
        return;
    }
    m_params = trial;
    QDialog::accept();
}
