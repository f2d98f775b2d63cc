"""Parameter sweeps as Dask tasks: a task carries a batch of cases' overrides, its result their
metrics."""

import contextlib
import itertools
import logging
import math
import sys

from ._metrics import resolve
from ._params import Params
from ._tasks import crashed_entry, local_client, run_cases


# Most cases a sweep or dataset takes: a product of a few short lists can name billions,
# which would fill the memory before the first case runs.
MAX_CASES = 1_000_000


def case_count(cases):
    """How many cases a list of dicts or a dict of lists (their product) names."""
    if isinstance(cases, dict):
        return math.prod(len(values) for values in cases.values())
    return len(cases)


def expand_cases(cases):
    """A list of override dicts from a list of dicts or a dict of lists (their product).

    Raises
    ------
    ValueError
        There are more than MAX_CASES cases.
    """
    count = case_count(cases)
    if count > MAX_CASES:
        raise ValueError(f"cases name {count} cases, more than the {MAX_CASES} a sweep or "
                         "dataset takes; split them into several runs.")
    if isinstance(cases, dict):
        names = list(cases)
        return [dict(zip(names, values)) for values in itertools.product(*cases.values())]
    return [dict(c) for c in cases]


def attempt(case, base_text):
    """(parameters, result, row) of one case: the row's status and message tell a refused or
    stopped case (result None; parameters None when the overrides were refused)."""
    from ._kalvor import ParameterError, RunStopped
    from ._result import prepare, run

    params = None
    try:
        params = prepare(Params.from_text(base_text, "base parameters"), case)
        result = run(params)
    except ParameterError as error:
        return params, None, {"status": "refused", "message": str(error)}
    except RunStopped as error:
        return params, None, {"status": "stopped", "message": str(error)}
    return params, result, {"status": result.status, "message": result.message}


def add_metrics(row, metrics, result):
    """The metrics of result into row; a metric of the user's that fails makes the row's status
    error with its message."""
    try:
        row.update(metrics(result))
    except Exception as error:
        row.update(status="error", message=f"{type(error).__name__}: {error}")


def run_case(case, base_text, metrics, keep=None):
    """Runs one case; a refused or stopped case gives a row with its message, never raises."""
    _, result, row = attempt(case, base_text)
    if result is None:
        return row
    add_metrics(row, metrics, result)
    if keep == "table" and row["status"] != "error":
        row["table"] = result.table.copy()
    return row


class SweepJob:
    """A sweep's work per case on a worker (a class, so that Dask can pickle it)."""

    def __init__(self, metrics, keep):
        self.metrics, self.keep = metrics, keep

    def __call__(self, index, case, base_text):
        return run_case(case, base_text, self.metrics, self.keep)

    @staticmethod
    def crashed(ending):
        """The row of a case whose process died."""
        return crashed_entry(ending)

    @staticmethod
    def pack(items):
        """A batch's rows as they travel to the client: as they are (no arrays but tables)."""
        return items

    @staticmethod
    def unpack(items):
        return items


class _Bar:
    """A text progress bar on stderr."""

    def __init__(self, total, title="sweep", stream=sys.stderr):
        self.total, self.done, self.title, self.stream = total, 0, title, stream

    def step(self):
        self.done += 1
        width = 40
        filled = width * self.done // self.total
        self.stream.write(f"\r{self.title} [{'#' * filled}{'.' * (width - filled)}] "
                          f"{self.done}/{self.total}")
        if self.done == self.total:
            self.stream.write("\n")
        self.stream.flush()


@contextlib.contextmanager
def quiet_logs(quiet):
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


def sweep(base, cases, metrics, client=None, progress=True, keep=None, batch=None):
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
    batch : int, optional
        Cases per Dask task; by default the cases are shared evenly over the worker threads,
        one task each (at most 16 cases a task; set a smaller batch when the cases' run times
        differ widely, so that the workers finish together). The cases of a task run in a
        child process of the worker: a case that crashes or aborts it becomes a row of status
        ``crashed`` naming the signal, and the others are kept. A task whose worker dies is
        rerun; one whose workers die on every try is rerun case by case.

    Returns
    -------
    pandas.DataFrame
        One row per case, in order: the overrides, ``status`` (accepted, step_halved, refused,
        stopped, error, crashed), ``message`` and the metrics.

    Raises
    ------
    RuntimeError
        A script calls it without ``client`` outside ``if __name__ == "__main__":`` (the local
        cluster's worker processes would re-run the script), a worker cannot import the
        package, or the scheduler has no worker.

    Examples
    --------
    >>> df = kalvor.sweep(None, {"control.T": [0, -0.2]}, ["final_speed"])  # doctest: +SKIP
    """
    import pandas

    base = Params() if base is None else base
    case_list = expand_cases(cases)
    fn = resolve(metrics)
    own = client is None
    started = []
    rows = [None] * len(case_list)
    bar = _Bar(len(case_list)) if progress and case_list else None
    interrupted = False
    try:
        if own:
            client, _ = local_client("kalvor.sweep", started)
        for items in run_cases(client, case_list, base.text(), SweepJob(fn, keep), batch=batch):
            for index, row in items:
                rows[index] = row
                if bar:
                    bar.step()
    except KeyboardInterrupt:
        interrupted = True
        raise
    finally:
        # The own cluster's shutdown (after Ctrl-C: every task it drops) is not news to the user.
        with quiet_logs(interrupted or own):
            for own_client, cluster in started:
                own_client.close()
                cluster.close()
    return pandas.DataFrame([{**case, **row} for case, row in zip(case_list, rows)])


def summary(frame):
    """Counts of the statuses of a sweep's rows, for a report line."""
    counts = frame["status"].value_counts() if len(frame) else {}
    return ", ".join(f"{n} {s}" for s, n in counts.items()) or "no cases"


