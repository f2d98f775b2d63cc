// The document's commands of results export, post-processing and diagnostic plots.
#include "document/KalvorDoc.h"

#include "DiagPlots.h"
#include "PostProcess.h"
#include "ResultExport.h"
#include "Solver.h"
#include "dialogs/CalcProg.h"
#include "dialogs/CurveChoice.h"
#include "dialogs/CurvePrompt.h"
#include "dialogs/DDftPlot.h"
#include "dialogs/DFluxPlot.h"
#include "dialogs/DVoltPlot.h"
#include "dialogs/ExportFile.h"
#include "dialogs/Ind.h"
#include "dialogs/MessageBox.h"
#include "plot/CurveDifference.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>

namespace {

std::string LocalPath(const QString& strPath) {
    return QFile::encodeName(strPath).toStdString();
}

/// Time span of count samples from x0 to xLast at even spacing: count spacings, so that
/// harmonic 1 has this period. 0 when it is not defined.
double SpanOfSamples(const CSampleRange& range, double x0, double xLast) {
    if (range.m_nCount < 2 || !(xLast > x0))
        return 0;
    return (xLast - x0) * double(range.m_nCount) / double(range.m_nCount - 1);
}

/// "Ia [A] · Kalvo2" -> ("Ia · Kalvo2", "A"): the unit in brackets, the rest as the name.
std::pair<QString, QString> SplitLabel(const QString& strLabel) {
    const qsizetype open = strLabel.lastIndexOf('[');
    const qsizetype close = strLabel.indexOf(']', open);
    if (open < 0 || close < 0)
        return {strLabel.trimmed(), QString()};
    const QString name = (strLabel.left(open).trimmed() + ' ' + strLabel.mid(close + 1).trimmed());
    return {name.trimmed(), strLabel.mid(open + 1, close - open - 1)};
}

/// The legend texts of curves, for a choice among them.
QStringList CurveLabels(const std::vector<CPlotPrint::SCurve>& curves) {
    QStringList labels;
    for (const CPlotPrint::SCurve& curve : curves)
        labels << curve.m_strLabel;
    return labels;
}

/// The samples of a curve of its own ascending x that a DFT range of the first curve (nFirst
/// samples of firstX) covers: those inside its x span, or the whole curve when the range is the
/// whole first curve. False when x does not ascend and the range is not the whole.
bool RangeOnOwnX(const std::vector<double>& firstX, std::size_t nFirst,
                 const std::vector<double>& x, CSampleRange& range) {
    if (range.m_nStart == 0 && range.m_nCount == nFirst) {
        range = {0, x.size()};
        return true;
    }
    if (!std::is_sorted(x.begin(), x.end()))
        return false;
    if (range.m_nCount == 0) {
        range = {0, 0};
        return true;
    }
    const double lo = firstX[range.m_nStart], hi = firstX[range.m_nStart + range.m_nCount - 1];
    const auto from = std::lower_bound(x.begin(), x.end(), lo);
    const auto to = std::upper_bound(from, x.end(), hi);
    range = {std::size_t(from - x.begin()), std::size_t(to - from)};
    return true;
}

} // namespace

void CKalvorDoc::OnExportResults(QWidget* pParent) {
    if (!CanPlotResult()) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR", "You have to calculate first!");
        return;
    }
    const QString strPath = AskExportPath(pParent);
    if (strPath.isEmpty())
        return;
    CCalcProg dlgProgress(pParent);
    dlgProgress.SetCancellable(false);
    const CStatus status =
        ExportResultFile(LocalPath(strPath), m_pSolver->m_ppResTab.get(), std::size_t(m_nRows),
                         std::size_t(m_nResCols), false, &dlgProgress);
    if (!status.Ok())
        ReportExportFailure(pParent, status);
}

void CKalvorDoc::OnExportPlot(QWidget* pParent) {
    if (!CanExportPlot()) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR", "You have to calculate first!");
        return;
    }
    const QString strPath = AskExportPath(pParent);
    if (strPath.isEmpty())
        return;
    CStatus status;
    if (m_buffer.IsCurve() && !m_buffer.m_vecMore.empty()) {
        // x and one column per curve, in the order of the legend; a curve with samples of its
        // own is interpolated at the first one's x ("nan" outside its range).
        std::vector<std::vector<double>> resampled;
        std::vector<const double*> columns;
        for (const CPlotPrint::SCurve& curve : Curves()) {
            if (!curve.m_pX) {
                columns.push_back(curve.m_pY);
                continue;
            }
            std::vector<double> values(m_buffer.m_nPlotCount);
            for (unsigned i = 0; i < m_buffer.m_nPlotCount; ++i)
                values[i] =
                    InterpolateAt({curve.m_pX, curve.m_pY, curve.m_nCount}, m_buffer.m_pPlotX[i]);
            resampled.push_back(std::move(values));
            columns.push_back(resampled.back().data());
        }
        status = ExportPlotColumnsFile(LocalPath(strPath), m_buffer.m_pPlotX.data(), columns,
                                       m_buffer.m_nPlotCount);
    } else {
        status = ExportPlotFile(LocalPath(strPath), m_buffer.m_nPlotType, m_buffer.m_pPlotX.data(),
                                m_buffer.m_pPlotY.data(), m_buffer.m_pPlotTmp.data(),
                                m_buffer.m_nPlotCount);
    }
    if (!status.Ok())
        ReportExportFailure(pParent, status);
}

