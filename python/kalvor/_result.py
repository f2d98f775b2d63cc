"""Running a calculation and its result."""

import warnings

import numpy as np

from . import _kalvor
from ._kalvor import ParameterError, RunStopped
from ._params import Params

COLUMNS = _kalvor.COLUMNS
# A field-oriented run's columns after the 36: measured id, iq, the references id*, iq* and
# the voltage references ud*, uq*.
FOC_COLUMNS = _kalvor.FOC_COLUMNS


def _names(labels):
    # "Ia [A]" -> "Ia": the names r["Ia"] accepts besides the labels.
    names = {label.split(" [")[0]: i for i, label in enumerate(labels)}
    names.update({label: i for i, label in enumerate(labels)})
    return names


_SHORT = _names(COLUMNS)
_FOC_SHORT = _names(FOC_COLUMNS)
# Kinds of the event log that are protection trips.
TRIP_KINDS = ("overcurrent", "desaturation", "overvoltage")


class Result:
    """One calculation's result table and status.

    Attributes
    ----------
    table : numpy.ndarray
        rows x 36 float64, a view of the engine's table (read-only in spirit: it is the
        engine's memory, kept alive by this object).
    columns : tuple of str
        The column labels, as the CSV header writes them: the 36 of the table, and for a
        field-oriented run (``control.Scheme`` 1) the six of ``foc_table`` after them.
    foc_table : numpy.ndarray or None
        rows x 6 float64 of a field-oriented run: "id [A]", "iq [A]", "id* [A]", "iq* [A]",
        "ud* [V]", "uq* [V]" (measured dq currents of each row, the controller's references of
        its last sample); None for the scalar scheme.
    status : str
        ``"accepted"``, or ``"step_halved"`` when a step had to be halved.
    message : str
        The system's text for the status ("Set smaller calculation step!"), empty when accepted.
    params : Params
        The parameters the run used.
    events : list of dict
        The run's event log, oldest first: one dict per event with the keys ``"t"`` (time
        [s]), ``"kind"`` (``"fault_onset"``, ``"fault_clear"``, ``"overcurrent"``,
        ``"desaturation"`` or ``"overvoltage"``), ``"source"`` (the device or quantity:
        ``"T4"``, ``"D1"``, ``"ia"``, ``"Uc"``) and ``"value"`` (a fault's failure code, a
        trip's measured current [A] or voltage [V]); the same records as ``kalvor-cli run
        --events`` writes. ``pandas.DataFrame(r.events, columns=["t", "kind", "source",
        "value"])`` makes a table of them.
    energy : dict or None
        The energy ledger of an exact run (``time.Exact``), in joules: ``"source"`` (the DC
        source and the sine supply), ``"load"`` (work of the external torque T), ``"resistive"``
        (branch, device and coil resistances), ``"damping"``, the stored energies
        ``"capacitor_start"``, ``"magnetic_start"``, ``"kinetic_start"`` and the same with
        ``_end``, ``"residual"`` (delivered minus lost minus the change of the stored) and
        ``"relative_residual"`` (over the delivered); None in the default mode.
    device_peaks : dict or None
        The largest instantaneous current of each device of an exact run, with its sign and
        time: ``{"T1": (current [A], time [s]), ..., "D6": ...}`` (the device columns are
        means over an output interval, which average a peak shorter than it); None in the
        default mode.
    """

    def __init__(self, outcome, params):
        self._outcome = outcome
        self.table = outcome.table
        self.foc_table = outcome.foc_table
        self.columns = COLUMNS if self.foc_table is None else COLUMNS + FOC_COLUMNS
        self.status = outcome.status
        self.message = outcome.message
        self.params = params
        self.events = outcome.events
        self.energy = outcome.energy
        self.device_peaks = outcome.device_peaks

    def __getitem__(self, name):
        """The column named by its label ("Ia [A]", "iq [A]") or its symbol ("Ia", "iq")."""
        if name in _SHORT:
            return self.table[:, _SHORT[name]]
        if self.foc_table is not None and name in _FOC_SHORT:
            return self.foc_table[:, _FOC_SHORT[name]]
        if name in _FOC_SHORT:
            raise KeyError(f"{name!r} is a column of field-oriented runs (control.Scheme 1) only")
        raise KeyError(f"{name!r} is not a column; the columns are {', '.join(self.columns)}")

    @property
    def t(self):
        """The time column [s]."""
        return self.table[:, 0]

    def to_pandas(self):
        """The table as a pandas DataFrame with the column labels (shares the memory)."""
        import pandas

        frame = pandas.DataFrame(self.table, columns=list(COLUMNS), copy=False)
        if self.foc_table is not None:
            dq = pandas.DataFrame(self.foc_table, columns=list(FOC_COLUMNS), copy=False)
            frame = pandas.concat([frame, dq], axis=1)
        return frame

    def __getstate__(self):
        """Pickled with copies of the tables: the engine's blocks stay in this process."""
        state = {k: v for k, v in self.__dict__.items() if k != "_outcome"}
        state["table"] = np.array(self.table)
        if self.foc_table is not None:
            state["foc_table"] = np.array(self.foc_table)
        return state

    def __setstate__(self, state):
        self.__dict__.update(state)
        self._outcome = None

    @property
    def trips(self):
        """The events of the log that are protection trips (the first is what tripped)."""
        return [e for e in self.events if e["kind"] in TRIP_KINDS]

    def __repr__(self):
        return f"<kalvor.Result {self.status}, {len(self.table)} rows>"


def prepare(params=None, overrides=None):
    """A copy of params (the defaults when None) with the overrides applied."""
    if params is not None and not isinstance(params, Params):
        raise TypeError(
            f"params is a kalvor.Params or None, not {type(params).__name__}; "
            "name single values as keywords: run(Te=0.02)"
        )
    prepared = Params() if params is None else params.copy()
    if overrides:
        prepared.update(overrides)
    return prepared


def run(params=None, progress=None, **overrides):
    """Calculates as the program's Calculate does after "Start!".

    Parameters
    ----------
    params : Params, optional
        The parameter set; the defaults when omitted.
    progress : callable, optional
        Called with the fraction done (0..1), at most about 100 times.
    **overrides
        Values to change in a copy of params, by ``"group.key"`` or bare key:
        ``run(p, Ud=150)``, ``run(p, **{"failures.FailT": [1, 0, 0, 0, 0, 0]})``.

    Returns
    -------
    Result

    Raises
    ------
    ParameterError
        A value or the combination of values is refused (the message names it).
    RunStopped
        The run stopped (minimum step or a state that is not finite); the engine's message.
    KeyboardInterrupt
        Ctrl-C during the run.

    Examples
    --------
    >>> r = kalvor.run(Te=0.02)
    >>> r.status, r.table.shape[1], r.columns[1]
    ('accepted', 36, 'Ia [A]')
    """
    prepared = prepare(params, overrides)
    swapped, refusal = prepared._set.plan()
    # Equal times are refused with their own message; "Tp > Tk?" is for reversed ones.
    if swapped and prepared["time.Ts"] != prepared["time.Te"]:
        warnings.warn("Tp > Tk?", RuntimeWarning, stacklevel=2)
    if refusal is not None:
        raise ParameterError(refusal)
    outcome = _kalvor.calculate(prepared._set, progress)
    if outcome.status in ("accepted", "step_halved"):
        return Result(outcome, prepared)
    text = " ".join(s for s in (outcome.message, outcome.detail) if s)
    if outcome.status == "refused":
        raise ParameterError(text)
    raise RunStopped(text)
