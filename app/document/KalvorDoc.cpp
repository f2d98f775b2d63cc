#include "document/KalvorDoc.h"

#include "ParamFile.h"
#include "ResultExport.h"
#include "Solver.h"
#include "dialogs/CalcProg.h"
#include "dialogs/FailParam.h"
#include "dialogs/InvParam.h"
#include "dialogs/MessageBox.h"
#include "dialogs/MotorParam.h"
#include "dialogs/TimeParam.h"
#include "plot/ResPlot.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>

CKalvorDoc::CKalvorDoc(QObject* pParent) : QObject(pParent) {}

CKalvorDoc::~CKalvorDoc() = default;

bool CKalvorDoc::OnOpenDocument(const QString& strPath, QString* pstrError) {
    CParamSet params;
    const CStatus status = ReadParamFile(strPath.toStdString(), params);
    if (!status.Ok()) {
        if (pstrError)
            *pstrError = QString::fromStdString(status.m_strMessage);
        return false;
    }
    m_params = params;
    m_strPathName = strPath;
    SetTitle(QFileInfo(strPath).fileName());
    SetModifiedFlag(false);
    emit PathUsed(strPath);
    return true;
}

bool CKalvorDoc::OnSaveDocument(const QString& strPath, QString* pstrError) {
    const CStatus status = WriteParamFile(strPath.toStdString(), m_params);
    if (!status.Ok()) {
        if (pstrError)
            *pstrError = QString::fromStdString(status.m_strMessage);
        return false;
    }
    m_strPathName = strPath;
    SetTitle(QFileInfo(strPath).fileName());
    SetModifiedFlag(false);
    emit PathUsed(strPath);
    return true;
}

bool CKalvorDoc::DoSave(QWidget* pParent, bool bAskPath) {
    QString strPath = m_strPathName;
    if (bAskPath || strPath.isEmpty()) {
        strPath = QFileDialog::getSaveFileName(pParent, QStringLiteral("Save As"),
                                               strPath.isEmpty() ? m_strTitle : strPath,
                                               QStringLiteral("All Files (*)"));
        if (strPath.isEmpty())
            return false;
    }
    QString strError;
    if (!OnSaveDocument(strPath, &strError)) {
        QMessageBox::warning(pParent, QStringLiteral("Kalvor"), strError);
        return false;
    }
    return true;
}

bool CKalvorDoc::SaveModified(QWidget* pParent) {
    if (!m_bModified)
        return true;
    const auto answer = QMessageBox::question(
        pParent, QStringLiteral("Kalvor"), QStringLiteral("Save changes to %1?").arg(m_strTitle),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::No)
        return true;
    return DoSave(pParent, false);
}

void CKalvorDoc::SetTitle(const QString& strTitle) {
    m_strTitle = strTitle;
    emit TitleChanged();
}

void CKalvorDoc::SetModifiedFlag(bool bModified) {
    if (m_bModified == bModified)
        return;
    m_bModified = bModified;
    emit TitleChanged();
}

bool CKalvorDoc::IsRunAccepted() const {
    return m_pSolver && m_runStatus == ECalcStatus::Accepted &&
           (m_pSolver->m_bExact || m_pSolver->m_nHalvings == 0);
}

bool CKalvorDoc::CanEditFailures() const {
    return CFailParam::IsAvailable(m_params.m_control);
}

