#include "dialogs/DFluxPlot.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

CDFluxPlot::CDFluxPlot(CFluxPlotSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle("Excitation flux");

    auto* quantityBox = new QGroupBox("Quantity", this);
    auto* quantityColumn = new QVBoxLayout(quantityBox);
    m_pQuantity = new QButtonGroup(this);
    const char* titles[3] = {"Flux &density", "&Flux", "Flux de&rivative"};
    for (int id = 0; id < 3; ++id) {
        auto* radio = new QRadioButton(titles[id], quantityBox);
        radio->setObjectName(QString("quantity%1").arg(id));
        m_pQuantity->addButton(radio, id);
        quantityColumn->addWidget(radio);
    }
    m_pAirGap = new QCheckBox("&Air gap", quantityBox);
    m_pAirGap->setObjectName("m_bAirGap");
    quantityColumn->addWidget(m_pAirGap);

    auto* linkBox = new QGroupBox("Flux linking x-coil y-magnet", this);
    auto* grid = new QGridLayout(linkBox);
    m_rowX = AddFieldRow(grid, 0, 0, "Coil", "&x =", "0..17", "m_nX");
    m_rowY = AddFieldRow(grid, 1, 0, "Magnet", "&y =", "0..3", "m_nY");
    const CFieldRow alfab = AddFieldRow(grid, 2, 0, "Start angle", "alfa&b =", "deg", "m_dAlfab");
    const CFieldRow alfae = AddFieldRow(grid, 3, 0, "End angle", "alfa&e =", "deg", "m_dAlfae");
    const CFieldRow n = AddFieldRow(grid, 4, 0, "Samples", "&N =", "", "m_nN");
    const CFieldRow nh = AddFieldRow(grid, 5, 0, "Harmonics number", "N&h =", "0..100", "m_nNh");

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDFluxPlot::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDFluxPlot::reject);
    auto* right = new QVBoxLayout;
    right->addWidget(buttons);
    right->addStretch(1);

    auto* fields = new QVBoxLayout;
    fields->addWidget(quantityBox);
    fields->addWidget(linkBox);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    using S = CFluxPlotSettings;
    m_fields.Bind(alfab.m_pEdit, "flux_plot", "Alfab", &S::m_dAlfab);
    m_fields.Bind(alfae.m_pEdit, "flux_plot", "Alfae", &S::m_dAlfae);
    m_fields.Bind(m_rowX.m_pEdit, "flux_plot", "X", &S::m_nX);
    m_fields.Bind(m_rowY.m_pEdit, "flux_plot", "Y", &S::m_nY);
    m_fields.Bind(n.m_pEdit, "flux_plot", "N", &S::m_nN);
    m_fields.Bind(m_pAirGap, &S::m_bAirGap);
    m_fields.Bind(m_pQuantity, &S::m_nQuantity);
    m_fields.Bind(nh.m_pEdit, "flux_plot", "Nh", &S::m_nNh);
    m_fields.Load(m_settings);
    ApplyEnabling();

    connect(m_pAirGap, &QCheckBox::clicked, this, &CDFluxPlot::OnClicked);
    connect(m_pQuantity, &QButtonGroup::idClicked, this, &CDFluxPlot::OnClicked);
}

void CDFluxPlot::ApplyEnabling() {
    const bool airGap = m_pAirGap->isChecked();
    const bool density = m_pQuantity->checkedId() == 0;
    m_rowX.SetEnabled(!airGap && !density);
    m_rowY.SetEnabled(!airGap);
}

void CDFluxPlot::OnClicked() {
    if (std::optional<CRefusal> refusal = m_fields.Store(m_settings))
        ShowRefusal(this, *refusal);
    ApplyEnabling();
}

void CDFluxPlot::accept() {
    // Nothing is stored until every field is accepted.
    if (m_fields.StoreAll(this, m_settings))
        QDialog::accept();
}
