"""Running a calculation and its result."""

import warnings

import numpy as np

from . import _kalvor
from ._kalvor import ParameterError, RunStopped
from ._params import Params

COLUMNS = _kalvor.COLUMNS
# "Ia [A]" -> "Ia": the names r["Ia"] accepts besides the labels.
_SHORT = {label.split(" [")[0]: i for i, label in enumerate(COLUMNS)}
_SHORT.update({label: i for i, label in enumerate(COLUMNS)})


class Result:
    """One calculation's result table and status.

    Attributes
    ----------
    table : numpy.ndarray
        rows x 36 float64, a view of the engine's table (read-only in spirit: it is the
        engine's memory, kept alive by this object).
    columns : tuple of str
        The 36 column labels, as the CSV header writes them.
    status : str
        ``"accepted"``, or ``"step_halved"`` when a step had to be halved.
    message : str
        The system's text for the status ("Set smaller calculation step!"), empty when accepted.
    params : Params
        The parameters the run used.
    """

    def __init__(self, outcome, params):
        self._outcome = outcome
        self.table = outcome.table
        self.columns = COLUMNS
        self.status = outcome.status
        self.message = outcome.message
        self.params = params

    def __getitem__(self, name):
        """The column named by its label ("Ia [A]") or its symbol ("Ia")."""
        try:
            return self.table[:, _SHORT[name]]
        except KeyError:
            raise KeyError(f"{name!r} is not a column; the columns are {', '.join(COLUMNS)}")

    @property
    def t(self):
        """The time column [s]."""
        return self.table[:, 0]

    def to_pandas(self):
        """The table as a pandas DataFrame with the column labels (shares the memory)."""
        import pandas

        return pandas.DataFrame(self.table, columns=list(COLUMNS), copy=False)

    def __getstate__(self):
        """Pickled with a copy of the table: the engine's block stays in this process."""
        state = {k: v for k, v in self.__dict__.items() if k != "_outcome"}
        state["table"] = np.array(self.table)
        return state

    def __setstate__(self, state):
        self.__dict__.update(state)
        self._outcome = None

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