void CKalvorDoc::OnCalculate(QWidget* pParent) {
    const CParamSet before = m_params;
    CTimeParam dlgTime(m_params.m_time, pParent, m_params.m_control.m_nCondition);
    if (dlgTime.exec() != QDialog::Accepted)
        return;
    if (!(m_params == before))
        SetModifiedFlag();

    const CCalcPlan plan = PlanCalculation(m_params);
    if (plan.m_bSwapped)
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("ERROR"),
                          QStringLiteral("Tp > Tk?"));
    if (plan.m_refusal) {
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("ERROR"),
                          QString::fromStdString(*plan.m_refusal));
        return;
    }

    // The previous run goes before the new one is built: two result tables need not fit.
    m_pSolver.reset();
    m_runStatus = ECalcStatus::NotRun;
    CCalcProg dlgProgress(pParent);
    CCalcResult result = Calculate(m_params, &dlgProgress);
    m_pSolver = std::move(result.m_pSolver);
    m_nRows = result.m_nRows;
    m_runStatus = result.m_status;

    switch (result.m_status) {
    case ECalcStatus::Accepted:
        m_bValid = true;
        // The results keep the parameters they came from, whatever the dialogs store later.
        m_resultParams = m_params;
        m_bResultCurves = false;
        ++m_nAxisSerial;
        emit UpdateAllViews();
        if (const QString strTrip = TripText(); !strTrip.isEmpty())
            emit StatusMessage(strTrip);
        OnPlotResult(pParent);
        break;
    case ECalcStatus::StepHalved:
        if (const QString strTrip = TripText(); !strTrip.isEmpty())
            emit StatusMessage(strTrip);
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("ERROR"),
                          QStringLiteral("Set smaller calculation step!"));
        break;
    case ECalcStatus::Cancelled:
        m_bValid = false;
        emit UpdateAllViews();
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("WARNING"),
                          QStringLiteral("Calculation cancelled: the results are not valid."));
        break;
    case ECalcStatus::Stopped:
    case ECalcStatus::Refused:
    case ECalcStatus::NotRun: {
        m_bValid = false;
        emit UpdateAllViews();
        // The fixed text first, then where and why the run stopped.
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("ERROR"),
                          QString::fromStdString(result.m_strMessage),
                          QString::fromStdString(result.m_strDetail));
        break;
    }
    }
}

void CKalvorDoc::OnPlotResult(QWidget* pParent, const std::vector<const CKalvorDoc*>& sources) {
    if (!m_pSolver) {
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("WARNING"),
                          QStringLiteral("You have to calculate first!"));
        return;
    }
    // This document first, then every other one that holds results to compare with.
    std::vector<const CKalvorDoc*> offered{this};
    for (const CKalvorDoc* pDoc : sources)
        if (pDoc && pDoc != this && pDoc->CanPlotResult())
            offered.push_back(pDoc);
    CResPlot dlgResPlot(pParent);
    // The buttons follow the conditions the results were computed in.
    std::vector<CResPlot::SSource> choices;
    for (const CKalvorDoc* pDoc : offered)
        choices.push_back({pDoc->Title(), pDoc->m_resultParams.m_control.m_nCondition,
                           pDoc->m_resultParams.m_control.m_bSpeedControl,
                           pDoc->m_pSolver->UsesFoc()});
    if (offered.size() > 1)
        dlgResPlot.SetSources(choices, 0);
    dlgResPlot.m_nCondition = choices.front().m_nCondition;
    dlgResPlot.m_bSpeedControl = choices.front().m_bSpeedControl;
    dlgResPlot.m_bFoc = choices.front().m_bFoc;
    dlgResPlot.m_nResult = m_params.m_resultPlot.m_nResult;
    if (dlgResPlot.exec() != QDialog::Accepted)
        return;
    if (dlgResPlot.m_nResult != m_params.m_resultPlot.m_nResult) {
        m_params.m_resultPlot.m_nResult = dlgResPlot.m_nResult;
        SetModifiedFlag();
    }
    const std::size_t nSource =
        std::size_t(std::clamp(dlgResPlot.m_nSource, 0, int(offered.size()) - 1));
    const CKalvorDoc& source = *offered[nSource];
    if (!source.m_bValid || !source.IsRunAccepted())
        return;

    const int nColumn = CResPlot::ResultColumn(dlgResPlot.m_nResult);
    const QString strLabel = CResPlot::ResultLabel(dlgResPlot.m_nResult);
    if (nColumn >= CResPlot::kFocColumn && !source.m_pSolver->UsesFoc()) {
        // A dq choice remembered from a field-oriented run: these results have no such column.
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("WARNING"),
                          QStringLiteral("%1 is a result of field-oriented control only: these "
                                         "results were calculated with the scalar scheme.")
                              .arg(strLabel));
        return;
    }
    const bool bAdd = dlgResPlot.m_bAdd && m_bValid && m_bResultCurves &&
                      m_buffer.m_pPlotY.size() == m_buffer.m_nPlotCount &&
                      m_buffer.m_pPlotX.size() == m_buffer.m_nPlotCount;
    if (bAdd) {
        if (!AddResultCurve(pParent, source, nColumn, strLabel))
            return;
    } else {
        PlotResultOf(source, nColumn, strLabel);
    }
    m_buffer.m_nPlotType = kPlotCurve;
    m_nPicture = 0;
    emit UpdateAllViews();
}

