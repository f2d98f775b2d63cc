#include "dialogs/MotorParam.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QGroupBox* AddGroup(QBoxLayout* column, const QString& title, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    column->addWidget(box);
    return box;
}

} // namespace

CMotorParam::CMotorParam(CMotorParams& params, QWidget* parent)
    : QDialog(parent), m_params(params) {
    setWindowTitle("Motor and inverter parameters");
    auto* fields = new QVBoxLayout;

    // Widgets are created in reading order, which gives the tab order; OK and Cancel come last.
    QGroupBox* box = AddGroup(fields, "Inverter resistances", this);
    auto* grid = new QGridLayout(box);
    const CFieldRow ronT = AddFieldRow(grid, 0, 0, "&Transistor", "Ron =", "Ohm", "m_dRonT");
    const CFieldRow roffT = AddFieldRow(grid, 0, 4, "", "Ro&ff =", "Ohm", "m_dRoffT");
    const CFieldRow ronD = AddFieldRow(grid, 1, 0, "D&iode", "Ron =", "Ohm", "m_dRonD");
    const CFieldRow roffD = AddFieldRow(grid, 1, 4, "", "Roff =", "Ohm", "m_dRoffD");
    grid->setColumnMinimumWidth(4, 12);

    box = AddGroup(fields, "Winding resistances", this);
    grid = new QGridLayout(box);
    const CFieldRow mra = AddFieldRow(grid, 0, 0, "Ra = mra*R", "mr&a =", "-", "m_dMra");
    const CFieldRow mrb = AddFieldRow(grid, 1, 0, "Rb = mrb*R", "mr&b =", "-", "m_dMrb");
    const CFieldRow mrc = AddFieldRow(grid, 2, 0, "Rc = mrc*R", "m&rc =", "-", "m_dMrc");
    grid->setColumnStretch(4, 1);

    box = AddGroup(fields, "Winding inductances", this);
    grid = new QGridLayout(box);
    grid->addWidget(new QLabel("if x==y", box), 0, 0);
    const CFieldRow ml = AddFieldRow(grid, 0, 1, "Mx,y = ml*Mx,y", "m&l =", "-", "m_dMl");
    grid->addWidget(new QLabel("if x!=y", box), 1, 0);
    const CFieldRow mm = AddFieldRow(grid, 1, 1, "Mx,y = mm*Mx,y", "&mm =", "-", "m_dMm");
    const CFieldRow nhInd = AddFieldRow(grid, 2, 1, "Harmonics number", "&Nh =", "-", "m_nNhInd");
    grid->setColumnStretch(5, 1);

    box = AddGroup(fields, "Air gap flux density", this);
    grid = new QGridLayout(box);
    const CFieldRow nhFlux = AddFieldRow(grid, 0, 0, "Harmonics number", "N&h =", "-", "m_nNhFlux");
    grid->setColumnStretch(4, 1);

    box = AddGroup(fields, "Mechanical", this);
    grid = new QGridLayout(box);
    const CFieldRow j = AddFieldRow(grid, 0, 0, "Moment of inertia", "&J =", "kg/m^2", "m_dJ");
    const CFieldRow d = AddFieldRow(grid, 1, 0, "Damping constant", "&D =", "Nm/rad/s", "m_dD");
    grid->setColumnStretch(4, 1);

    auto* side = new QVBoxLayout;
    box = AddGroup(side, "Nominal values", this);
    auto* nominal = new QVBoxLayout(box);
    for (const char* text : {"Rs = 2.9 Ohm", "J = 9.62e-4 kg/m^2", "D = 9.04e-4 Nm/rad/s"})
        nominal->addWidget(new QLabel(text, box));
    side->addWidget(MakePicture(":/dialogs/motor_inverter.svg", this));
    side->addStretch(1);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMotorParam::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CMotorParam::reject);
    auto* right = new QVBoxLayout;
    right->addWidget(buttons);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(side);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    using P = CMotorParams;
    m_fields.Bind(mra.m_pEdit, "motor", "Mra", &P::m_dMra);
    m_fields.Bind(mrb.m_pEdit, "motor", "Mrb", &P::m_dMrb);
    m_fields.Bind(mrc.m_pEdit, "motor", "Mrc", &P::m_dMrc);
    m_fields.Bind(mm.m_pEdit, "motor", "Mm", &P::m_dMm);
    m_fields.Bind(ml.m_pEdit, "motor", "Ml", &P::m_dMl);
    m_fields.Bind(d.m_pEdit, "motor", "D", &P::m_dD);
    m_fields.Bind(j.m_pEdit, "motor", "J", &P::m_dJ);
    m_fields.Bind(nhFlux.m_pEdit, "motor", "NhFlux", &P::m_nNhFlux);
    m_fields.Bind(roffD.m_pEdit, "motor", "RoffD", &P::m_dRoffD);
    m_fields.Bind(ronD.m_pEdit, "motor", "RonD", &P::m_dRonD);
    m_fields.Bind(roffT.m_pEdit, "motor", "RoffT", &P::m_dRoffT);
    m_fields.Bind(ronT.m_pEdit, "motor", "RonT", &P::m_dRonT);
    m_fields.Bind(nhInd.m_pEdit, "motor", "NhInd", &P::m_nNhInd);
    m_fields.Load(m_params);
}

void CMotorParam::accept() {
    // Nothing is stored until every field is accepted.
    if (m_fields.StoreAll(this, m_params))
        QDialog::accept();
}
