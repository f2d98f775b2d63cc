#include "dialogs/FailParam.h"

#include "dialogs/ParamField.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const char* const g_pszLegend[3] = {"1 - OK", "2 - Short circuit", "3 - Break"};

/// Adds the label and the three radios of one device at (row, column) of grid.
QButtonGroup* AddDevice(QGridLayout* grid, int row, int column, const QString& device,
                        QDialog* dialog) {
    QWidget* parent = grid->parentWidget();
    grid->addWidget(new QLabel(device, parent), row, column);
    auto* group = new QButtonGroup(dialog);
    group->setObjectName(device);
    for (int code = 0; code < 3; ++code) {
        auto* radio = new QRadioButton(parent);
        radio->setAccessibleName(device + " " + g_pszLegend[code]);
        radio->setToolTip(g_pszLegend[code]);
        group->addButton(radio, code);
        grid->addWidget(radio, row, column + 1 + code, Qt::AlignCenter);
    }
    return group;
}

void Load(const std::array<QButtonGroup*, 6>& groups, const std::array<int, 6>& codes) {
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (QAbstractButton* radio = groups[i]->button(codes[i]))
            radio->setChecked(true);
    }
}

void Store(const std::array<QButtonGroup*, 6>& groups, std::array<int, 6>& codes) {
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (groups[i]->checkedId() >= 0)
            codes[i] = groups[i]->checkedId();
    }
}

} // namespace

CFailParam::CFailParam(CFailParams& params, CProtectionParams& protection, int nCondition,
                       QWidget* parent)
    : QDialog(parent), m_params(params), m_protection(protection) {
    setWindowTitle("Inverter failures");

    // Transistors in the left column, diodes in the right; row by row in reading order.
    auto* devices = new QWidget(this);
    auto* grid = new QGridLayout(devices);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int column : {0, 5}) {
        for (int code = 0; code < 3; ++code) {
            grid->addWidget(new QLabel(QString::number(code + 1), devices), 0, column + 1 + code,
                            Qt::AlignCenter);
        }
    }
    for (int i = 0; i < 6; ++i) {
        m_pFailT[i] = AddDevice(grid, i + 1, 0, QString("T%1").arg(i + 1), this);
        m_pFailD[i] = AddDevice(grid, i + 1, 5, QString("D%1").arg(i + 1), this);
    }
    grid->setColumnMinimumWidth(4, 24);
    grid->setHorizontalSpacing(10);
    grid->setRowStretch(7, 1);

    // The fault as an event: from and until when the codes apply.
    auto* timing = new QWidget(this);
    auto* timingGrid = new QGridLayout(timing);
    timingGrid->setContentsMargins(0, 0, 0, 0);
    m_pOnset = AddFieldRow(timingGrid, 0, 0, "", "Fault &from t =", "s", "onset").m_pEdit;
    m_pClear = AddFieldRow(timingGrid, 1, 0, "", "&until t =", "s", "clear").m_pEdit;
    m_pClear->setToolTip("0: the fault does not clear");
    auto* left = new QVBoxLayout;
    left->addWidget(devices);
    left->addSpacing(8);
    left->addWidget(timing);
    left->addSpacing(8);
    left->addWidget(BuildProtection());
    left->addStretch(1);

    auto* legend = new QVBoxLayout;
    for (const char* text : g_pszLegend)
        legend->addWidget(new QLabel(text, this));
    legend->addSpacing(8);
    legend->addWidget(MakePicture(":/dialogs/bridge.svg", this));
    legend->addStretch(1);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFailParam::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFailParam::reject);
    auto* right = new QVBoxLayout;
    right->addWidget(buttons);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addSpacing(16);
    layout->addLayout(legend);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Load(m_pFailD, m_params.m_nFailD);
    Load(m_pFailT, m_params.m_nFailT);
    m_fields.Bind(m_pOnset, "failures", "Onset", &CFailParams::m_dOnset);
    m_fields.Bind(m_pClear, "failures", "Clear", &CFailParams::m_dClear);
    m_fields.Load(m_params);

    m_protectionFields.Bind(m_pItrip, "protection", "Itrip", &CProtectionParams::m_dItrip);
    m_protectionFields.Bind(m_pIdesat, "protection", "Idesat", &CProtectionParams::m_dIdesat);
    m_protectionFields.Bind(m_pTdesat, "protection", "Tdesat", &CProtectionParams::m_dTdesat);
    m_protectionFields.Bind(m_pUovp, "protection", "Uovp", &CProtectionParams::m_dUovp);
    m_protectionFields.Bind(m_pSafeState, &CProtectionParams::m_nSafeState);
    m_protectionFields.Load(m_protection);
    // The protection acts on the inverter's gates only.
    m_pProtection->setEnabled(nCondition == 0);
    if (nCondition != 0)
        m_pProtection->setToolTip("The protection acts on the inverter (condition of work 1).");
    for (QLineEdit* edit : {m_pItrip, m_pIdesat, m_pUovp})
        connect(edit, &QLineEdit::textChanged, this, &CFailParam::ApplyEnabling);
    ApplyEnabling();
}

