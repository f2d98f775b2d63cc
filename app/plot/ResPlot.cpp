#include "plot/ResPlot.h"

#include "ResultColumns.h"
#include "pictures/Pictures.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {

/// Which conditions of work produce a result.
enum class EFamily {
    Always,     ///< machine quantities, produced in every condition
    DcSide,     ///< iU, iC, iDC: the DC side of a bridge with a capacitor
    Transistor, ///< iT1..iT6: the inverter's transistors
    Diode,      ///< iD1..iD6: the bridge diodes
    Control,    ///< omegaU, omegaR*, omegaR**, omegaE: the speed control
    Foc,        ///< id, iq and the references: field-oriented runs only
};

enum class EGroup { Current, Voltage, Flux, Speed, Foc };

struct SChoice {
    const char* pszButton; ///< text of the radio button
    int nColumn;           ///< result-table column
    EFamily family;        ///< when it is offered
    EGroup group;          ///< group box it stands in
    int nRow;              ///< row in its group
    int nCol;              ///< column in its group
};

// In the order of the choice index.
constexpr std::array<SChoice, CResPlot::kResults> kChoices = {{
    {"ia", 1, EFamily::Always, EGroup::Current, 0, 0},
    {"ib", 2, EFamily::Always, EGroup::Current, 0, 1},
    {"ic", 3, EFamily::Always, EGroup::Current, 0, 2},
    {"iU", 7, EFamily::DcSide, EGroup::Current, 0, 3},
    {"iC", 8, EFamily::DcSide, EGroup::Current, 0, 4},
    {"iDC", 9, EFamily::DcSide, EGroup::Current, 0, 5},
    {"iT1", 10, EFamily::Transistor, EGroup::Current, 1, 0},
    {"iD1", 16, EFamily::Diode, EGroup::Current, 2, 0},
    {"iT2", 11, EFamily::Transistor, EGroup::Current, 1, 1},
    {"iD2", 17, EFamily::Diode, EGroup::Current, 2, 1},
    {"iT3", 12, EFamily::Transistor, EGroup::Current, 1, 2},
    {"iD3", 18, EFamily::Diode, EGroup::Current, 2, 2},
    {"iT4", 13, EFamily::Transistor, EGroup::Current, 1, 3},
    {"iD4", 19, EFamily::Diode, EGroup::Current, 2, 3},
    {"iT5", 14, EFamily::Transistor, EGroup::Current, 1, 4},
    {"iD5", 20, EFamily::Diode, EGroup::Current, 2, 4},
    {"iT6", 15, EFamily::Transistor, EGroup::Current, 1, 5},
    {"iD6", 21, EFamily::Diode, EGroup::Current, 2, 5},
    {"omegaR", 22, EFamily::Always, EGroup::Speed, 0, 0},
    {"Te", 24, EFamily::Always, EGroup::Speed, 1, 0},
    {"betaR", 25, EFamily::Always, EGroup::Speed, 2, 0},
    {"omegaU", 23, EFamily::Control, EGroup::Speed, 3, 0},
    {"ua", 4, EFamily::Always, EGroup::Voltage, 0, 0},
    {"ub", 5, EFamily::Always, EGroup::Voltage, 0, 1},
    {"uc", 6, EFamily::Always, EGroup::Voltage, 0, 2},
    {"uab", 26, EFamily::Always, EGroup::Voltage, 1, 0},
    {"ubc", 27, EFamily::Always, EGroup::Voltage, 1, 1},
    {"uca", 28, EFamily::Always, EGroup::Voltage, 1, 2},
    {"vX", 29, EFamily::Always, EGroup::Voltage, 2, 0},
    {"omegaR*", 30, EFamily::Control, EGroup::Speed, 4, 0},
    {"omegaR**", 31, EFamily::Control, EGroup::Speed, 5, 0},
    {"omegaE", 32, EFamily::Control, EGroup::Speed, 6, 0},
    {"Psia", 33, EFamily::Always, EGroup::Flux, 0, 0},
    {"Psib", 34, EFamily::Always, EGroup::Flux, 1, 0},
    {"Psic", 35, EFamily::Always, EGroup::Flux, 2, 0},
    {"id", CResPlot::kFocColumn + 0, EFamily::Foc, EGroup::Foc, 0, 0},
    {"iq", CResPlot::kFocColumn + 1, EFamily::Foc, EGroup::Foc, 0, 1},
    {"id*", CResPlot::kFocColumn + 2, EFamily::Foc, EGroup::Foc, 0, 2},
    {"iq*", CResPlot::kFocColumn + 3, EFamily::Foc, EGroup::Foc, 0, 3},
    {"ud*", CResPlot::kFocColumn + 4, EFamily::Foc, EGroup::Foc, 0, 4},
    {"uq*", CResPlot::kFocColumn + 5, EFamily::Foc, EGroup::Foc, 0, 5},
}};

bool IsIndex(int index) {
    return index >= 0 && index < CResPlot::kResults;
}

/// Where the circuit picture of the condition of work stands in the client area.
const QPoint kPictureAt(23, 170);

} // namespace

