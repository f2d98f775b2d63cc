#include "dialogs/FailParam.h"

#include "dialogs/ParamField.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
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

CFailParam::CFailParam(CFailParams& params, QWidget* parent) : QDialog(parent), m_params(params) {
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
    // Diodes first, as the parameter set lists them; radios cannot be refused.
    Store(m_pFailD, edited.m_nFailD);
    Store(m_pFailT, edited.m_nFailT);
    m_params = edited;
    QDialog::accept();
}