QWidget* CFailParam::BuildProtection() {
    m_pProtection = new QGroupBox("Protection", this);
    auto* grid = new QGridLayout(m_pProtection);
    m_pItrip = AddFieldRow(grid, 0, 0, "Phase overcurrent", "I&trip =", "A", "itrip").m_pEdit;
    m_pIdesat = AddFieldRow(grid, 1, 0, "Desaturation", "I&desat =", "A", "idesat").m_pEdit;
    m_rowTdesat = AddFieldRow(grid, 2, 0, "for at least", "Tdesat =", "s", "tdesat");
    m_pTdesat = m_rowTdesat.m_pEdit;
    m_pUovp = AddFieldRow(grid, 3, 0, "DC-link overvoltage", "U&ovp =", "V", "uovp").m_pEdit;
    for (QLineEdit* edit : {m_pItrip, m_pIdesat, m_pUovp})
        edit->setToolTip("0: off");
    m_pTdesat->setToolTip("Detection and turn-off time of the gate driver");
    m_pSafeState = new QButtonGroup(this);
    m_pSafeState->setObjectName("safestate");
    auto* safe = new QHBoxLayout;
    safe->addWidget(new QLabel("After a trip:", m_pProtection));
    const char* const names[2] = {"&Gates off", "Active &short circuit"};
    for (int id = 0; id < 2; ++id) {
        auto* radio = new QRadioButton(names[id], m_pProtection);
        m_pSafeState->addButton(radio, id);
        m_safeButtons << radio;
        safe->addWidget(radio);
    }
    safe->addStretch(1);
    grid->addLayout(safe, 4, 0, 1, 4);
    return m_pProtection;
}

void CFailParam::ApplyEnabling() {
    const auto set = [](const QLineEdit* edit) {
        bool ok = false;
        const double value = QLocale::c().toDouble(edit->text().trimmed(), &ok);
        return !ok || value != 0;
    };
    const bool desaturation = set(m_pIdesat);
    m_rowTdesat.SetEnabled(desaturation);
    const bool any = desaturation || set(m_pItrip) || set(m_pUovp);
    for (QAbstractButton* radio : m_safeButtons)
        radio->setEnabled(any);
}

bool CFailParam::IsAvailable(const CInvParams& control) {
    return control.m_nCondition == 0 || control.m_nCondition == 2;
}

void CFailParam::accept() {
    CFailParams edited = m_params;
    if (std::optional<CRefusal> refusal = m_fields.Store(edited)) {
        ShowRefusal(this, *refusal);
        return;
    }
    if (std::optional<std::string> problem = CheckFaultTiming(edited)) {
        ShowRefusal(this, {m_pClear, QString::fromStdString(*problem)});
        return;
    }
    CProtectionParams protection = m_protection;
    if (std::optional<CRefusal> refusal = m_protectionFields.Store(protection)) {
        ShowRefusal(this, *refusal);
        return;
    }
    // Diodes first, as the parameter set lists them; radios cannot be refused.
    Store(m_pFailD, edited.m_nFailD);
    Store(m_pFailT, edited.m_nFailT);
    m_params = edited;
    m_protection = protection;
    QDialog::accept();
}