void CKalvorDoc::OnResultDerivative(QWidget* pParent) {
    TransformCurve(pParent, &CControl::Derivative, kDerivativeXLabel, kDerivativeYLabel,
                   QStringLiteral("Derivative"), QStringLiteral("Result derivative"));
}

void CKalvorDoc::OnResultIntegral(QWidget* pParent) {
    TransformCurve(pParent, &CControl::Integral, kIntegralXLabel, kIntegralYLabel,
                   QStringLiteral("Integral"), QStringLiteral("Result integral"));
}

int CKalvorDoc::ChooseCurve(QWidget* pParent, const QString& strTitle) {
    if (CurveCount() < 2)
        return 0;
    CCurvePrompt prompt(strTitle, CurveLabels(Curves()), pParent);
    return prompt.exec() == QDialog::Accepted ? prompt.m_nCurve : -1;
}

QString CKalvorDoc::OutcomeLabel(const QString& strLabel, int nCurve) const {
    if (CurveCount() < 2)
        return strLabel;
    return QStringLiteral("%1 of %2").arg(strLabel, Curves()[std::size_t(nCurve)].m_strLabel);
}

void CKalvorDoc::TransformCurve(QWidget* pParent, CurveOperation operation, const char* strXLabel,
                                const char* strYLabel, const QString& strWhat,
                                const QString& strTitle) {
    if (!CanProcessPlot()) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR", "No result!");
        return;
    }
    const int nCurve = ChooseCurve(pParent, strTitle);
    if (nCurve < 0)
        return;
    const QString strCurve = Curves()[std::size_t(nCurve)].m_strLabel;
    const QString strLabel = OutcomeLabel(QString::fromLatin1(strYLabel), nCurve);
    std::vector<double> x, y;
    m_buffer.Samples(nCurve, x, y);
    std::vector<double> out(x.size());
    CCalcProg dlgProgress(pParent);
    dlgProgress.SetCancellable(false);
    m_control.m_pProgress = &dlgProgress;
    (m_control.*operation)(x.data(), y.data(), out.data(), x.size());
    m_control.m_pProgress = nullptr;
    // Another run's or a file's samples give the plot other x values.
    if (m_buffer.HasOwnX(nCurve))
        ++m_nAxisSerial;
    m_buffer.Replace(std::move(x), out, out);
    m_bResultCurves = false;
    m_buffer.m_nPlotType = kPlotCurve;
    m_nPicture = 0;
    m_buffer.SetLabels(strXLabel, strLabel);
    emit UpdateAllViews();
    emit StatusMessage(QStringLiteral("%1 of %2").arg(strWhat, strCurve));
}

