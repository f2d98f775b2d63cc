#pragma once

#include "DevicePeaks.h"
#include "EnergyLedger.h"
#include "EventLog.h"
#include "FocControl.h"
#include "Gclass.h"
#include "Matrix.h"
#include "Mclass.h"
#include "Protection.h"
#include "Rclass.h"
#include "Uclass.h"

#include <cstdint>
#include <memory>

class IProgressSink;

/// Releases a table of row pointers made by CMatrix::AllocateRows with its sizes.
struct CRowsDeleter {
    std::uint32_t m_nRows = 0;
    std::uint32_t m_nCols = 0;
    void operator()(double** ppRows) const { CMatrix::FreeRows(ppRows, m_nRows, m_nCols); }
};

/// A table of rows owned by the solver.
using RowTable = std::unique_ptr<double*[], CRowsDeleter>;

/// How a run ended.
enum class ERunStatus {
    NotRun,       ///< Run was not called
    Completed,    ///< every output row was stored
    StepTooSmall, ///< a step would have to be halved below the minimum step
    TooMuchWork,  ///< the steps taken exceeded kMaxStepsPerPoint per output point
    NonFinite,    ///< the state took a value that is not finite
    Cancelled,    ///< the user stopped the run
};

/// The simulation engine: integrates M dx/dt = U - R x - omega G x from ts to te with the
/// adaptive trapezoidal method and stores the state table and the 36-column result table at
/// every output point.
class CSolver {
public:
    /// rows output points, cols = n + 1 state-table columns, n states, resCols result columns.
    /// Throws CAllocFailure, holding nothing, when a table or model object cannot be allocated.
    CSolver(std::uint32_t rows, std::uint32_t cols, int n, std::uint32_t resCols);
    virtual ~CSolver() = default;
    CSolver(const CSolver&) = delete;
    CSolver& operator=(const CSolver&) = delete;

    /// A step is never halved more than this many times below the output interval.
    static constexpr int kMaxHalvings = 20;
    /// A run stops when its steps exceed this many per output point: on average every output
    /// interval halved 14 times, a state that converges only at steps near the minimum (a run
    /// that would otherwise take a thousand times its planned work and more).
    static constexpr std::int64_t kMaxStepsPerPoint = 16384;

    /// Runs the whole simulation from ts to te (ts < te) with the initial state x0 (n values);
    /// needs at least 2 rows, otherwise returns NotRun without touching anything. Stores state
    /// row 0 and result row 0 from x0, then every m_nEvery-th output point and the last; the
    /// points between are computed the same way, so a stored row does not depend on
    /// m_nEvery. Stops with StepTooSmall when a
    /// step would have to be halved more than kMaxHalvings times, with TooMuchWork when the
    /// steps exceed kMaxStepsPerPoint per output point, with NonFinite when an
    /// accepted state holds a value that is not finite, with Cancelled when the progress sink
    /// asks; the rows after the stop are not filled. Allocates nothing inside the step loop.
    /// m_events receives the onset and clearing of the failure codes that act in the
    /// condition and every trip of m_protection.
    ERunStatus Run(double ts, double te, const double* x0);
    /// Fills result row k (1 <= k < rows) and coil-flux row k from state rows k and k-1 and
    /// result row k-1.
    void CalcResultRow(std::uint32_t k);
    /// Fills the result row T1 and the coil-flux row pFlux of an output point from its state
    /// row P1 and the previous point's rows P0 and T0. When T0 is result row 0, its flux
    /// columns take the values of T1.
    void CalcResultRow(const double* P1, const double* P0, double* T1, double* T0, double* pFlux);
    /// Output points stored when only every nEvery-th of nPoints points is kept, the first
    /// and the last always.
    static std::uint32_t StoredRows(std::uint32_t nPoints, std::uint32_t nEvery);
    /// Makes the run compute nPoints output points and store every nEvery-th (the first and
    /// the last always). False, changing nothing, when the tables do not have StoredRows rows.
    bool SetStoring(std::uint32_t nPoints, std::uint32_t nEvery);
    /// Makes the run use field-oriented control with these settings (in condition index 0
    /// with space-vector PWM) and keep the kFocColumns columns per stored row in m_ppFocTab.
    void EnableFoc(const CFocSettings& settings);
    /// Whether the run uses field-oriented control.
    bool UsesFoc() const { return m_ppFocTab != nullptr; }

    RowTable m_pFluxTab;                 ///< flux linkage of the 18 coils per output row [Wb]
    int m_nStepCount;                    ///< integration steps attempted
    RowTable m_ppResTab;                 ///< result table, m_nRows x m_nResCols
    std::unique_ptr<CMatrix> m_pRes;     ///< state table: column 0 time, column i+1 x[i]
    std::unique_ptr<CMclass> m_pMObject; ///< inductance matrix M
    std::unique_ptr<CUclass> m_pUObject; ///< source vector U
    std::unique_ptr<CRclass> m_pRObject; ///< resistance matrix R with the control
    std::unique_ptr<CGclass> m_pGObject; ///< matrix G, torque and magnet flux
    IProgressSink* m_pProgress;          ///< simulated time done, 0..kProgressScale; may be null
    std::uint32_t m_nResCols;            ///< result columns (36)
    int m_nSize;                         ///< n (16)
    std::uint32_t m_nRows;               ///< rows of both tables (the stored output points)
    std::uint32_t m_nPoints;             ///< output points of the run, m_nRows unless SetStoring
    std::uint32_t m_nEvery;              ///< every m_nEvery-th output point is stored
    std::uint32_t m_nCols;               ///< state-table columns (17)
    double m_dStopTime;                  ///< start of the step at which the run stopped [s]
    int m_nBadState;                     ///< index of the first non-finite state value, -1 if none
    double m_adPhaseL[18][3]; ///< per coil, the sums of its inductances to each phase [H]
    bool m_bPhaseLValid;      ///< m_adPhaseL holds this run's values (kept while m_nNh = 0)
    CProtection m_protection; ///< trips and safe state; acts in condition index 0 only
    CEventLog m_events;       ///< fault onsets and clearings and trips of the last run
    /// Steps end on every commanded switching instant and on the devices' threshold
    /// crossings, the corrector iterates to each state's own tolerance, and column Te holds
    /// the torque of the row's state. False: the specified fixed step grid.
    bool m_bExact = false;
    int m_nHalvings = 0;        ///< steps repeated with half their length in the run
    CEnergyLedger m_energy;     ///< energy by kind of the last run (kept in exact mode)
    CDevicePeaks m_peaks;       ///< largest instantaneous device currents (kept in exact mode)
    CFocSettings m_focSettings; ///< settings of field-oriented control (when enabled)
    RowTable m_ppFocTab;        ///< id, iq, id*, iq*, ud*, uq* per stored row; null: scalar
    std::unique_ptr<CFocControl> m_pFoc; ///< the field-oriented controller of the last run
};