void CKalvorDoc::PlotResultOf(const CKalvorDoc& source, int nColumn, const QString& strLabel) {
    const bool bSameAxis = m_bResultCurves;
    const int nRows = source.m_nRows;
    AllocPlot(static_cast<unsigned>(nRows));
    for (int r = 0; r < nRows; ++r)
        m_buffer.m_pPlotX[r] = source.m_pSolver->m_ppResTab[r][0];
    source.CopyResult(nColumn, m_buffer.m_pPlotY);
    m_buffer.SetLabels(QStringLiteral("t [s]"), strLabel);
    if (&source != this)
        m_buffer.m_strFirstSource = source.Title();
    m_bResultCurves = true;
    if (!bSameAxis)
        ++m_nAxisSerial;
    SetFaultMarkers(source);
}

bool CKalvorDoc::AddResultCurve(QWidget* pParent, const CKalvorDoc& source, int nColumn,
                                const QString& strLabel) {
    CPlotCurve curve;
    source.CopyResult(nColumn, curve.m_vecY);
    std::vector<double> x(curve.m_vecY.size());
    for (std::size_t r = 0; r < x.size(); ++r)
        x[r] = source.m_pSolver->m_ppResTab[r][0];
    curve.m_pX = std::make_shared<const std::vector<double>>(std::move(x));
    curve.m_strLabel = strLabel;
    curve.m_strSource = &source == this ? QString() : source.Title();
    return AddCurve(pParent, std::move(curve));
}

bool CKalvorDoc::AddCurve(QWidget* pParent, CPlotCurve curve) {
    const QString& strLabel = curve.m_strLabel;
    const QString strShownSource = curve.m_strSource.isEmpty() ? m_strTitle : curve.m_strSource;
    const auto same = [&](const QString& label, const QString& src) {
        return label == strLabel && src == strShownSource;
    };
    bool bPlotted = same(m_buffer.FirstLabel(), FirstSource());
    for (const CPlotCurve& curve : m_buffer.m_vecMore)
        bPlotted = bPlotted || same(curve.m_strLabel,
                                    curve.m_strSource.isEmpty() ? m_strTitle : curve.m_strSource);
    if (bPlotted) {
        emit StatusMessage(
            QStringLiteral("%1 of %2 is already plotted.").arg(strLabel, strShownSource));
        return true;
    }
    if (CurveCount() >= CPlotPrint::kMaxCurves) {
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("WARNING"),
                          QStringLiteral("A plot holds at most %1 curves: %2 was not added. "
                                         "Choose OK instead of \"Add to plot\" to replace the "
                                         "curves by it.")
                              .arg(CPlotPrint::kMaxCurves)
                              .arg(strLabel));
        return false;
    }
    // A second unit gets the right-hand axis; a third has no axis to go to.
    const QString strFirst = m_buffer.FirstLabel();
    const QString strUnit = CPlotBuffer::UnitOf(strLabel),
                  strFirstUnit = CPlotBuffer::UnitOf(strFirst);
    QString strSecondUnit;
    for (const CPlotCurve& other : m_buffer.m_vecMore)
        if (other.m_nAxis == 1)
            strSecondUnit = CPlotBuffer::UnitOf(other.m_strLabel);
    if (strUnit != strFirstUnit && !strSecondUnit.isEmpty() && strUnit != strSecondUnit) {
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("WARNING"),
                          QStringLiteral("A plot has two y axes, for %1 on the left and %2 on "
                                         "the right: %3 was not added. Choose OK instead of "
                                         "\"Add to plot\" to plot it alone.")
                              .arg(strFirstUnit, strSecondUnit, strLabel));
        return false;
    }
    curve.m_nAxis = strUnit == strFirstUnit ? 0 : 1;
    if (m_buffer.m_strFirstLabel.isEmpty())
        m_buffer.m_strFirstLabel = m_buffer.m_strYLabel;
    // Samples of another run (other ts, te, h or store-every) or of a file are kept as they
    // are; the plot's own x is shared.
    const std::vector<double>& x = *curve.m_pX;
    if (x.size() == m_buffer.m_nPlotCount &&
        std::equal(x.begin(), x.end(), m_buffer.m_pPlotX.begin()))
        curve.m_pX.reset();
    m_buffer.m_vecMore.push_back(std::move(curve));
    m_buffer.SetSharedYLabel();
    return true;
}

