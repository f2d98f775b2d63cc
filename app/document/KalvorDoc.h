#pragma once

#include "Calculation.h"
#include "Control.h"
#include "Gclass.h"
#include "Mclass.h"
#include "ParamSet.h"
#include "ResultExport.h"
#include "document/CurveTable.h"
#include "document/PlotBuffer.h"
#include "plot/PlotPrint.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class CSolver;
struct CDiagPlot;
class QDialog;
class QWidget;

/// The document: one parameter set, the last calculation with its result table, and the plot
/// buffer that its views draw. It knows neither its views nor the main window: commands take
/// the widget that parents their dialogs, and views follow UpdateAllViews().
class CKalvorDoc : public QObject {
    Q_OBJECT
public:
    explicit CKalvorDoc(QObject* pParent = nullptr);
    ~CKalvorDoc() override;

    // File handling.

    /// Reads strPath into the parameter set. On refusal nothing changes and pstrError gets the
    /// reader's message (naming the file, the key and what is accepted).
    bool OnOpenDocument(const QString& strPath, QString* pstrError);
    /// Writes the parameter set to strPath; on success the document takes that path and is no
    /// longer modified. On failure pstrError names the file and the reason.
    bool OnSaveDocument(const QString& strPath, QString* pstrError);
    /// Save (bAskPath false, asks only when the document has no file yet) and Save As. Reports a
    /// failure in a message box. Returns true when the document was written.
    bool DoSave(QWidget* pParent, bool bAskPath);
    /// Before the document closes: when modified, asks whether to save it. Returns false when
    /// the user cancelled (or the save failed), so the document must stay open.
    bool SaveModified(QWidget* pParent);

    const QString& Title() const { return m_strTitle; }
    void SetTitle(const QString& strTitle);
    const QString& PathName() const { return m_strPathName; }
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true);

    // Plot buffer.

    /// Replaces the plot buffer's arrays by n zeros each (CPlotBuffer::Alloc).
    void AllocPlot(unsigned n) { m_buffer.Alloc(n); }
    /// The curves of the plot buffer, those of this document's results named by its title.
    std::vector<CPlotPrint::SCurve> Curves() const { return m_buffer.Curves(m_strTitle); }
    /// Number of curves in the plot buffer.
    int CurveCount() const { return m_buffer.CurveCount(); }
    /// Source of the first curve: the document or file it came from.
    QString FirstSource() const { return m_buffer.FirstSource(m_strTitle); }

    // Command availability.

    /// The last run exists and was accepted (no integration step halved).
    bool IsRunAccepted() const;
    /// "Plot result..." and "Export results...".
    bool CanPlotResult() const { return m_bValid && IsRunAccepted(); }
    /// "Result derivative", "Result integral" and "DFT...": a curve of current results.
    bool CanProcessPlot() const { return m_bValid && !m_buffer.IsSpectrum(); }
    /// "Export plot...".
    bool CanExportPlot() const { return m_bValid; }
    /// "Failures...": only the conditions of work with an inverter or a rectifier.
    bool CanEditFailures() const;

    // Commands.

    /// Model / "Calculate".
    void OnCalculate(QWidget* pParent);
    /// Model / "Plot result...": copies the chosen result column into the plot buffer; with
    /// "Add to plot" it joins the result curves shown as one more (at most kMaxCurves). The
    /// quantity may come from any of sources that holds results (other open documents; this
    /// one is always offered first when it holds results).
    void OnPlotResult(QWidget* pParent, const std::vector<const CKalvorDoc*>& sources = {});
    /// Options / "Control...".
    void OnControl(QWidget* pParent);
    /// Options / "Motor and inverter...".
    void OnMotor(QWidget* pParent);
    /// Options / "Failures...".
    void OnFailures(QWidget* pParent);
    /// View / "Circuit model", "2D model", "3D model" and Help / "Results export table order".
    void OnViewCircuit() { TogglePicture(3); }
    void OnView2D() { TogglePicture(1); }
    void OnView3D() { TogglePicture(2); }
    void OnResultsTableOrder() { TogglePicture(4); }
    /// View / "None": hides the picture; the plot stays hidden.
    void OnViewNone();

    // Commands of results export, post-processing and diagnostic plots (KalvorDocTools.cpp).

    /// Model / "Export results...": the result table to a text file.
    void OnExportResults(QWidget* pParent);
    /// Tools / "Export plot...": the plot buffer to a text file.
    void OnExportPlot(QWidget* pParent);
    /// Tools / "Result derivative": the curve replaced by its difference quotients.
    void OnResultDerivative(QWidget* pParent);
    /// Tools / "Result integral": the curve replaced by its running integral from 0.
    void OnResultIntegral(QWidget* pParent);
    /// Tools / "DFT...": the selected range of the curve replaced by its harmonic spectrum.
    void OnDft(QWidget* pParent);
    /// Model / "Add curve from file...": a column of a table file (the "Export results..."
    /// format or a CSV with a header, time first) plotted in place of the curves or added to
    /// result curves; the legend names the file.
    void OnAddCurveFromFile(QWidget* pParent);
    /// Puts column nColumn of table (read from strFile) into the plot: added to the result
    /// curves with bAdd, else in their place. False with a message when it cannot be added.
    bool PlotTableColumn(QWidget* pParent, const CCurveTable& table, int nColumn,
                         const QString& strFile, bool bAdd);
    /// Tools / "Difference": the first curve minus the second at the first one's samples.
    void OnDifference(QWidget* pParent);
    /// "Difference": two or more curves are plotted.
    bool CanTakeDifference() const { return m_bValid && m_buffer.IsCurve() && CurveCount() >= 2; }
    /// Tools / "Inductance plot...".
    void OnInductancePlot(QWidget* pParent);
    /// Tools / "Excitation flux plot...".
    void OnFluxPlot(QWidget* pParent);
    /// Tools / "PWM voltage plot...".
    void OnVoltagePlot(QWidget* pParent);

    /// Shows a dialog that edits the parameter set, modally. OK invalidates the results and
    /// modifies the document; Cancel modifies it only when a button of the dialog had already
    /// stored values. Returns true on OK.
    bool RunParamDialog(QDialog& dialog);

    CParamSet m_params; ///< the whole parameter set, what the document file holds

    int m_nSelStart = -1;         ///< x pixel of the left-button point at the last curve redraw
    int m_nSelEnd = 10000;        ///< x pixel of the right-button point at the last curve redraw
    int m_nPlotLeft = 0;          ///< x pixel of the plot area's left end at the last curve redraw
    int m_nPlotRight = 0;         ///< x pixel of the plot area's right end at the last curve redraw
    const int m_nResCols = 36;    ///< result-table columns
    const int m_nStateSize = 16;  ///< length of the state vector
    const int m_nStateCols = 17;  ///< state-table columns (time and the states)
    int m_nPicture = 0;           ///< 0 none, 1 2D model, 2 3D model, 3 circuit, 4 table order
    CPlotBuffer m_buffer;         ///< the plot buffer: curves, labels, marks and plot kind
    bool m_bResultCurves = false; ///< the plot buffer holds result columns of the last run
    int m_nAxisSerial = 0;        ///< changes whenever the plot's x values change meaning
    double m_dSpectrumPeriod = 0; ///< time span a spectrum was taken over [s]; 0 if not time
    CParamSet m_resultParams;     ///< the parameters the results were computed with
    bool m_bValid = false;        ///< results and plot buffer belong to the current parameters
    CPlotPrint m_plot;            ///< renderer, with the THD of the spectrum
    int m_nRows = 0;              ///< rows of the result table of the last run
    std::unique_ptr<CSolver> m_pSolver;            ///< the last run, replaced by each Calculate
    ECalcStatus m_runStatus = ECalcStatus::NotRun; ///< how the last run ended
    CControl m_control; ///< derivative, integral, DFT and the PWM voltage plot, never a run
    std::unique_ptr<CMclass> m_pPlotM = std::make_unique<CMclass>(18); ///< inductance plots
    std::unique_ptr<CGclass> m_pPlotG = std::make_unique<CGclass>(18); ///< derivative, flux plots

