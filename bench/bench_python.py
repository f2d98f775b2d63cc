#!/usr/bin/python3
"""The Python package's three performance figures, as ratios measured in one run.

Usage: PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py [repetitions]

1. Overhead of kalvor.run over Calculate called through the compiled module in the same
   process (best of the repetitions, interleaved), and whether .table is a view of the
   engine's block.
2. Eight default runs on two threads against one thread (the GIL is released).
3. A sweep of 32 default runs on a LocalCluster of 2 worker processes against the serial loop,
   and a dataset of the same runs (HDF5, default columns) against a serial loop that writes the
   same columns with h5py; each three times.
"""

import os
import statistics
import sys
import tempfile
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
        # Calculate through the compiled module alone: no Params copy, no Result wrapper.
        start = time.perf_counter()
        _kalvor.calculate(p._set)
        core.append(time.perf_counter() - start)
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


def serial_dataset(cases, path):
    import h5py

    from kalvor._dataset import DEFAULT_COLUMNS, find_column

    with h5py.File(path, "w") as f:
        for i, case in enumerate(cases):
            r = kalvor.run(**case)
            group = f.create_group(f"cases/{i:06d}")
            for name in DEFAULT_COLUMNS:
                group.create_dataset(name, data=find_column(r, name)[0])


def _cpu():
    """CPU time of this process and its waited-for children [s]."""
    import resource

    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def cluster_cpu(client):
    """CPU time of the client (with the scheduler) and of every worker process [s]."""
    return _cpu() + sum(client.run(_cpu).values())


def report(what, k, serial, serial_cpu, dask, dask_cpu):
    """Wall-time ratio, and the CPU the cluster spent (client, scheduler, nannies, workers) per
    CPU second of the serial loop. On a loaded machine whose scheduler shares the CPU per
    session (autogroup) the wall ratio stays near 1 whatever the cluster does; the CPU ratio
    shows its overhead (which includes the idle event loops of every process over the wall
    time, so it too grows with the load)."""
    ratio = serial / dask
    print(f"{what} {k + 1}: {RUNS_SWEEP} runs serial {serial:.2f} s ({serial_cpu:.2f} s CPU), "
          f"LocalCluster of 2 workers {dask:.2f} s ({dask_cpu:.2f} s CPU): {ratio:.2f}x "
          f"(target >= 1.8: {'met' if ratio >= 1.8 else 'missed'}); cluster CPU "
          f"{dask_cpu / serial_cpu:.2f}x the serial loop's")


def sweep(rounds=3):
    from distributed import Client, LocalCluster

    cases = [{"control.T": 0.0}] * RUNS_SWEEP
    metrics = ["final_speed", "mean_torque", "peak_current"]
    fn = kalvor._metrics.resolve(metrics)
    folder = tempfile.mkdtemp(prefix="bench_python")
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=":0") as cluster, Client(cluster) as client:
        kalvor.sweep(None, cases[:4], metrics, client=client, progress=False)  # warm workers
        for k in range(rounds):
            start, cpu = time.perf_counter(), _cpu()
            for case in cases:
                fn(kalvor.run(**case))
            serial, serial_cpu = time.perf_counter() - start, _cpu() - cpu
            start, cpu = time.perf_counter(), cluster_cpu(client)
            frame = kalvor.sweep(None, cases, metrics, client=client, progress=False)
            dask, dask_cpu = time.perf_counter() - start, cluster_cpu(client) - cpu
            assert (frame["status"] == "accepted").all()
            report("sweep", k, serial, serial_cpu, dask, dask_cpu)
        for k in range(rounds):
            start, cpu = time.perf_counter(), _cpu()
            serial_dataset(cases, os.path.join(folder, "serial.h5"))
            serial, serial_cpu = time.perf_counter() - start, _cpu() - cpu
            out = os.path.join(folder, f"dask{k}.h5")
            start, cpu = time.perf_counter(), cluster_cpu(client)
            table = kalvor.dataset(None, cases, out, client=client, progress=False)
            dask, dask_cpu = time.perf_counter() - start, cluster_cpu(client) - cpu
            assert (table["status"] == "accepted").all()
            report("dataset", k, serial, serial_cpu, dask, dask_cpu)
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    os.rmdir(folder)


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 30
    overhead(repetitions)
    threads(repetitions)
    sweep()


if __name__ == "__main__":
    main()
