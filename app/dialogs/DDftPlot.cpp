#include "dialogs/DDftPlot.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CDDftPlot::CDDftPlot(CDftSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setWindowTitle("Discrete Fourier Transform");

    auto* left = new QVBoxLayout;
    auto* grid = new QGridLayout;
    m_pGrid = grid;
    left->addLayout(grid);
    const CFieldRow nh = AddFieldRow(grid, 0, 0, "Harmonics number to plot", "&Nh =", "", "m_nNh");
    grid->setColumnStretch(4, 1);
    auto* note = new QLabel(kNote, this);
    note->setObjectName("note");
    note->setWordWrap(true);
    note->setFixedWidth(note->fontMetrics().horizontalAdvance('0') * 40);
    left->addWidget(note);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDDftPlot::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDDftPlot::reject);
    auto* right = new QVBoxLayout;
    right->addWidget(buttons);
    right->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_fields.Bind(nh.m_pEdit, "dft", "Nh", &CDftSettings::m_nNh);
    m_fields.Load(m_settings);
    // Opened to type the number of harmonics at once.
    nh.m_pEdit->setFocus();
    nh.m_pEdit->selectAll();
}

void CDDftPlot::OfferCurves(const QStringList& curves) {
    if (curves.size() < 2)
        return;
    m_pCurves = new QComboBox(this);
    m_pCurves->addItems(curves);
    auto* label = new QLabel("C&urve:", this);
    label->setBuddy(m_pCurves);
    m_pGrid->addWidget(label, 1, 0);
    m_pGrid->addWidget(m_pCurves, 1, 1, 1, 4);
}

void CDDftPlot::accept() {
    // Nothing is stored until every field is accepted.
    if (!m_fields.StoreAll(this, m_settings))
        return;
    m_nCurve = m_pCurves ? m_pCurves->currentIndex() : 0;
    QDialog::accept();
}
