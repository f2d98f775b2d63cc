"""Parameter sweeps as Dask tasks: a task carries a case's overrides, its result the metrics."""

import contextlib
import itertools
import logging
import os
import signal
import sys

from ._metrics import resolve
from ._params import Params


def expand_cases(cases):
    """A list of override dicts from a list of dicts or a dict of lists (their product)."""
    if isinstance(cases, dict):
        names = list(cases)
        return [dict(zip(names, values)) for values in itertools.product(*cases.values())]
    return [dict(c) for c in cases]


def run_case(case, base_text, metrics, keep=None):
    """Runs one case; a refused or stopped case gives a row with its message, never raises."""
    from ._kalvor import ParameterError, RunStopped
    from ._result import run

    row = {"status": "", "message": ""}
    try:
        result = run(Params.from_text(base_text, "base parameters"), **case)
        values = metrics(result)
    except ParameterError as error:
        row.update(status="refused", message=str(error))
        return row
    except RunStopped as error:
        row.update(status="stopped", message=str(error))
        return row
    except Exception as error:  # a metric of the user's that fails is that case's row
        row.update(status="error", message=f"{type(error).__name__}: {error}")
        return row
    row.update(status=result.status, message=result.message)
    row.update(values)
    if keep == "table":
        row["table"] = result.table.copy()
    return row


class _Bar:
    """A text progress bar on stderr."""

    def __init__(self, total, stream=sys.stderr):
        self.total, self.done, self.stream = total, 0, stream

    def step(self):
        self.done += 1
        width = 40
        filled = width * self.done // self.total
        self.stream.write(f"\rsweep [{'#' * filled}{'.' * (width - filled)}] "
                          f"{self.done}/{self.total}")
        if self.done == self.total:
            self.stream.write("\n")
        self.stream.flush()


@contextlib.contextmanager
def _quiet_logs(quiet):
    """Silences Dask's and asyncio's log while the block runs, when quiet."""
    loggers = [logging.getLogger(name) for name in ("distributed", "asyncio")] if quiet else []
    levels = [logger.level for logger in loggers]
    for logger in loggers:
        logger.setLevel(logging.CRITICAL + 1)
    try:
        yield
    finally:
        for logger, level in zip(loggers, levels):
            logger.setLevel(level)


def _local_client():
    from distributed import Client, LocalCluster

    # Ctrl-C is the caller's to handle: the worker processes, in the same process group, are
    # started with SIGINT blocked (kept across exec), so they do not each print a traceback.
    # Here it waits until the cluster is up.
    previous = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
    try:
        cluster = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1,
                               processes=True, dashboard_address=":0")
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)
    return Client(cluster), cluster


def sweep(base, cases, metrics, client=None, progress=True, keep=None):
    """Runs every case as a Dask task and collects one row per case.

    Parameters
    ----------
    base : Params or None
        The parameters every case starts from (the defaults when None).
    cases : list of dict or dict of lists
        Overrides per case (``{"control.T": -0.5}``), or lists of values per name whose
        product gives the cases.
    metrics : callable, str or list of str
        A callable Result -> dict of numbers, or names of :data:`kalvor.METRICS`.
    client : distributed.Client, optional
        Where the tasks run; None starts a LocalCluster with one worker process per core
        and closes it afterwards.
    progress : bool
        Draw a progress bar on stderr.
    keep : {None, "table"}
        ``"table"`` also returns each case's result table (column ``table``).

    Returns
    -------
    pandas.DataFrame
        One row per case, in order: the overrides, ``status`` (accepted, step_halved, refused,
        stopped, error), ``message`` and the metrics.

    Examples
    --------
    >>> df = kalvor.sweep(None, {"control.T": [0, -0.2]}, ["final_speed"])  # doctest: +SKIP
    """
    import pandas
    from distributed import as_completed

    base = Params() if base is None else base
    case_list = expand_cases(cases)
    fn = resolve(metrics)
    own = client is None
    cluster = None
    if own:
        client, cluster = _local_client()
    interrupted = False
    try:
        futures = client.map(run_case, case_list, base_text=base.text(), metrics=fn, keep=keep,
                             pure=False)
        if progress and case_list:
            bar = _Bar(len(futures))
            for _ in as_completed(futures):
                bar.step()
        rows = client.gather(futures)
    except KeyboardInterrupt:
        interrupted = True
        raise
    finally:
        # After Ctrl-C the cluster's shutdown reports every task it drops: not news to the user.
        with _quiet_logs(interrupted):
            if own:
                client.close()
                cluster.close()
    frame = pandas.DataFrame([{**case, **row} for case, row in zip(case_list, rows)])
    return frame


def summary(frame):
    """Counts of the statuses of a sweep's rows, for a report line."""
    counts = frame["status"].value_counts() if len(frame) else {}
    return ", ".join(f"{n} {s}" for s, n in counts.items()) or "no cases"


