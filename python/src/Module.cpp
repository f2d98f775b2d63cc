// The compiled half of the kalvor package: parameter set, Calculate, diagnostic plots, the
// constant tables and the DFT, thin over core/. Everything else is Python beside it.
#include "AtomicFile.h"
#include "Calculation.h"
#include "Control.h"
#include "DiagPlots.h"
#include "InterpreterExit.h"
#include "ParamFile.h"
#include "ParamReference.h"
#include "PostProcess.h"
#include "PyProgress.h"
#include "ResultColumns.h"
#include "Solver.h"
#include "Tables.h"

#include <pybind11/numpy.h>
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// Refused parameters, files or settings; kalvor.ParameterError in Python.
struct CParameterError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A calculation that stopped; kalvor.RunStopped in Python (raised by the Python half).
struct CRunStopped : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Refused input is a ParameterError; a file that could not be written an OSError.
void Check(const CStatus& status) {
    if (status.Ok())
        return;
    if (status.m_code == EStatus::Failed) {
        PyErr_SetString(PyExc_OSError, status.m_strMessage.c_str());
        throw py::error_already_set();
    }
    throw CParameterError(status.m_strMessage);
}

// The value of group.key as Python holds it, or None when the set has no such field.
py::object FieldValue(CParamSet& set, const std::string& strGroup, const std::string& strKey) {
    for (const CField& field : ListFields(set)) {
        if (field.m_pDesc->m_strGroup == strGroup && field.m_pDesc->m_strKey == strKey)
            return std::visit([](auto* p) { return py::cast(*p); }, field.m_ref);
    }
    return py::none();
}

CParamSet LoadParams(const std::string& strPath) {
    CParamSet set;
    Check(ReadParamFile(strPath, set));
    return set;
}

CParamSet ParseParams(const std::string& strText, const std::string& strSource) {
    CParamSet set;
    Check(ParseParamText(strText, strSource, set));
    return set;
}

// Calculate without the GIL; a copy of the set, so another thread may change the caller's.
CCalcResult RunCalculation(const CParamSet& set, py::object progress) {
    const CParamSet copy = set;
    CPyProgress sink(std::move(progress));
    CCalcResult result =
        CInterpreterExit::WithoutGil([&copy, &sink] { return Calculate(copy, &sink); });
    if (sink.Failed())
        throw py::error_already_set();
    return result;
}

// Rows of a table as a numpy array over the engine's block, kept alive by self.
py::array RowsArray(py::object self, double* const* ppRows, py::ssize_t rows, py::ssize_t cols) {
    bool contiguous = true;
    for (py::ssize_t r = 1; r < rows && contiguous; ++r)
        contiguous = ppRows[r] == ppRows[0] + r * cols;
    if (!contiguous) {
        // Rows in separate blocks cannot be one array: copy them.
        py::array_t<double> copy({rows, cols});
        for (py::ssize_t r = 0; r < rows; ++r)
            std::copy(ppRows[r], ppRows[r] + cols, copy.mutable_data(r, 0));
        copy.attr("flags").attr("writeable") = false;
        return copy;
    }
    const py::ssize_t item = sizeof(double);
    py::array view(py::dtype::of<double>(), {rows, cols}, {cols * item, item}, ppRows[0], self);
    // The engine's own table: readers share it, nobody writes into it.
    view.attr("flags").attr("writeable") = false;
    return view;
}

// The result table as a numpy array over the engine's block, kept alive by the outcome object.
py::array ResultTable(py::object self) {
    const CCalcResult& result = self.cast<const CCalcResult&>();
    if (!result.m_pSolver || result.m_nRows <= 0)
        return py::array_t<double>(std::vector<py::ssize_t>{0, kResultCols});
    const CSolver& solver = *result.m_pSolver;
    return RowsArray(self, solver.m_ppResTab.get(), result.m_nRows, solver.m_nResCols);
}

// A field-oriented run's dq columns (id, iq, id*, iq*, ud*, uq*) the same way; None for a
// scalar run.
py::object FocTable(py::object self) {
    const CCalcResult& result = self.cast<const CCalcResult&>();
    if (!result.m_pSolver || !result.m_pSolver->m_ppFocTab || result.m_nRows <= 0)
        return py::none();
    return RowsArray(self, result.m_pSolver->m_ppFocTab.get(), result.m_nRows, kFocColumns);
}

// The run's event log as a list of dicts {t, kind, source, value}, oldest first.
py::list Events(const CCalcResult& result) {
    py::list events;
    if (!result.m_pSolver)
        return events;
    for (const CRunEvent& event : result.m_pSolver->m_events.Events()) {
        py::dict record;
        record["t"] = event.m_dT;
        record["kind"] = std::string(EventKindName(event.m_eKind));
        record["source"] = std::string(event.Source());
        record["value"] = event.m_dValue;
        events.append(std::move(record));
    }
    return events;
}

