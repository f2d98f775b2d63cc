#include "dialogs/InvParam.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>

CInvParam::CInvParam(CInvParams& params, QWidget* parent) : CInvParam(params, m_ownFoc, parent) {}

CInvParam::CInvParam(CInvParams& params, CFocParams& foc, QWidget* parent)
    : QDialog(parent), m_params(params), m_foc(foc) {
    setWindowTitle("Control parameters");

    // Widgets are created in reading order, which gives the tab order; OK and Cancel come last.
    auto* conditions = new QGroupBox("Condtions of work", this);
    BuildConditions(conditions);

    auto* torque = new QWidget(this);
    auto* torqueGrid = new QGridLayout(torque);
    torqueGrid->setContentsMargins(0, 0, 0, 0);
    m_rowT = AddFieldRow(torqueGrid, 0, 0, "Torque (load - / force +)", "&T =", "Nm", "m_dT");
    torqueGrid->setColumnStretch(4, 1);

    auto* scheme = new QGroupBox("Control scheme", this);
    BuildScheme(scheme);

    auto* speed = new QGroupBox("Speed control", this);
    BuildSpeedControl(speed);

    QLabel* picture = MakePicture(":/dialogs/speed_control.svg", this);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CInvParam::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CInvParam::reject);
    auto* hint = new QLabel("Hint: View -> Circuit model", this);
    hint->setWordWrap(true);

    auto* side = new QVBoxLayout;
    side->addWidget(buttons);
    side->addSpacing(12);
    side->addWidget(hint);
    side->addStretch(1);

    // Conditions and torque at the left, speed control beside them, OK and Cancel at the top
    // right, the block diagram across the bottom: fits 1366 x 768 with large fonts too.
    auto* layout = new QGridLayout(this);
    layout->addWidget(conditions, 0, 0);
    layout->addWidget(torque, 1, 0);
    layout->addWidget(scheme, 2, 0);
    layout->addWidget(speed, 0, 1, 3, 1);
    layout->addLayout(side, 0, 2, 3, 1);
    layout->addWidget(picture, 3, 0, 1, 3);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    BindFields();
    m_fields.Load(m_params);
    m_focFields.Load(m_foc);
    ApplyEnabling();

    connect(m_pCondition, &QButtonGroup::idClicked, this, &CInvParam::OnConditionClicked);
    connect(m_pMethod, &QButtonGroup::idClicked, this, &CInvParam::ApplyEnabling);
    connect(m_pScheme, &QButtonGroup::idClicked, this, &CInvParam::ApplyEnabling);
    connect(m_pSpeedControl, &QCheckBox::clicked, this, &CInvParam::OnSpeedControlClicked);
}

void CInvParam::BuildConditions(QWidget* box) {
    m_pCondition = new QButtonGroup(this);
    m_pCondition->setObjectName("m_nCondition");
    auto* cells = new QGridLayout(box);

    // One panel per condition of work: its radio button above the fields it uses.
    const char* const titles[] = {"&1 - Motor supplied by inverter",
                                  "&2 - Motor supplied by 3 phase voltage",
                                  "&3 - Generator supplying recifier with RC load",
                                  "&4 - Generator supplying 3 phase R load"};
    for (int index = 0; index < 4; ++index) {
        auto* panel = new QFrame(box);
        panel->setFrameShape(QFrame::StyledPanel);
        auto* grid = new QGridLayout(panel);
        auto* radio = new QRadioButton(titles[index], panel);
        m_pCondition->addButton(radio, index);
        grid->addWidget(radio, 0, 0, 1, 4);
        switch (index) {
        case 0:
            m_rowUd = AddFieldRow(grid, 1, 0, "DC voltage", "U&d =", "V", "m_dUd");
            m_rowRu = AddFieldRow(grid, 2, 0, "Internal resist.", "&Ru =", "Ohm", "m_dRu");
            m_rowCu = AddFieldRow(grid, 3, 0, "Input cap.", "C&u =", "F", "m_dCu");
            break;
        case 1:
            m_rowUmax = AddFieldRow(grid, 1, 0, "Amplitude", "U&max =", "V", "m_dUmax");
            m_rowF = AddFieldRow(grid, 2, 0, "Frequency", "&f =", "Hz", "m_dF");
            m_rowPhi = AddFieldRow(grid, 3, 0, "t=0 phase", "p&hi =", "deg", "m_dPhi");
            break;
        case 2:
            m_rowRlRC = AddFieldRow(grid, 1, 0, "Load resist.", "R&l =", "Ohm", "m_dRlRC");
            m_rowCl = AddFieldRow(grid, 2, 0, "Load cap.", "Cl =", "F", "m_dCl");
            break;
        default:
            m_rowRlR = AddFieldRow(grid, 1, 0, "Load r&esist.", "Rl =", "Ohm", "m_dRlR");
            break;
        }
        grid->setRowStretch(4, 1);
        grid->setColumnStretch(4, 1);
        cells->addWidget(panel, index / 2, index % 2);
    }
}

