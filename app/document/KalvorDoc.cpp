#include "document/KalvorDoc.h"

#include "ParamFile.h"
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
    const CFileStatus status = ReadParamFile(strPath.toStdString(), params);
    if (!status.m_bOk) {
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
    const CFileStatus status = WriteParamFile(strPath.toStdString(), m_params);
    if (!status.m_bOk) {
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

void CKalvorDoc::AllocPlot(unsigned n) {
    m_pPlotX.assign(n, 0.0);
    m_pPlotY.assign(n, 0.0);
    m_pPlotTmp.assign(n, 0.0);
    m_aPlotYMore.clear();
    m_aMoreLabels.clear();
    m_strFirstLabel.clear();
    m_nPlotCount = n;
}

std::vector<CPlotPrint::SCurve> CKalvorDoc::Curves() const {
    std::vector<CPlotPrint::SCurve> curves;
    curves.push_back(
        {m_pPlotY.data(), m_strFirstLabel.isEmpty() ? m_plot.m_strYLabel : m_strFirstLabel});
    for (std::size_t i = 0; i < m_aPlotYMore.size(); ++i)
        curves.push_back({m_aPlotYMore[i].data(), m_aMoreLabels[i]});
    return curves;
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
        OnPlotResult(pParent);
        break;
    case ECalcStatus::StepHalved:
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

void CKalvorDoc::OnPlotResult(QWidget* pParent) {
    if (!m_pSolver) {
        CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("WARNING"),
                          QStringLiteral("You have to calculate first!"));
        return;
    }
    CResPlot dlgResPlot(pParent);
    // The buttons follow the conditions the results were computed in.
    dlgResPlot.m_nCondition = m_resultParams.m_control.m_nCondition;
    dlgResPlot.m_bSpeedControl = m_resultParams.m_control.m_bSpeedControl;
    dlgResPlot.m_nResult = m_params.m_resultPlot.m_nResult;
    if (dlgResPlot.exec() != QDialog::Accepted)
        return;
    if (dlgResPlot.m_nResult != m_params.m_resultPlot.m_nResult) {
        m_params.m_resultPlot.m_nResult = dlgResPlot.m_nResult;
        SetModifiedFlag();
    }
    if (!m_bValid || !IsRunAccepted())
        return;

    const int nColumn = CResPlot::ResultColumn(dlgResPlot.m_nResult);
    const QString strLabel = CResPlot::ResultLabel(dlgResPlot.m_nResult);
    const bool bAdd = dlgResPlot.m_bAdd && m_bResultCurves &&
                      m_nPlotCount == static_cast<unsigned>(m_nRows) &&
                      m_pPlotY.size() == m_nPlotCount;
    if (bAdd) {
        const std::vector<CPlotPrint::SCurve> curves = Curves();
        for (const CPlotPrint::SCurve& curve : curves) {
            if (curve.m_strLabel == strLabel) {
                emit StatusMessage(QStringLiteral("%1 is already plotted.").arg(strLabel));
                m_nPlotType = 1;
                m_nPicture = 0;
                emit UpdateAllViews();
                return;
            }
        }
        if (CurveCount() >= CPlotPrint::kMaxCurves) {
            CMessageBox::Show(pParent, QMessageBox::Warning, QStringLiteral("WARNING"),
                              QStringLiteral("A plot holds at most %1 curves: choose OK to "
                                             "replace them.")
                                  .arg(CPlotPrint::kMaxCurves));
            return;
        }
        if (m_strFirstLabel.isEmpty())
            m_strFirstLabel = m_plot.m_strYLabel;
        m_aPlotYMore.emplace_back();
        CopyResult(nColumn, m_aPlotYMore.back());
        m_aMoreLabels.push_back(strLabel);
        // One scale for all: the y label names every quantity once with the shared unit.
        QStringList names;
        QString strUnit;
        bool bOneUnit = true;
        for (const CPlotPrint::SCurve& curve : Curves()) {
            const qsizetype open = curve.m_strLabel.lastIndexOf('[');
            names << curve.m_strLabel.left(open).trimmed();
            const QString unit = open < 0 ? QString() : curve.m_strLabel.mid(open);
            bOneUnit = bOneUnit && (strUnit.isEmpty() || unit == strUnit);
            strUnit = unit;
        }
        m_plot.m_strYLabel = names.join(", ") + (bOneUnit ? " " + strUnit : QString());
    } else {
        const bool bSameAxis = m_bResultCurves;
        AllocPlot(static_cast<unsigned>(m_nRows));
        for (int r = 0; r < m_nRows; ++r)
            m_pPlotX[r] = m_pSolver->m_ppResTab[r][0];
        CopyResult(nColumn, m_pPlotY);
        m_plot.SetLabels(QStringLiteral("t [s]"), strLabel);
        m_bResultCurves = true;
        if (!bSameAxis)
            ++m_nAxisSerial;
        SetFaultMarkers();
    }
    m_nPlotType = 1;
    m_nPicture = 0;
    emit UpdateAllViews();
}

void CKalvorDoc::CopyResult(int nColumn, std::vector<double>& y) const {
    y.resize(static_cast<std::size_t>(m_nRows));
    for (int r = 0; r < m_nRows; ++r)
        y[r] = m_pSolver->m_ppResTab[r][nColumn];
}

void CKalvorDoc::SetFaultMarkers() {
    m_plot.m_aMarkers.clear();
    const CFailParams& failures = m_resultParams.m_failures;
    const auto failed = [](int code) { return code != 0; };
    const bool bFailed = CFailParam::IsAvailable(m_resultParams.m_control) &&
                         (std::any_of(failures.m_nFailD.begin(), failures.m_nFailD.end(), failed) ||
                          std::any_of(failures.m_nFailT.begin(), failures.m_nFailT.end(), failed));
    if (!bFailed)
        return;
    m_plot.m_aMarkers.push_back(
        {failures.m_dOnset, QStringLiteral("fault %1 s").arg(failures.m_dOnset, 0, 'g', 6)});
    if (failures.m_dClear > 0)
        m_plot.m_aMarkers.push_back(
            {failures.m_dClear, QStringLiteral("cleared %1 s").arg(failures.m_dClear, 0, 'g', 6)});
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
    CInvParam dialog(m_params.m_control, pParent);
    RunParamDialog(dialog);
}

void CKalvorDoc::OnMotor(QWidget* pParent) {
    CMotorParam dialog(m_params.m_motor, pParent);
    RunParamDialog(dialog);
}

void CKalvorDoc::OnFailures(QWidget* pParent) {
    CFailParam dialog(m_params.m_failures, pParent);
    RunParamDialog(dialog);
}

void CKalvorDoc::OnViewNone() {
    m_nPicture = 0;
    emit UpdateAllViews();
}

void CKalvorDoc::TogglePicture(int nPicture) {
    m_nPicture = m_nPicture == nPicture ? 0 : nPicture;
    m_nPlotType = 0;
    emit UpdateAllViews();
}
