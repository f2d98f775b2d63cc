"""Kalvor from Python: parameters, calculations as numpy tables, and sweeps on Dask.

Examples
--------
>>> import kalvor
>>> p = kalvor.Params()
>>> p["control.Ud"] = 150
>>> r = kalvor.run(p, Te=0.02)
>>> float(r["omegaR"][-1]) > 0
True
"""

import warnings

from . import _kalvor
from ._kalvor import ParameterError, RunStopped
from ._metrics import METRICS
from ._params import Params
from ._result import COLUMNS, FOC_COLUMNS, Result, run
from ._dataset import DatasetError, dataset, read_table
from ._sweep import sweep

__version__ = _kalvor.VERSION

__all__ = [
    "COLUMNS",
    "DatasetError",
    "FOC_COLUMNS",
    "METRICS",
    "ParameterError",
    "Params",
    "Result",
    "RunStopped",
    "dataset",
    "dft",
    "diag",
    "read_table",
    "run",
    "sweep",
    "tables",
]


def diag(kind, params=None):
    """One of the diagnostic plots, from the settings of its group in params.

    Parameters
    ----------
    kind : {"inductance", "flux", "pwm"}
        Inductance plot (group inductance_plot), excitation-flux plot (flux_plot) or PWM
        voltage plot (voltage_plot).
    params : Params, optional
        The defaults when omitted.

    Returns
    -------
    x, y : numpy.ndarray
        Abscissae (angles [rad] or times [s]) and ordinates, as "Export plot..." writes them.

    Raises
    ------
    ParameterError
        An unknown kind or settings the plot refuses.
    """
    params = Params() if params is None else params
    x, y, _, _, swapped = _kalvor.diag(kind, params._set)
    if swapped and params["voltage_plot.Ts"] != params["voltage_plot.Te"]:
        warnings.warn("Tp > Tk?", RuntimeWarning, stacklevel=2)
    return x, y


def tables():
    """The model's constant data, as ``kalvor-cli tables`` writes it.

    Returns
    -------
    dict
        ``"L0"``, ``"A1"`` ... ``"B3"``: 18 x 18 coil inductance coefficients; ``"flux"``:
        101 x 2, the air-gap flux-density coefficients a_h, b_h of h = 0..100.
    """
    return _kalvor.tables()


def dft(y, nh):
    """Spectrum and THD of samples as the program's DFT command computes them.

    Parameters
    ----------
    y : array_like
        The samples; harmonic k completes k periods over them.
    nh : int
        Highest harmonic returned.

    Returns
    -------
    magnitudes : numpy.ndarray
        Harmonics 0..min(nh, len(y) - 1), magnitude 0 being the mean.
    thd : float
        Total harmonic distortion: harmonics 2..len(y)//2 against harmonic 1; NaN when
        harmonic 1 is zero.

    Raises
    ------
    ParameterError
        Fewer than two samples, or nh below 0.
    """
    nh = int(nh)
    if nh < 0:
        raise ParameterError(f"nh {nh} is not accepted: enter the highest harmonic, 0 or more.")
    return _kalvor.dft(y, nh)
