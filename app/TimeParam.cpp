#include "TimeParam.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString FormatValue(double value) {
    return QLocale::c().toString(value, 'g', 15);
}

/// Adds a row "caption  label [edit] unit" to a group's grid.
QLineEdit* AddRow(QGridLayout* pGrid, int nRow, const char* pszCaption, const char* pszLabel,
                  const char* pszUnit) {
    auto* pEdit = new QLineEdit;
    auto* pLabel = new QLabel(QString::fromLatin1(pszLabel));
    pLabel->setBuddy(pEdit);
    pLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pGrid->addWidget(new QLabel(QString::fromLatin1(pszCaption)), nRow, 0);
    pGrid->addWidget(pLabel, nRow, 1);
    pGrid->addWidget(pEdit, nRow, 2);
    pGrid->addWidget(new QLabel(QString::fromLatin1(pszUnit)), nRow, 3);
    return pEdit;
}

} // namespace

CTimeParam::CTimeParam(CTimeParams& params, QWidget* pParent) : QDialog(pParent), m_params(params) {
    setWindowTitle(QStringLiteral("Simulation parameters"));

    auto* pTime = new QGroupBox(QStringLiteral("Time"));
    auto* pTimeGrid = new QGridLayout(pTime);
    m_pTs = AddRow(pTimeGrid, 0, "Start time", "ts =", "s");
    m_pTe = AddRow(pTimeGrid, 1, "End time", "te =", "s");
    m_pH = AddRow(pTimeGrid, 2, "Calculation step", "h =", "s");

    auto* pInitial = new QGroupBox(QStringLiteral("Initial conditions"));
    auto* pInitialGrid = new QGridLayout(pInitial);
    m_pBetaR = AddRow(pInitialGrid, 0, "Position", "betaR =", "deg");
    m_pOmegaR = AddRow(pInitialGrid, 1, "Speed", "omegaR =", "rad/s");

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

    m_bindings = {
        {m_pTe, &m_params.m_dTe, FindField("time", "Te")},
        {m_pTs, &m_params.m_dTs, FindField("time", "Ts")},
        {m_pH, &m_params.m_dH, FindField("time", "H")},
        {m_pOmegaR, &m_params.m_dOmegaR, FindField("time", "OmegaR")},
        {m_pBetaR, &m_params.m_dBetaR, FindField("time", "BetaR")},
    };
    for (const CBinding& binding : m_bindings)
        binding.m_pEdit->setText(FormatValue(*binding.m_pValue));
}

void CTimeParam::accept() {
    std::vector<double> values;
    values.reserve(m_bindings.size());
    for (const CBinding& binding : m_bindings) {
        const QString text = binding.m_pEdit->text().trimmed();
        bool ok = false;
        const double value = QLocale::c().toDouble(text, &ok);
        std::optional<std::string> refusal;
        if (!ok)
            refusal = binding.m_pDesc->DisplayName() + " \"" + text.toStdString() +
                      "\" is not a number: enter " + binding.m_pDesc->AcceptedText() + ".";
        else
            refusal = CheckNumber(*binding.m_pDesc, value);
        if (refusal) {
            QMessageBox::warning(this, windowTitle(), QString::fromStdString(*refusal));
            binding.m_pEdit->setFocus();
            binding.m_pEdit->selectAll();
            return;
        }
        values.push_back(value);
    }
    for (std::size_t i = 0; i < m_bindings.size(); ++i)
        *m_bindings[i].m_pValue = values[i];
    QDialog::accept();
}