void CKalvorDoc::OnDft(QWidget* pParent) {
    if (!CanProcessPlot()) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR", "No result!");
        return;
    }
    const CDftSettings before = m_params.m_dft;
    CDDftPlot dlgDft(m_params.m_dft, pParent);
    const std::vector<CPlotPrint::SCurve> curves = Curves();
    dlgDft.OfferCurves(CurveLabels(curves));
    if (dlgDft.exec() != QDialog::Accepted)
        return;
    if (m_params.m_dft.m_nNh != before.m_nNh)
        SetModifiedFlag();

    const int nCurve = dlgDft.m_nCurve;
    std::vector<double> x, y;
    m_buffer.Samples(nCurve, x, y);
    CSampleRange range =
        MapDftRange(m_nSelStart, m_nSelEnd, m_nPlotLeft, m_nPlotRight, m_buffer.m_nPlotCount);
    if (m_buffer.HasOwnX(nCurve) &&
        !RangeOnOwnX(m_buffer.m_pPlotX, m_buffer.m_nPlotCount, x, range)) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR",
                          QStringLiteral("The selected range cannot be found on %1: its x values "
                                         "do not ascend. Double-click the plot to remove the "
                                         "selection and take the whole curve.")
                              .arg(curves[std::size_t(nCurve)].m_strLabel));
        return;
    }
    // The x of the samples before the spectrum replaces them, for its frequencies.
    const bool bTime = m_buffer.m_strXLabel == QStringLiteral("t [s]");
    const double x0 = bTime && range.m_nCount > 0 ? x[range.m_nStart] : 0;
    const double xLast = bTime && range.m_nCount > 0 ? x[range.m_nStart + range.m_nCount - 1] : 0;
    std::vector<double> work(x.size());
    CCalcProg dlgProgress(pParent);
    dlgProgress.SetCancellable(false);
    m_control.m_pProgress = &dlgProgress;
    const CDftOutcome outcome =
        TransformRange(m_control, range, m_params.m_dft.m_nNh, x.data(), y.data(), work.data());
    m_control.m_pProgress = nullptr;
    if (!outcome.Ok()) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR",
                          QString::fromStdString(outcome.m_strMessage));
        return;
    }
    const QString strCurve = curves[std::size_t(nCurve)].m_strLabel;
    // The magnitude in the curve's unit; with several curves, the label names the one taken.
    const QString strUnit = CPlotBuffer::UnitOf(strCurve);
    const QString strLabel =
        CurveCount() > 1 ? OutcomeLabel(QString::fromLatin1(kSpectrumYLabel), nCurve)
        : strUnit.isEmpty()
            ? QString::fromLatin1(kSpectrumYLabel)
            : QStringLiteral("%1 [%2]").arg(QString::fromLatin1(kSpectrumYLabel), strUnit);
    m_buffer.Replace(std::move(x), std::move(y), std::move(work));
    m_dSpectrumPeriod = SpanOfSamples(range, x0, xLast);
    m_plot.m_dTHD = outcome.m_dThd;
    m_buffer.m_nPlotCount = unsigned(outcome.m_nShown);
    m_bResultCurves = false;
    ++m_nAxisSerial;
    m_buffer.m_nPlotType = kPlotSpectrum;
    m_nPicture = 0;
    m_buffer.SetLabels(kSpectrumXLabel, strLabel);
    emit UpdateAllViews();
    emit StatusMessage(QStringLiteral("Spectrum of %1").arg(strCurve));
}

void CKalvorDoc::OnAddCurveFromFile(QWidget* pParent) {
    QFileDialog dialog(pParent, QStringLiteral("Add curve from file"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {QStringLiteral("Tables (*.txt *.csv)"), QStringLiteral("All files (*)")});
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString strPath = dialog.selectedFiles().first();
    const CCurveTable table = ReadCurveTable(LocalPath(strPath));
    if (!table.m_bOk) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR",
                          QString::fromStdString(table.m_strMessage));
        return;
    }
    QStringList names;
    for (const std::string& name : table.m_vecNames)
        names << QString::fromStdString(name);
    const QString strFile = QFileInfo(strPath).fileName();
    const bool bCanAdd = m_bValid && m_bResultCurves;
    CCurveChoice dlgChoice(strFile, names, bCanAdd, pParent);
    if (dlgChoice.exec() != QDialog::Accepted)
        return;
    if (PlotTableColumn(pParent, table, dlgChoice.m_nColumn, strFile, dlgChoice.m_bAdd && bCanAdd))
        emit StatusMessage(
            QStringLiteral("%1 of %2").arg(names.value(dlgChoice.m_nColumn), strFile));
}

bool CKalvorDoc::PlotTableColumn(QWidget* pParent, const CCurveTable& table, int nColumn,
                                 const QString& strFile, bool bAdd) {
    if (nColumn < 1 || std::size_t(nColumn) >= table.m_vecColumns.size())
        return false;
    const QString strLabel = QString::fromStdString(table.m_vecNames[std::size_t(nColumn)]);
    const std::vector<double>& x = table.m_vecColumns[0];
    const std::vector<double>& y = table.m_vecColumns[std::size_t(nColumn)];
    if (bAdd) {
        CPlotCurve curve{y, std::make_shared<const std::vector<double>>(x), strLabel, strFile};
        if (!AddCurve(pParent, std::move(curve)))
            return false;
    } else {
        // Results of this document that no longer belong to its parameters are not shown
        // anywhere; they go, so that the file's curve cannot pass for them.
        if (!m_bValid) {
            m_pSolver.reset();
            m_runStatus = ECalcStatus::NotRun;
            m_nRows = 0;
        }
        AllocPlot(unsigned(x.size()));
        std::copy(x.begin(), x.end(), m_buffer.m_pPlotX.begin());
        std::copy(y.begin(), y.end(), m_buffer.m_pPlotY.begin());
        const QString strXLabel = QString::fromStdString(table.m_vecNames[0]);
        m_buffer.SetLabels(strXLabel.isEmpty() ? QStringLiteral("t [s]") : strXLabel, strLabel);
        m_buffer.m_aMarkers.clear();
        m_buffer.m_strFirstSource = strFile;
        m_bResultCurves = true;
        ++m_nAxisSerial;
        m_bValid = true;
    }
    m_buffer.m_nPlotType = kPlotCurve;
    m_nPicture = 0;
    emit UpdateAllViews();
    return true;
}

