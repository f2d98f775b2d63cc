"""Cases as Dask tasks: batched, retried one by one when a batch's worker dies, and a clear
message instead of a wait that never ends when the cluster cannot run them."""

import ast
import math
import os
import queue
import sys
import threading
import time

from ._files import fork_writer, how_ended

# Batches per worker thread of a tapered plan (see tapered_batches).
BATCHES_PER_THREAD = 2
# Most cases per task by default: enough to make a task's cost small against default runs of
# about 25 ms, few enough that a lost task costs little. A task costs the cores a few ms in
# Dask's machinery (client, scheduler, worker), taken from the runs on a small machine.
MAX_BATCH = 16
# Pipe buffer for a forked child's entries [bytes]: a dataset case's arrays pass in a few
# writes instead of many small ones, each waiting for the worker to read (at most Linux's
# default limit for unprivileged processes).
PIPE_BYTES = 1 << 20
# Longest wait for a scheduler's first worker [s].
WORKER_WAIT = 60
# What a worker evaluates to show it can import the package (a builtin, so the probe itself
# needs nothing on the worker).
_PROBE = "__import__('kalvor').__version__"

CRASHED = "crashed"
# Cases run in a forked child where the system can fork (see run_batch).
ISOLATE = hasattr(os, "fork")


def batches(indices, size):
    """Consecutive slices of the list indices, each of at most size items."""
    return [indices[k:k + size] for k in range(0, len(indices), size)]


def shared_batches(indices, n_threads, limit=MAX_BATCH):
    """The list indices in consecutive slices of nearly equal size: one per worker thread, or
    as many as keep them at most limit long. As few tasks as keep every thread busy: on even
    cases more tasks cost more than an uneven end does."""
    if not indices:
        return []
    n_tasks = max(min(len(indices), max(1, n_threads)), math.ceil(len(indices) / limit))
    quotient, remainder = divmod(len(indices), n_tasks)
    out, k = [], 0
    for task in range(n_tasks):
        take = quotient + (task < remainder)
        out.append(indices[k:k + take])
        k += take
    return out


