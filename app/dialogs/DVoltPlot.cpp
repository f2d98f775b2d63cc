#include "dialogs/DVoltPlot.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

CDVoltPlot::CDVoltPlot(CVoltPlotSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle("Voltage plot");

    auto* fields = new QVBoxLayout;
    auto* box = new QGroupBox("Modulation", this);
    fields->addWidget(box);
    auto* grid = new QGridLayout(box);
    const CFieldRow fimp = AddFieldRow(grid, 0, 0, "Carrier freq.", "f&imp =", "Hz", "m_dFimp");
    const CFieldRow mf = AddFieldRow(grid, 1, 0, "Freq. ratio", "m&f =", "-", "m_dMf");
    const CFieldRow ma = AddFieldRow(grid, 2, 0, "Modulation index", "m&a =", "-", "m_dMa");

    box = new QGroupBox("Time", this);
    fields->addWidget(box);
    grid = new QGridLayout(box);
    const CFieldRow ts = AddFieldRow(grid, 0, 0, "Start", "t&s =", "s", "m_dTs");
    const CFieldRow te = AddFieldRow(grid, 1, 0, "End", "t&e =", "s", "m_dTe");
    const CFieldRow n = AddFieldRow(grid, 2, 0, "Samples", "&N =", "", "m_nN");

    box = new QGroupBox("Phase", this);
    fields->addWidget(box);
    auto* row = new QHBoxLayout(box);
    auto* phase = new QButtonGroup(this);
    const char* titles[3] = {"U&a", "U&b", "U&c"};
    for (int id = 0; id < 3; ++id) {
        auto* radio = new QRadioButton(titles[id], box);
        radio->setObjectName(QString("phase%1").arg(id));
        phase->addButton(radio, id);
        row->addWidget(radio);
    }
    fields->addStretch(1);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDVoltPlot::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDVoltPlot::reject);
    auto* right = new QVBoxLayout;
    right->addWidget(buttons);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(MakePicture(":/post/voltage_plot.svg", this), 0, Qt::AlignTop);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    using S = CVoltPlotSettings;
    m_fields.Bind(fimp.m_pEdit, "voltage_plot", "Fimp", &S::m_dFimp);
    m_fields.Bind(mf.m_pEdit, "voltage_plot", "Mf", &S::m_dMf);
    m_fields.Bind(ma.m_pEdit, "voltage_plot", "Ma", &S::m_dMa);
    m_fields.Bind(ts.m_pEdit, "voltage_plot", "Ts", &S::m_dTs);
    m_fields.Bind(te.m_pEdit, "voltage_plot", "Te", &S::m_dTe);
    m_fields.Bind(n.m_pEdit, "voltage_plot", "N", &S::m_nN);
    m_fields.Bind(phase, &S::m_nPhase);
    m_fields.Load(m_settings);
}

void CDVoltPlot::accept() {
    // Nothing is stored until every field is accepted.
    if (m_fields.StoreAll(this, m_settings))
        QDialog::accept();
}