void CInvParam::BuildSpeedControl(QWidget* box) {
    auto* grid = new QGridLayout(box);

    m_pSpeedControl = new QCheckBox("O&N/OFF", box);
    m_pSpeedControl->setObjectName("m_bSpeedControl");
    grid->addWidget(m_pSpeedControl, 0, 0, 1, 4);
    m_pMethod = new QButtonGroup(this);
    m_pMethod->setObjectName("m_nControlMethod");
    int row = 1;
    for (const char* title : {"&Space Vector PWM", "Si&x step control"}) {
        auto* radio = new QRadioButton(title, box);
        m_pMethod->addButton(radio, m_pMethod->buttons().size());
        grid->addWidget(radio, row++, 0, 1, 4);
    }
    grid->setRowMinimumHeight(row++, 6);

    m_rowFT = AddFieldRow(grid, row++, 0, "C&arrier frequency", "fT =", "Hz", "m_dFT");
    m_rowKt = AddFieldRow(grid, row++, 0, "Trap regulator", "&kt =", "rad/s", "m_dKt");
    m_rowKp = AddFieldRow(grid, row++, 0, "PI regulator", "k&p =", "-", "m_dKp");
    m_rowKi = AddFieldRow(grid, row++, 0, "", "k&i =", "1/s", "m_dKi");

    // The speed path is a wide field over the edit and unit columns.
    m_rowSpeedPath = AddFieldRow(grid, row, 0, "Speed path", "ome&gaR* =", "", "m_strSpeedPath");
    QLineEdit* path = m_rowSpeedPath.m_pEdit;
    grid->removeWidget(path);
    path->setMinimumWidth(path->width());
    path->setMaximumWidth(QWIDGETSIZE_MAX);
    grid->addWidget(path, row++, 2, 1, 2);
    grid->removeWidget(m_rowSpeedPath.m_pUnit);
    delete m_rowSpeedPath.m_pUnit;
    m_rowSpeedPath.m_pUnit = nullptr;
    auto* hint = new QLabel("Hint: time1*speed1*time2*speed2*... [s * rad/s *]", box);
    hint->setWordWrap(true);
    grid->addWidget(hint, row++, 0, 1, 4);
    grid->setRowStretch(row, 1);
}

void CInvParam::BuildScheme(QWidget* box) {
    auto* grid = new QGridLayout(box);
    m_pScheme = new QButtonGroup(this);
    m_pScheme->setObjectName("m_nScheme");
    int column = 0;
    for (const char* title : {"Scalar U/f", "Field oriented"}) {
        auto* radio = new QRadioButton(title, box);
        m_pScheme->addButton(radio, m_pScheme->buttons().size());
        grid->addWidget(radio, 0, column, 1, 4);
        column += 4;
    }
    // Created row by row, which gives the tab order.
    m_rowCurrentBw = AddFieldRow(grid, 1, 0, "Current loops", "Current bandwidth =", "rad/s",
                                 "m_dCurrentBandwidth");
    m_rowImax = AddFieldRow(grid, 1, 4, "Current limit", "Imax =", "A", "m_dImax");
    m_rowSpeedBw =
        AddFieldRow(grid, 2, 0, "Speed loop", "Speed bandwidth =", "rad/s", "m_dSpeedBandwidth");
    m_pMtpa = new QCheckBox("Maximum torque per ampere", box);
    m_pMtpa->setObjectName("m_bMtpa");
    m_pMtpa->setToolTip("Current reference from Ld, Lq and the magnet flux; off: id* = 0");
    grid->addWidget(m_pMtpa, 2, 4, 1, 4);
    grid->setColumnStretch(8, 1);
}

