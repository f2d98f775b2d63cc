#pragma once

// A short calculation driven through the dialogs: the time dialog takes the run's fields and
// OK, the result dialog OK or Cancel.

#include "ModalScript.h"
#include "dialogs/TimeParam.h"
#include "document/KalvorDoc.h"
#include "plot/ResPlot.h"

#include <QLineEdit>

#include <functional>

struct CShortRun {
    const char* m_pszTe = "0.002";                ///< end time typed into "te ="
    const char* m_pszEvery = nullptr;             ///< "store every", or as the dialog shows it
    bool m_bAcceptPlot = true;                    ///< OK in the result dialog, else Cancel
    std::function<void(CTimeParam*)> m_edit = {}; ///< further fields typed before OK
};

/// Calculates as trigger starts it (the Calculate command of a document or a window). True
/// when both dialogs came and no other message box did.
inline bool CalculateThroughDialogs(const std::function<void()>& trigger,
                                    const CShortRun& run = {}) {
    CModalScript script;
    script
        .Then<CTimeParam>([&run](CTimeParam* p) {
            p->m_pTe->setText(run.m_pszTe);
            if (run.m_pszEvery)
                p->m_pEvery->setText(run.m_pszEvery);
            if (run.m_edit)
                run.m_edit(p);
            p->accept();
        })
        .Then<CResPlot>([&run](CResPlot* p) {
            if (run.m_bAcceptPlot)
                p->accept();
            else
                p->reject();
        });
    trigger();
    return script.Done() && script.m_unexpected.isEmpty();
}

/// As above, started by the document's Calculate.
inline bool CalculateThroughDialogs(CKalvorDoc& doc, const CShortRun& run = {}) {
    return CalculateThroughDialogs([&doc] { doc.OnCalculate(nullptr); }, run);
}
