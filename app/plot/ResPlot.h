#pragma once

#include <QDialog>
#include <QString>

#include <vector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QPaintEvent;
class QShowEvent;

/// "Result plot": chooses which result column is plotted against time. 35 radio buttons in the
/// groups "Current", "Voltage", "Flux" and "Speed and torque"; below them the circuit of the
/// condition of work is drawn at (23, 170). A sixth group, "Field-oriented control", offers the
/// dq currents and references that field-oriented runs keep beside the table (m_bFoc).
///
/// Use: set m_nCondition, m_bSpeedControl and m_nResult, call exec(); after OK or "Add to plot"
/// m_nResult holds the chosen index and m_bAdd tells which of the two closed the dialog. Cancel
/// leaves m_nResult unchanged. On opening, the buttons of results that the condition of work does
/// not produce are disabled (IsResultEnabled); the remembered choice stays selected even when its
/// button is disabled, and OK accepts it.
class CResPlot : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTableResults = 35; ///< choices of the result table's columns
    static constexpr int kResults = 41;      ///< number of choices, the dq ones after the table's
    /// First "column" of the dq results: column kFocColumn + c is column c of the solver's
    /// m_ppFocTab (id, iq, id*, iq*, ud*, uq*).
    static constexpr int kFocColumn = 36;

    explicit CResPlot(QWidget* parent = nullptr);

    /// A document whose results may be plotted, with the conditions they were computed in.
    struct SSource {
        QString m_strName;    ///< document title
        int m_nCondition;     ///< condition of work 0..3 of its results
        bool m_bSpeedControl; ///< speed control of its results
        bool m_bFoc = false;  ///< its results come from a field-oriented run
    };
    /// Offers the results of several documents in a chooser below the picture, nChosen
    /// selected; choosing one applies its conditions to the buttons and the picture. Without
    /// a call the dialog offers only the results it was opened for.
    void SetSources(const std::vector<SSource>& sources, int nChosen);

    /// Result-table column plotted as y for choice index 0..40 (from kFocColumn: a dq column);
    /// -1 for other indices.
    static int ResultColumn(int index);
    /// y-axis label of choice index 0..40 ("Ia [A]", "iq [A]"); empty for other indices.
    static QString ResultLabel(int index);
    /// Text of the radio button of choice index 0..40 ("ia", "iq"); empty for other indices.
    static QString ButtonText(int index);
    /// Whether choice index is offered in the given condition of work (0..3) with speed
    /// control on or off, for a field-oriented run (foc) or not.
    static bool IsResultEnabled(int index, int condition, bool speedControl, bool foc = false);

    int m_nCondition;     ///< condition of work 0..3, set by the caller before opening
    bool m_bSpeedControl; ///< speed control on, set by the caller before opening
    bool m_bFoc;          ///< the results come from a field-oriented run, set before opening
    int m_nResult;        ///< chosen index 0..40; 0 after construction
    bool m_bAdd;          ///< closed with "Add to plot" rather than OK
    int m_nSource = 0;    ///< chosen index of SetSources' list (0 without one)

public slots:
    void accept() override;
    /// "Add to plot": accepts the choice as a curve to add.
    void OnAdd();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    /// Selects the remembered choice and disables what the condition of work does not offer.
    void LoadFields();
    void ApplyEnablingRule();

    /// Applies the conditions of source nIndex.
    void OnSourceChosen(int nIndex);

    QButtonGroup* m_pButtons;       ///< the 41 radio buttons, id = choice index
    QLabel* m_pSourceLabel;         ///< "Results of:"
    QComboBox* m_pSourceBox;        ///< the documents offered
    std::vector<SSource> m_sources; ///< what SetSources gave
};
