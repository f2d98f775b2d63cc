#include "dialogs/Ind.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

CInd::CInd(CIndSettings& settings, QWidget* parent) : QDialog(parent), m_settings(settings) {
    setWindowTitle("Inductance plot");

    auto* box = new QGroupBox("Inductance Mx,y", this);
    auto* grid = new QGridLayout(box);
    const CFieldRow x = AddFieldRow(grid, 0, 0, "Coil", "&x =", "0..17", "m_nX");
    const CFieldRow y = AddFieldRow(grid, 1, 0, "Coil", "&y =", "0..17", "m_nY");
    const CFieldRow alfab = AddFieldRow(grid, 2, 0, "Start angle", "alfa&b =", "deg", "m_dAlfab");
    const CFieldRow alfae = AddFieldRow(grid, 3, 0, "End angle", "alfa&e =", "deg", "m_dAlfae");
    auto* rotation = new QCheckBox("&Rotation inductance", box);
    rotation->setObjectName("m_bRotation");
    grid->addWidget(rotation, 4, 0, 1, 4);
    const CFieldRow n = AddFieldRow(grid, 5, 0, "Samples", "&N =", "", "m_nN");
    const CFieldRow nh = AddFieldRow(grid, 6, 0, "Harmonics number", "N&h =", "0..3", "m_nNh");

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CInd::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CInd::reject);
    auto* right = new QVBoxLayout;
    right->addWidget(buttons);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(box);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    using S = CIndSettings;
    m_fields.Bind(x.m_pEdit, "inductance_plot", "X", &S::m_nX);
    m_fields.Bind(y.m_pEdit, "inductance_plot", "Y", &S::m_nY);
    m_fields.Bind(alfab.m_pEdit, "inductance_plot", "Alfab", &S::m_dAlfab);
    m_fields.Bind(alfae.m_pEdit, "inductance_plot", "Alfae", &S::m_dAlfae);
    m_fields.Bind(rotation, &S::m_bRotation);
    m_fields.Bind(n.m_pEdit, "inductance_plot", "N", &S::m_nN);
    m_fields.Bind(nh.m_pEdit, "inductance_plot", "Nh", &S::m_nNh);
    m_fields.Load(m_settings);
}

void CInd::accept() {
    // Nothing is stored until every field is accepted.
    if (m_fields.StoreAll(this, m_settings))
        QDialog::accept();
}