// The energy ledger of an exact run as a dict of joules; None when the run kept none.
py::object Energy(const CCalcResult& result) {
    if (!result.m_pSolver || !result.m_pSolver->m_energy.m_bKept)
        return py::none();
    const CEnergyLedger& ledger = result.m_pSolver->m_energy;
    py::dict energy;
    energy["source"] = ledger.m_energy.m_dSource;
    energy["load"] = ledger.m_energy.m_dLoad;
    energy["resistive"] = ledger.m_energy.m_dResistive;
    energy["damping"] = ledger.m_energy.m_dDamping;
    for (const auto& [name, stored] : {std::pair{"start", ledger.m_start}, {"end", ledger.m_end}}) {
        energy[py::str(std::string("capacitor_") + name)] = stored.m_dCapacitor;
        energy[py::str(std::string("magnetic_") + name)] = stored.m_dMagnetic;
        energy[py::str(std::string("kinetic_") + name)] = stored.m_dKinetic;
    }
    energy["residual"] = ledger.Residual();
    energy["relative_residual"] = ledger.RelativeResidual();
    return energy;
}

// The largest instantaneous current of each device of an exact run: {"T1": (current, time),
// ..., "D6": ...}; None when the run kept none.
py::object DevicePeaks(const CCalcResult& result) {
    if (!result.m_pSolver || !result.m_pSolver->m_peaks.m_bKept)
        return py::none();
    const CDevicePeaks& peaks = result.m_pSolver->m_peaks;
    py::dict out;
    for (int k = 1; k <= 6; ++k) {
        out[py::str("T" + std::to_string(k))] =
            py::make_tuple(peaks.m_adTransistor[k], peaks.m_adTransistorT[k]);
        out[py::str("D" + std::to_string(k))] =
            py::make_tuple(peaks.m_adDiode[k], peaks.m_adDiodeT[k]);
    }
    return out;
}

const char* StatusName(ECalcStatus status) {
    switch (status) {
    case ECalcStatus::NotRun:
        return "not_run";
    case ECalcStatus::Accepted:
        return "accepted";
    case ECalcStatus::StepHalved:
        return "step_halved";
    case ECalcStatus::Refused:
        return "refused";
    case ECalcStatus::Stopped:
        return "stopped";
    case ECalcStatus::Cancelled:
        return "cancelled";
    }
    return "unknown";
}

py::tuple Diagram(const std::string& strKind, const CParamSet& set) {
    const CDiagPlot plot = DiagPlotOfKind(strKind, set);
    if (!plot.Ok())
        throw CParameterError(plot.m_strMessage);
    return py::make_tuple(py::array_t<double>(py::ssize_t(plot.m_x.size()), plot.m_x.data()),
                          py::array_t<double>(py::ssize_t(plot.m_y.size()), plot.m_y.data()),
                          plot.m_strXLabel, plot.m_strYLabel, plot.m_bTimesSwapped);
}

py::array Table18(const double (*pTable)[kCoilCount]) {
    return py::array_t<double>({kCoilCount, kCoilCount}, &pTable[0][0]);
}

py::dict ConstantTables() {
    py::dict tables;
    tables["L0"] = Table18(g_adL0);
    tables["A1"] = Table18(g_adA1);
    tables["B1"] = Table18(g_adB1);
    tables["A2"] = Table18(g_adA2);
    tables["B2"] = Table18(g_adB2);
    tables["A3"] = Table18(g_adA3);
    tables["B3"] = Table18(g_adB3);
    tables["flux"] = py::array_t<double>({kFluxRows, 2}, &g_adFluxAB[0][0]);
    return tables;
}

py::tuple Spectrum(py::array_t<double, py::array::c_style | py::array::forcecast> samples,
                   int nNh) {
    if (samples.ndim() != 1)
        throw CParameterError("the DFT takes a one-dimensional array of samples.");
    const std::size_t n = std::size_t(samples.size());
    std::vector<double> x(n), y(samples.data(), samples.data() + n), work(n);
    const CDftOutcome outcome = CInterpreterExit::WithoutGil([&] {
        CControl control;
        return TransformRange(control, CSampleRange{0, n}, nNh, x.data(), y.data(), work.data());
    });
    if (!outcome.Ok())
        throw CParameterError(outcome.m_strMessage);
    return py::make_tuple(py::array_t<double>(py::ssize_t(outcome.m_nShown), work.data()),
                          outcome.m_dThd);
}