void CInvParam::BindFields() {
    using P = CInvParams;
    m_fields.Bind(m_rowFT.m_pEdit, "control", "FT", &P::m_dFT);
    m_fields.Bind(m_rowUd.m_pEdit, "control", "Ud", &P::m_dUd);
    m_fields.Bind(m_rowCu.m_pEdit, "control", "Cu", &P::m_dCu);
    m_fields.Bind(m_rowRu.m_pEdit, "control", "Ru", &P::m_dRu);
    m_fields.Bind(m_pMethod, &P::m_nControlMethod);
    m_fields.Bind(m_rowKi.m_pEdit, "control", "Ki", &P::m_dKi);
    m_fields.Bind(m_rowKp.m_pEdit, "control", "Kp", &P::m_dKp);
    m_fields.Bind(m_rowKt.m_pEdit, "control", "Kt", &P::m_dKt);
    m_fields.Bind(m_rowSpeedPath.m_pEdit, "control", "SpeedPath", &P::m_strSpeedPath);
    m_fields.Bind(m_pSpeedControl, &P::m_bSpeedControl);
    m_fields.Bind(m_pCondition, &P::m_nCondition);
    m_fields.Bind(m_rowRlRC.m_pEdit, "control", "RlRC", &P::m_dRlRC);
    m_fields.Bind(m_rowCl.m_pEdit, "control", "Cl", &P::m_dCl);
    m_fields.Bind(m_rowUmax.m_pEdit, "control", "Umax", &P::m_dUmax);
    m_fields.Bind(m_rowF.m_pEdit, "control", "F", &P::m_dF);
    m_fields.Bind(m_rowPhi.m_pEdit, "control", "Phi", &P::m_dPhi);
    m_fields.Bind(m_rowRlR.m_pEdit, "control", "RlR", &P::m_dRlR);
    m_fields.Bind(m_rowT.m_pEdit, "control", "T", &P::m_dT);
    m_fields.Bind(m_pScheme, &P::m_nScheme);

    using F = CFocParams;
    m_focFields.Bind(m_rowCurrentBw.m_pEdit, "foc", "CurrentBandwidth", &F::m_dCurrentBandwidth);
    m_focFields.Bind(m_rowSpeedBw.m_pEdit, "foc", "SpeedBandwidth", &F::m_dSpeedBandwidth);
    m_focFields.Bind(m_rowImax.m_pEdit, "foc", "Imax", &F::m_dImax);
    m_focFields.Bind(m_pMtpa, &F::m_bMtpa);
}

void CInvParam::ApplyEnabling() {
    const int condition = m_pCondition->checkedId();
    const bool speedControl = m_pSpeedControl->isChecked();
    const bool spaceVector = m_pMethod->checkedId() == 0;

    for (const CFieldRow* row : {&m_rowUd, &m_rowRu, &m_rowCu})
        row->SetEnabled(condition == 0);
    m_rowUmax.SetEnabled(condition == 1);
    // Under speed control the regulator sets the supply's frequency and phase.
    m_rowF.SetEnabled(condition == 1 && !speedControl);
    m_rowPhi.SetEnabled(condition == 1 && !speedControl);
    m_rowRlRC.SetEnabled(condition == 2);
    m_rowCl.SetEnabled(condition == 2);
    m_rowRlR.SetEnabled(condition == 3);

    // With the inverter the speed control always acts, so only the sine supply can switch it.
    m_pSpeedControl->setEnabled(condition == 1);
    for (QAbstractButton* radio : m_pMethod->buttons())
        radio->setEnabled(condition == 0);
    m_rowFT.SetEnabled(condition == 0 && spaceVector);
    const bool regulated = condition == 0 || (condition == 1 && speedControl);
    // Field-oriented control runs the inverter with space-vector PWM; it has its own speed
    // regulator, so the scalar one's gains do not act then.
    const bool foc = m_pScheme->checkedId() == 1;
    const bool focActs = foc && condition == 0 && spaceVector;
    m_rowKt.SetEnabled(regulated);
    m_rowSpeedPath.SetEnabled(regulated);
    m_rowKp.SetEnabled(regulated && !focActs);
    m_rowKi.SetEnabled(regulated && !focActs);
    // The scheme is chosen with the inverter; a field-oriented choice left from it can be
    // undone in any condition.
    for (QAbstractButton* radio : m_pScheme->buttons())
        radio->setEnabled(condition == 0 || foc);
    for (const CFieldRow* row : {&m_rowCurrentBw, &m_rowSpeedBw, &m_rowImax})
        row->SetEnabled(focActs);
    m_pMtpa->setEnabled(focActs);
}

void CInvParam::OnConditionClicked(int index) {
    if (index == 1)
        StoreFromHandler();
    ApplyEnabling();
    // Choosing the inverter enables fT whatever the method; only opening follows the method.
    if (index == 0)
        m_rowFT.SetEnabled(true);
}

void CInvParam::OnSpeedControlClicked() {
    StoreFromHandler();
    ApplyEnabling();
}

void CInvParam::StoreFromHandler() {
    m_bStored = true;
    if (std::optional<CRefusal> refusal = m_fields.Store(m_params))
        ShowRefusal(this, *refusal);
    else
        m_fields.Load(m_params);
}

void CInvParam::accept() {
    // Nothing is stored until every field is accepted.
    CInvParams edited = m_params;
    CFocParams focEdited = m_foc;
    std::optional<CRefusal> refusal = m_fields.Store(edited);
    if (!refusal)
        refusal = m_focFields.Store(focEdited);
    if (refusal) {
        ShowRefusal(this, *refusal);
        return;
    }
    if (std::optional<std::string> problem = CheckControlScheme(edited)) {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                        QString::fromStdString(*problem), QMessageBox::Ok, this);
        box.exec();
        m_pScheme->button(1)->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_params = edited;
    m_foc = focEdited;
    QDialog::accept();
}