void CKalvorDoc::OnDifference(QWidget* pParent) {
    if (!CanTakeDifference()) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR",
                          "Difference needs a plot of two or more curves.");
        return;
    }
    const std::vector<CPlotPrint::SCurve> curves = Curves();
    const auto [firstName, firstUnit] = SplitLabel(curves[0].m_strLabel);
    const auto [secondName, secondUnit] = SplitLabel(curves[1].m_strLabel);
    if (firstUnit != secondUnit) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR",
                          QStringLiteral("Difference needs two curves of one unit: %1 and %2 "
                                         "differ.")
                              .arg(curves[0].m_strLabel, curves[1].m_strLabel));
        return;
    }
    const auto sampled = [this](const CPlotPrint::SCurve& curve) {
        return curve.m_pX
                   ? CSampledCurve{curve.m_pX, curve.m_pY, curve.m_nCount}
                   : CSampledCurve{m_buffer.m_pPlotX.data(), curve.m_pY, m_buffer.m_nPlotCount};
    };
    const CCurveDifference difference = CurveDifference(sampled(curves[0]), sampled(curves[1]));
    if (!difference.m_bOk) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR",
                          QString::fromStdString(difference.m_strMessage));
        return;
    }
    // "Ia · Kalvo1 − Ia · Kalvo2 [A]": what was taken from what, in the unit of both.
    QString strLabel = firstName + QStringLiteral(" − ") + secondName;
    if (!firstUnit.isEmpty())
        strLabel += QStringLiteral(" [%1]").arg(firstUnit);
    const QString strNote =
        QStringLiteral("Difference %1 at the samples of the first").arg(strLabel);
    const QString strXLabel = m_buffer.m_strXLabel;
    AllocPlot(unsigned(difference.m_vecX.size()));
    std::copy(difference.m_vecX.begin(), difference.m_vecX.end(), m_buffer.m_pPlotX.begin());
    std::copy(difference.m_vecY.begin(), difference.m_vecY.end(), m_buffer.m_pPlotY.begin());
    m_buffer.SetLabels(strXLabel, strLabel);
    m_bResultCurves = false;
    m_buffer.m_nPlotType = kPlotCurve;
    m_nPicture = 0;
    emit UpdateAllViews();
    emit StatusMessage(strNote);
}

void CKalvorDoc::OnInductancePlot(QWidget* pParent) {
    if (!RunPlotDialog<CInd>(m_params.m_inductancePlot, pParent))
        return;
    ShowDiagPlot(pParent,
                 InductancePlot(m_params.m_inductancePlot, m_params.m_motor, *m_pPlotM, *m_pPlotG));
}

void CKalvorDoc::OnFluxPlot(QWidget* pParent) {
    if (!RunPlotDialog<CDFluxPlot>(m_params.m_fluxPlot, pParent))
        return;
    ShowDiagPlot(pParent, FluxPlot(m_params.m_fluxPlot, *m_pPlotG));
}

void CKalvorDoc::OnVoltagePlot(QWidget* pParent) {
    if (!RunPlotDialog<CDVoltPlot>(m_params.m_voltagePlot, pParent))
        return;
    ShowDiagPlot(pParent, VoltagePlot(m_params.m_voltagePlot, m_control));
}

template <class TDialog, class TSettings>
bool CKalvorDoc::RunPlotDialog(TSettings& settings, QWidget* pParent) {
    const CParamSet before = m_params;
    TDialog dialog(settings, pParent);
    const bool bOk = dialog.exec() == QDialog::Accepted;
    // The flux dialog stores on clicks even when it ends with Cancel.
    if (!(m_params == before))
        SetModifiedFlag();
    return bOk;
}

void CKalvorDoc::ShowDiagPlot(QWidget* pParent, const CDiagPlot& plot) {
    if (plot.m_bTimesSwapped)
        CMessageBox::Show(pParent, QMessageBox::Warning, "WARNING", kMsgTpTk);
    if (!plot.Ok()) {
        CMessageBox::Show(pParent, QMessageBox::Warning, "ERROR",
                          QString::fromStdString(plot.m_strMessage));
        return;
    }
    AllocPlot(unsigned(plot.m_x.size()));
    std::copy(plot.m_x.begin(), plot.m_x.end(), m_buffer.m_pPlotX.begin());
    std::copy(plot.m_y.begin(), plot.m_y.end(), m_buffer.m_pPlotY.begin());
    m_buffer.SetLabels(QString::fromStdString(plot.m_strXLabel),
                       QString::fromStdString(plot.m_strYLabel));
    m_buffer.m_aMarkers.clear();
    m_bResultCurves = false;
    ++m_nAxisSerial;
    m_bValid = true;
    m_buffer.m_nPlotType = kPlotCurve;
    m_nPicture = 0;
    emit UpdateAllViews();
}