// Writes bytes through the program's one atomic writer; OSError with its message on failure.
void WriteFile(const std::string& strPath, const py::bytes& data) {
    const std::string_view text = data;
    Check(CInterpreterExit::WithoutGil([&] { return CAtomicFile::WriteText(strPath, text); }));
}

// An atomic file for writers that need a path (h5py): open, write to .temp, commit or discard.
void BindAtomicFile(py::module_& m) {
    const auto check = [](CAtomicFile& file, bool bOk) {
        if (!bOk) {
            PyErr_SetString(PyExc_OSError, file.Message().c_str());
            throw py::error_already_set();
        }
    };
    py::class_<CAtomicFile>(m, "AtomicFile")
        .def(py::init<std::string>(), py::arg("path"))
        .def("open", [check](CAtomicFile& file) { check(file, file.Open()); })
        .def_property_readonly("temp", &CAtomicFile::TempPath)
        .def("commit",
             [check](CAtomicFile& file) {
                 bool bOk = false;
                 {
                     py::gil_scoped_release release;
                     bOk = file.Commit();
                 }
                 check(file, bOk);
             })
        .def("discard", &CAtomicFile::Discard);
}

} // namespace

PYBIND11_MODULE(_kalvor, m) {
    m.doc() = "Compiled core of the kalvor package; use the names of kalvor itself.";
    CInterpreterExit::Install();
    // Both belong to the package: kalvor.ParameterError, kalvor.RunStopped.
    const auto parameterError =
        py::register_exception<CParameterError>(m, "ParameterError", PyExc_ValueError);
    parameterError.attr("__module__") = "kalvor";
    parameterError.attr("__doc__") = "A parameter value, file or setting was refused.";
    const auto runStopped =
        py::register_exception<CRunStopped>(m, "RunStopped", PyExc_RuntimeError);
    runStopped.attr("__module__") = "kalvor";
    runStopped.attr("__doc__") = "The calculation stopped: minimum step or a non-finite state.";

    std::vector<std::string> labels(kResultLabels.begin(), kResultLabels.end());
    m.attr("COLUMNS") = py::tuple(py::cast(labels));
    std::vector<std::string> focLabels(kFocLabels.begin(), kFocLabels.end());
    m.attr("FOC_COLUMNS") = py::tuple(py::cast(focLabels));

    py::class_<CParamSet>(m, "ParamSet")
        .def(py::init<>())
        .def(py::init<const CParamSet&>())
        .def_static("load", &LoadParams, py::arg("path"))
        .def_static("parse", &ParseParams, py::arg("text"), py::arg("source"))
        .def(
            "save",
            [](const CParamSet& set, const std::string& strPath) {
                Check(WriteParamFile(strPath, set));
            },
            py::arg("path"))
        .def(
            "apply",
            [](CParamSet& set, const std::string& strAssignment) {
                Check(ApplyOverride(strAssignment, set));
            },
            py::arg("assignment"))
        .def("text", &ParamText)
        .def("get", &FieldValue, py::arg("group"), py::arg("key"))
        .def("plan",
             [](const CParamSet& set) {
                 const CCalcPlan plan = PlanCalculation(set);
                 return py::make_tuple(plan.m_bSwapped, plan.m_refusal);
             })
        .def(py::self == py::self);

    py::class_<CCalcResult>(m, "Outcome")
        .def_property_readonly("status",
                               [](const CCalcResult& r) { return StatusName(r.m_status); })
        .def_readonly("message", &CCalcResult::m_strMessage)
        .def_readonly("detail", &CCalcResult::m_strDetail)
        .def_readonly("rows", &CCalcResult::m_nRows)
        .def_property_readonly("table", &ResultTable)
        .def_property_readonly("foc_table", &FocTable)
        .def_property_readonly("events", &Events)
        .def_property_readonly("energy", &Energy)
        .def_property_readonly("device_peaks", &DevicePeaks);

    m.def("calculate", &RunCalculation, py::arg("params"), py::arg("progress") = py::none());
    m.def("diag", &Diagram, py::arg("kind"), py::arg("params"));
    m.def("tables", &ConstantTables);
    m.def("dft", &Spectrum, py::arg("samples"), py::arg("nh"));
    m.def("write_file", &WriteFile, py::arg("path"), py::arg("data"));
    m.def("check_destination", &CAtomicFile::CheckDestination, py::arg("path"));
    m.def("parameter_reference", [] {
        py::list entries;
        for (const CParamEntry& e : ParamReference())
            entries.append(py::make_tuple(e.m_strKey, e.m_strMeaning, e.m_strUnit, e.m_strAccepted,
                                          e.m_strDefault));
        return entries;
    });
    BindAtomicFile(m);
    m.attr("VERSION") = KALVOR_VERSION;
}
