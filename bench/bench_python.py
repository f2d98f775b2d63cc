#!/usr/bin/python3
"""The Python package's three performance figures, as ratios measured in one run.

Usage: PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py [repetitions]

1. Overhead of kalvor.run over Calculate timed inside the same process (best of the
   repetitions, interleaved), and whether .table is a view of the engine's block.
2. Eight default runs on two threads against one thread (the GIL is released).
3. A sweep of 32 default runs on a LocalCluster of 2 worker processes against the serial loop.
"""

import statistics
import sys
import threading
import time

import kalvor
from kalvor import _kalvor

RUNS_THREADS = 8
RUNS_SWEEP = 32


def overhead(repetitions):
    p = kalvor.Params()
    core, py = [], []
    for _ in range(repetitions):
        core.append(_kalvor.time_calculation(p._set))
        start = time.perf_counter()
        r = kalvor.run(p)
        _ = r.table
        py.append(time.perf_counter() - start)
        del r
    view = not r_table_owns_data()
    best = min(py) / min(core) - 1
    typical = statistics.median(py) / statistics.median(core) - 1
    print(f"overhead: Calculate best {min(core) * 1e3:.1f} ms / median "
          f"{statistics.median(core) * 1e3:.1f} ms, kalvor.run best {min(py) * 1e3:.1f} ms / "
          f"median {statistics.median(py) * 1e3:.1f} ms: {best * 100:+.1f} % / "
          f"{typical * 100:+.1f} % (target <= 5 %: {'met' if best <= 0.05 else 'missed'}); "
          f".table is a view: {view}")


def r_table_owns_data():
    r = kalvor.run(**{"time.Te": 0.001})
    return r.table.flags.owndata or r.table.base is not r._outcome


def runs_on_threads(threads):
    p = kalvor.Params()

    def work(n):
        for _ in range(n):
            kalvor.run(p)

    pool = [threading.Thread(target=work, args=(RUNS_THREADS // threads,)) for _ in range(threads)]
    start = time.perf_counter()
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    return time.perf_counter() - start


def threads(repetitions):
    one = min(runs_on_threads(1) for _ in range(max(1, repetitions // 3)))
    two = min(runs_on_threads(2) for _ in range(max(1, repetitions // 3)))
    ratio = one / two
    print(f"threads: {RUNS_THREADS} runs on 1 thread {one:.2f} s, on 2 threads {two:.2f} s, "
          f"{ratio:.2f}x (target >= 1.7: {'met' if ratio >= 1.7 else 'missed'})")


def sweep():
    from distributed import Client, LocalCluster

    cases = [{"control.T": 0.0}] * RUNS_SWEEP
    metrics = ["final_speed", "mean_torque", "peak_current"]
    fn = kalvor._metrics.resolve(metrics)
    start = time.perf_counter()
    for case in cases:
        fn(kalvor.run(**case))
    serial = time.perf_counter() - start
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=":0") as cluster, Client(cluster) as client:
        kalvor.sweep(None, cases[:4], metrics, client=client, progress=False)  # warm workers
        start = time.perf_counter()
        frame = kalvor.sweep(None, cases, metrics, client=client, progress=False)
        dask = time.perf_counter() - start
    assert (frame["status"] == "accepted").all()
    ratio = serial / dask
    print(f"sweep: {RUNS_SWEEP} runs serial {serial:.2f} s, LocalCluster of 2 workers "
          f"{dask:.2f} s, {ratio:.2f}x (target >= 1.7: {'met' if ratio >= 1.7 else 'missed'})")


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    overhead(repetitions)
    threads(repetitions)
    sweep()


if __name__ == "__main__":
    main()