def tapered_batches(indices, limit, n_threads):
    """Consecutive slices of the list indices that shrink towards the end: each takes its share
    of what is left (BATCHES_PER_THREAD per worker thread), at most the first one's size (1 to
    limit) and at least a quarter of it. For results the client spends time on: small last
    batches leave it little to handle once the workers are done."""
    share = BATCHES_PER_THREAD * max(1, n_threads)
    size = max(1, min(limit, len(indices) // share))
    out, k = [], 0
    floor = max(1, size // 4)
    while k < len(indices):
        take = min(size, max(floor, math.ceil((len(indices) - k) / share)))
        out.append(indices[k:k + take])
        k += take
    return out


def run_batch(indices, cases, base_text, job):
    """Runs job(index, overrides, base_text) for every case of a batch on a worker and returns
    job.pack of the list of (index, entry) (job.unpack gives it back on the client);
    job.crashed(ending) is the entry of a case whose process died.

    Where the system can fork, the cases run in a child process that sends each entry back as
    it is done: a case that crashes or aborts that process becomes a crashed entry naming the
    signal, the cases before it are kept and the rest go on in a new child, and the worker
    itself (and what Dask holds on it) never dies.
    """
    todo = list(zip(indices, cases))
    if not ISOLATE:
        return job.pack([(i, job(i, case, base_text)) for i, case in todo])
    out = []
    while todo:
        got, ending = _run_in_child(todo, base_text, job)
        out.extend(got)
        todo = todo[len(got):]
        if todo:
            index, _ = todo.pop(0)
            out.append((index, job.crashed(ending)))
    return job.pack(out)


def _run_in_child(todo, base_text, job):
    """The (index, entry) a forked child sent for todo, and how it ended when it sent fewer."""
    import pickle

    def work(pipe):
        _widen(pipe.fileno())
        parent = os.getppid()
        for index, case in todo:
            if os.getppid() != parent:  # the worker is gone: nobody reads
                break
            pickle.dump((index, job(index, case, base_text)), pipe,
                        protocol=pickle.HIGHEST_PROTOCOL)
            pipe.flush()

    # job turns every error of a case into its entry: an exit status of 70 is the child's own
    pid, read_end = fork_writer(work)
    got = []
    with os.fdopen(read_end, "rb") as pipe:
        while True:
            try:
                got.append(pickle.load(pipe))
            except EOFError:
                break
            except pickle.UnpicklingError:  # cut short by the child's death
                break
    _, status = os.waitpid(pid, 0)
    return got, how_ended(status)


def _widen(fd):
    """A larger buffer for the pipe of fd, where the system allows it."""
    try:
        import fcntl

        fcntl.fcntl(fd, fcntl.F_SETPIPE_SZ, PIPE_BYTES)
    except (ImportError, AttributeError, OSError):
        pass  # the default buffer works, with more round trips


class GuardMissing(RuntimeError):
    """A script starts a local cluster outside ``if __name__ == "__main__":``."""


def _guarded(path, line):
    """Whether the statement at line of the script at path lies inside an
    ``if __name__ == "__main__":`` block (any test that compares __name__ with "__main__")."""
    try:
        with open(path, encoding="utf-8") as f:
            tree = ast.parse(f.read(), path)
    except (OSError, SyntaxError, ValueError):
        return True  # nothing to go on: let it start

    def tests_main(test):
        names = {n.id for n in ast.walk(test) if isinstance(n, ast.Name)}
        texts = {n.value for n in ast.walk(test) if isinstance(n, ast.Constant)}
        return "__name__" in names and "__main__" in texts

    for node in ast.walk(tree):
        if isinstance(node, ast.If) and tests_main(node.test):
            last = max(getattr(n, "end_lineno", n.lineno) for n in node.body)
            if node.body[0].lineno <= line <= last:
                return True
    return False


def check_main_guard(what):
    """Raises GuardMissing when a local cluster would be started by a script's top-level code
    outside the ``__main__`` guard: its spawned worker processes re-run the script and never
    start (or, in such a worker process, stops the re-run at once)."""
    frame = sys._getframe(1)
    while frame is not None:
        if frame.f_code.co_name == "<module>":
            name = frame.f_globals.get("__name__")
            path = frame.f_globals.get("__file__")
            if name == "__mp_main__" or (name == "__main__" and path and
                                         not _guarded(path, frame.f_lineno)):
                script = os.path.basename(path or "the script")
                raise GuardMissing(
                    f"{what} starts a local Dask cluster whose worker processes re-run "
                    f"{script}: put the script's code under 'if __name__ == \"__main__\":' "
                    f"({script}, line {frame.f_lineno}), or pass client= a running cluster's "
                    "Client.")
        frame = frame.f_back


def local_client(what, started=None):
    """A LocalCluster of one single-threaded worker process per core and its Client. With
    started, a list, (client, cluster) is also appended to it before Ctrl-C can come again, so
    that the caller can close them whenever it comes."""
    import signal
    import threading

    check_main_guard(what)
    from distributed import Client, LocalCluster

    # Ctrl-C is the caller's to handle: the worker processes, in the same process group, are
    # started with SIGINT ignored (kept across exec, unlike a blocked signal, which the spawned
    # processes unblock), so they do not each print a traceback. A Ctrl-C during the few
    # seconds of the start is therefore lost; none can come between the start and the return.
    main_thread = threading.current_thread() is threading.main_thread()
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN) if main_thread else None
    try:
        cluster = LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1,
                               processes=True, dashboard_address=":0")
        pair = Client(cluster), cluster
        if started is not None:
            started.append(pair)
        return pair
    finally:
        if main_thread:
            signal.signal(signal.SIGINT, previous)


def check_workers(client, timeout=WORKER_WAIT):
    """The number of worker threads, once every worker has shown it imports the package.

    Raises RuntimeError naming the worker and what to do when one cannot, or when the
    scheduler has no worker within timeout seconds. Called before any task: a worker running
    one may die of it, and its answer would be a closed connection, not the package's absence.
    """
    address = getattr(client.scheduler, "address", "the scheduler")
    try:
        client.wait_for_workers(1, timeout=timeout)
    except TimeoutError:
        raise RuntimeError(f"{address} has no worker after {timeout} s: start workers with "
                           "dask-worker (the package on their PYTHONPATH).") from None
    answers = client.run(eval, _PROBE, on_error="return")
    for worker, answer in sorted(answers.items()):
        if isinstance(answer, BaseException):
            raise RuntimeError(
                f"worker {worker} cannot import the kalvor package ({type(answer).__name__}: "
                f"{answer}): start the workers with the package on their PYTHONPATH "
                "(PYTHONPATH=/path/to/build/python dask-worker ...) or install it there.")
    workers = client.scheduler_info()["workers"].values()
    return sum(w.get("nthreads", 1) for w in workers) or 1


def crashed_entry(ending):
    """The status and message of a case whose process died: ending says how (a signal, or
    Dask's KilledWorker when its worker died on every try)."""
    if isinstance(ending, BaseException):
        ending = f"{type(ending).__name__}: its worker process died on every try"
    return {"status": CRASHED,
            "message": f"the process running this case died ({ending}): a crash or abort in the "
                       "engine or in a metric or labels function"}


def run_cases(client, cases, base_text, job, batch=None, done=None, limit=MAX_BATCH,
              taper=False, tick=None):
    """Runs job over the cases on client in batches and yields the list of (index, entry) of
    each batch as it arrives.

    A worker that dies takes its tasks with it and Dask reruns them; a task whose workers died
    on every try (Dask's KilledWorker) may only have shared a worker with the case that kills
    it, so its cases are run again one at a time once everything else is done, and only a case
    that fails alone becomes job.crashed(error). Cases whose index is in done are skipped. batch:
    cases per task; by default from the case count and the worker threads, at most limit, and
    with taper the last tasks smaller. With tick [s], an empty list comes whenever nothing has
    arrived for that long.
    """
    done = set() if done is None else done
    todo = [i for i in range(len(cases)) if i not in done]
    if not todo:
        return
    if batch is not None and batch < 1:
        raise ValueError(f"batch {batch} is not accepted: enter a number of cases of 1 or more.")
    threads = check_workers(client)

    def submit(indices):
        return client.submit(run_batch, indices, [cases[i] for i in indices], base_text, job,
                             pure=False)

    if batch is not None:
        plan = batches(todo, batch)
    elif taper:
        plan = tapered_batches(todo, limit, threads)
    else:
        plan = shared_batches(todo, threads, limit)
    fetcher = _Fetcher(client, {submit(indices): indices for indices in plan})
    suspects = []
    try:
        while (got := fetcher.get(timeout=tick)) is not None:
            kind, value = got
            if kind == "lost":
                suspects.extend(value)
            elif kind == "items":
                yield job.unpack(value)
            else:  # none after tick seconds without any
                yield value
    finally:
        fetcher.close()
    for i in sorted(suspects):
        single = {submit([i]): [i]}
        (future,) = _first_done(client, single)
        try:
            items = job.unpack(future.result())
        except Exception as error:  # the worker died on every try: the case's own fault
            items = [(i, job.crashed(error))]
        future.release()
        yield items


class _Fetcher:
    """Fetches the results of finished tasks in a thread of its own while the caller handles
    earlier ones, so that a result's transfer (several round trips, each waiting for a busy
    process to be scheduled) overlaps the caller's work; at most AHEAD fetched results wait.

    get() returns ("items", list of (index, entry)), ("lost", indices) for a task whose workers
    died on every try, ("idle", []) when nothing came within its timeout, or None once every
    task is handled; it raises what stopped the thread (a cluster without workers).
    """

    AHEAD = 1
    POLL = 0.5  # [s] how soon the thread notices close()

    def __init__(self, client, pending):
        self._client, self._pending = client, pending
        self._queue = queue.Queue(maxsize=self.AHEAD)
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, name="kalvor-fetch", daemon=True)
        self._thread.start()

    def _run(self):
        try:
            while self._pending and not self._stop.is_set():
                for future in _first_done(self._client, self._pending, self.POLL, self._stop):
                    indices = self._pending.pop(future)
                    if future.status == "finished":
                        got = ("items", future.result())
                    else:
                        got = ("lost", indices)
                    future.release()
                    self._put(got)
            self._put(None)
        except BaseException as error:  # handed to the caller's thread
            self._put(("error", error))

    def _put(self, item):
        while not self._stop.is_set():
            try:
                self._queue.put(item, timeout=self.POLL)
                return
            except queue.Full:
                continue

    def get(self, timeout=None):
        """The next result; ("idle", []) when none came within timeout seconds."""
        try:
            item = self._queue.get(timeout=timeout)
        except queue.Empty:
            return ("idle", [])
        if item is not None and item[0] == "error":
            raise item[1]
        return item

    def close(self):
        """Stops the thread (the caller stopped early, or every task is handled)."""
        self._stop.set()
        self._thread.join(timeout=10 * self.POLL)


def _first_done(client, futures, poll=5.0, stop=None):
    """The futures that are done, once at least one is (none once stop is set); RuntimeError
    when the cluster has had no worker for WORKER_WAIT seconds (the cases would wait for
    good)."""
    from distributed import wait

    lost_since = None
    while stop is None or not stop.is_set():
        try:
            done, _ = wait(list(futures), timeout=poll, return_when="FIRST_COMPLETED")
        except TimeoutError:
            done = ()
        if done:
            return list(done)
        if client.scheduler_info().get("workers"):
            lost_since = None
            continue
        lost_since = lost_since or time.monotonic()
        if time.monotonic() - lost_since > WORKER_WAIT:
            raise RuntimeError(f"the cluster has had no worker for {WORKER_WAIT} s (its workers "
                               "died and were not restarted): finished cases are kept; start "
                               "workers, or run again.")
    return []