signals:
    /// Every view of the document redraws.
    void UpdateAllViews();
    /// The title or the modified flag changed.
    void TitleChanged();
    /// The document was written to strPath or read from it (for the recent-file list).
    void PathUsed(const QString& strPath);
    /// A note for the status bar about the command just done.
    void StatusMessage(const QString& strText);

private:
    void TogglePicture(int nPicture);
    /// Copies result column nColumn into y (m_nRows values).
    void CopyResult(int nColumn, std::vector<double>& y) const;
    /// Adds the result column of source as a curve; false with a message when it cannot.
    bool AddResultCurve(QWidget* pParent, const CKalvorDoc& source, int nColumn,
                        const QString& strLabel);
    /// Adds a curve of its own x values; false with a message when the plot is full. Says
    /// so and adds nothing when the same quantity of the same source is plotted.
    bool AddCurve(QWidget* pParent, CPlotCurve curve);
    /// Replaces the plot by the result column of source.
    void PlotResultOf(const CKalvorDoc& source, int nColumn, const QString& strLabel);
    /// The onset and clearing of the failures of source's run and the trips of its protection
    /// as markers of time plots.
    void SetFaultMarkers(const CKalvorDoc& source);
    /// What tripped the protection of the last run and when, empty when nothing did.
    QString TripText() const;

    using CurveOperation = void (CControl::*)(const double*, const double*, double*, std::size_t);
    /// Derivative or integral of a plotted curve (asked for when there are several), with the
    /// progress window; the outcome replaces the curves. strTitle titles the question.
    void TransformCurve(QWidget* pParent, CurveOperation operation, const char* strXLabel,
                        const char* strYLabel, const QString& strWhat, const QString& strTitle);
    /// The curve a post-processing command takes: 0 without asking when one is plotted, else the
    /// choice of a prompt titled strTitle; -1 when it was cancelled.
    int ChooseCurve(QWidget* pParent, const QString& strTitle);
    /// The y label of the outcome of a post-processing of curve nCurve: strLabel with one curve
    /// plotted; with several, naming the curve taken ("dy/dx of Ib [A]").
    QString OutcomeLabel(const QString& strLabel, int nCurve) const;
    /// Shows a plot settings dialog; marks the document modified when its settings changed.
    template <class TDialog, class TSettings>
    bool RunPlotDialog(TSettings& settings, QWidget* pParent);
    /// Puts a diagnostic curve into the plot buffer, or says why there is none.
    void ShowDiagPlot(QWidget* pParent, const CDiagPlot& plot);

    QString m_strTitle;    ///< "Kalvo1", or the file name
    QString m_strPathName; ///< file of the document, empty until saved or opened
    bool m_bModified = false;
};