CResPlot::CResPlot(QWidget* parent)
    : QDialog(parent), m_nCondition(0), m_bSpeedControl(false), m_bFoc(false), m_nResult(0),
      m_bAdd(false), m_pButtons(new QButtonGroup(this)),
      m_pSourceLabel(new QLabel("&Results of:", this)), m_pSourceBox(new QComboBox(this)) {
    setWindowTitle("Result plot");
    m_pButtons->setExclusive(true);

    auto makeGroup = [this](const char* title, const QRect& geometry) {
        auto* box = new QGroupBox(title, this);
        box->setGeometry(geometry);
        auto* grid = new QGridLayout(box);
        grid->setContentsMargins(8, 4, 8, 4);
        grid->setVerticalSpacing(2);
        return box;
    };
    // The top band holds the groups; the picture takes the lower left from (23, 170).
    QGroupBox* boxes[5] = {
        makeGroup("Current", QRect(12, 6, 430, 156)),
        makeGroup("Voltage", QRect(450, 6, 220, 156)),
        makeGroup("Flux", QRect(678, 6, 130, 156)),
        makeGroup("Speed and torque", QRect(620, 170, 188, 230)),
        // Below the circuit picture, across the dialog.
        makeGroup("Field-oriented control", QRect(12, 494, 796, 50)),
    };
    for (int index = 0; index < kResults; ++index) {
        const SChoice& choice = kChoices[index];
        QGroupBox* box = boxes[static_cast<int>(choice.group)];
        auto* button = new QRadioButton(choice.pszButton, box);
        static_cast<QGridLayout*>(box->layout())->addWidget(button, choice.nRow, choice.nCol);
        m_pButtons->addButton(button, index);
    }

    auto* ok = new QPushButton("OK", this);
    auto* add = new QPushButton("&Add to plot", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    ok->setGeometry(620, 418, 80, 30);
    add->setGeometry(706, 418, 102, 30);
    add->setToolTip("Adds the chosen quantity to the result curves shown");
    cancel->setGeometry(620, 454, 188, 30);
    connect(ok, &QPushButton::clicked, this, [this] {
        m_bAdd = false;
        accept();
    });
    connect(add, &QPushButton::clicked, this, &CResPlot::OnAdd);
    connect(cancel, &QPushButton::clicked, this, &CResPlot::reject);
    // Below the picture and the dq results, shown when results of several documents are offered.
    m_pSourceLabel->setBuddy(m_pSourceBox);
    m_pSourceLabel->setGeometry(23, 550, 90, 26);
    m_pSourceBox->setGeometry(113, 550, 300, 26);
    m_pSourceBox->setToolTip("The open document whose results are plotted");
    m_pSourceLabel->hide();
    m_pSourceBox->hide();
    connect(m_pSourceBox, &QComboBox::currentIndexChanged, this, &CResPlot::OnSourceChosen);
    setFixedSize(820, 552);
}

void CResPlot::SetSources(const std::vector<SSource>& sources, int nChosen) {
    m_sources = sources;
    {
        const QSignalBlocker blocker(m_pSourceBox);
        m_pSourceBox->clear();
        for (const SSource& source : m_sources)
            m_pSourceBox->addItem(source.m_strName);
    }
    const bool bShown = !m_sources.empty();
    m_pSourceLabel->setVisible(bShown);
    m_pSourceBox->setVisible(bShown);
    setFixedSize(820, bShown ? 582 : 552);
    if (bShown) {
        m_pSourceBox->setCurrentIndex(std::clamp(nChosen, 0, int(m_sources.size()) - 1));
        OnSourceChosen(m_pSourceBox->currentIndex());
    }
}

void CResPlot::OnSourceChosen(int nIndex) {
    if (nIndex < 0 || nIndex >= int(m_sources.size()))
        return;
    m_nSource = nIndex;
    m_nCondition = m_sources[std::size_t(nIndex)].m_nCondition;
    m_bSpeedControl = m_sources[std::size_t(nIndex)].m_bSpeedControl;
    m_bFoc = m_sources[std::size_t(nIndex)].m_bFoc;
    ApplyEnablingRule();
    update();
}

int CResPlot::ResultColumn(int index) {
    return IsIndex(index) ? kChoices[index].nColumn : -1;
}

QString CResPlot::ResultLabel(int index) {
    if (!IsIndex(index))
        return {};
    const int column = kChoices[index].nColumn;
    const std::string_view label =
        column >= kFocColumn ? kFocLabels[column - kFocColumn] : kResultLabels[column];
    return QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
}

QString CResPlot::ButtonText(int index) {
    return IsIndex(index) ? QString(kChoices[index].pszButton) : QString();
}

bool CResPlot::IsResultEnabled(int index, int condition, bool speedControl, bool foc) {
    if (!IsIndex(index))
        return false;
    const EFamily family = kChoices[index].family;
    if (family == EFamily::Foc)
        return foc;
    switch (condition) {
    case 1: // motor on the sine supply: no bridge; the control acts only when it is on
        if (family == EFamily::Control)
            return speedControl;
        return family == EFamily::Always;
    case 2: // generator on the diode bridge with its RC load: no transistors, no control
        return family != EFamily::Transistor && family != EFamily::Control;
    case 3: // generator on the R load: no bridge, no control
        return family == EFamily::Always;
    default: // the inverter produces every result
        return true;
    }
}

void CResPlot::LoadFields() {
    if (QAbstractButton* chosen = m_pButtons->button(m_nResult))
        chosen->setChecked(true);
    ApplyEnablingRule();
}

void CResPlot::ApplyEnablingRule() {
    for (int index = 0; index < kResults; ++index)
        m_pButtons->button(index)->setEnabled(
            IsResultEnabled(index, m_nCondition, m_bSpeedControl, m_bFoc));
}

void CResPlot::accept() {
    // A disabled button carried over from another condition of work is still a valid choice.
    const int chosen = m_pButtons->checkedId();
    if (IsIndex(chosen))
        m_nResult = chosen;
    QDialog::accept();
}

void CResPlot::OnAdd() {
    m_bAdd = true;
    accept();
}

void CResPlot::showEvent(QShowEvent* event) {
    LoadFields();
    QDialog::showEvent(event);
}

void CResPlot::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter dc(this);
    dc.setClipRect(QRect(kPictureAt, QSize(1000, 1000)));
    dc.translate(kPictureAt);
    CPictures::DrawCircuit(dc, m_nCondition);
}