void CKalvorDoc::CopyResult(int nColumn, std::vector<double>& y) const {
    y.resize(static_cast<std::size_t>(m_nRows));
    if (nColumn >= CResPlot::kFocColumn) {
        const int c = nColumn - CResPlot::kFocColumn;
        for (int r = 0; r < m_nRows; ++r)
            y[r] = m_pSolver->m_ppFocTab[r][c];
        return;
    }
    for (int r = 0; r < m_nRows; ++r)
        y[r] = m_pSolver->m_ppResTab[r][nColumn];
}

void CKalvorDoc::SetFaultMarkers(const CKalvorDoc& source) {
    m_buffer.m_aMarkers.clear();
    const CParamSet& resultParams = source.m_resultParams;
    const CFailParams& failures = resultParams.m_failures;
    const auto failed = [](int code) { return code != 0; };
    const bool bFailed = CFailParam::IsAvailable(resultParams.m_control) &&
                         (std::any_of(failures.m_nFailD.begin(), failures.m_nFailD.end(), failed) ||
                          std::any_of(failures.m_nFailT.begin(), failures.m_nFailT.end(), failed));
    if (bFailed) {
        m_buffer.m_aMarkers.push_back(
            {failures.m_dOnset, QStringLiteral("fault %1 s").arg(failures.m_dOnset, 0, 'g', 6)});
        if (failures.m_dClear > 0)
            m_buffer.m_aMarkers.push_back(
                {failures.m_dClear,
                 QStringLiteral("cleared %1 s").arg(failures.m_dClear, 0, 'g', 6)});
    }
    // The protection's trips, from the run itself.
    if (!source.m_pSolver)
        return;
    for (const CRunEvent& event : source.m_pSolver->m_events.Events()) {
        if (IsTrip(event.m_eKind))
            m_buffer.m_aMarkers.push_back(
                {event.m_dT, QStringLiteral("trip %1 %2 s")
                                 .arg(QString::fromLatin1(event.m_szSource))
                                 .arg(event.m_dT, 0, 'g', 6)});
    }
}

QString CKalvorDoc::TripText() const {
    const CRunEvent* pTrip = m_pSolver ? m_pSolver->m_events.FirstTrip() : nullptr;
    return pTrip ? QString::fromStdString(TripSummary(*pTrip)) : QString();
}

bool CKalvorDoc::RunParamDialog(QDialog& dialog) {
    const CParamSet before = m_params;
    const bool bAccepted = dialog.exec() == QDialog::Accepted;
    if (bAccepted) {
        m_bValid = false;
        SetModifiedFlag();
        emit UpdateAllViews();
    } else if (!(m_params == before)) {
        SetModifiedFlag();
    }
    return bAccepted;
}

void CKalvorDoc::OnControl(QWidget* pParent) {
    CInvParam dialog(m_params.m_control, m_params.m_foc, pParent);
    RunParamDialog(dialog);
}

void CKalvorDoc::OnMotor(QWidget* pParent) {
    CMotorParam dialog(m_params.m_motor, pParent);
    RunParamDialog(dialog);
}

void CKalvorDoc::OnFailures(QWidget* pParent) {
    CFailParam dialog(m_params.m_failures, m_params.m_protection, m_params.m_control.m_nCondition,
                      pParent);
    RunParamDialog(dialog);
}

void CKalvorDoc::OnViewNone() {
    m_nPicture = 0;
    emit UpdateAllViews();
}

void CKalvorDoc::TogglePicture(int nPicture) {
    m_nPicture = m_nPicture == nPicture ? 0 : nPicture;
    m_buffer.m_nPlotType = kPlotPicture;
    emit UpdateAllViews();
}
