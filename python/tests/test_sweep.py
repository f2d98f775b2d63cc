"""Sweeps on a local Dask cluster against the serial loop; a refused case stays a row, a case that
kills its worker too; a cluster that cannot run the cases says so at once."""

import json
import math
import os
import pickle
import signal
import subprocess
import sys
import time

import numpy as np
import pandas as pd
import pytest

import kalvor

distributed = pytest.importorskip("distributed")

CASES = [{"control.T": 0.0}, {"control.T": -0.1, "failures.FailT": [2, 0, 0, 0, 0, 0]},
         {"control.T": -0.1, "motor.J": 0}, {"control.T": 0.1, "control.Ud": 180.0}]
METRICS = list(kalvor.METRICS)


def serial(base):
    rows = []
    for case in CASES:
        try:
            r = kalvor.run(base, **case)
        except kalvor.ParameterError as error:
            rows.append({"status": "refused", "message": str(error)})
            continue
        rows.append({"status": r.status, **{m: f(r) for m, f in kalvor.METRICS.items()}})
    return rows


def test_sweep_matches_the_serial_loop_and_keeps_refused_cases(client):
    base = kalvor.Params()
    base["time.Te"] = 0.03
    frame = kalvor.sweep(base, CASES, METRICS, client=client, progress=False)
    assert list(frame["control.T"]) == [c["control.T"] for c in CASES]
    for (_, row), want in zip(frame.iterrows(), serial(base)):
        assert row["status"] == want["status"]
        if want["status"] == "refused":
            assert row["message"] == want["message"] and "J" in row["message"]
        else:
            numbers = [m for m in METRICS if m != "trip_kind"]
            np.testing.assert_array_equal(row[numbers].to_numpy(float),
                                          [want[m] for m in numbers])
            assert row["trip_kind"] == want["trip_kind"]


def test_command_line_sweep_on_a_scheduler(client, tmp_path):
    sweep_file = {"base": {"time": {"Te": 0.02}},
            "cases": {"control.T": [0.0, -0.1], "control.Cu": [0.0002, 20]},
            "metrics": ["final_speed", "peak_current"]}
    (tmp_path / "cases.json").write_text(json.dumps(sweep_file))
    out = tmp_path / "r.csv"
    done = subprocess.run([sys.executable, "-m", "kalvor", "sweep", str(tmp_path / "cases.json"),
                           "--scheduler", client.scheduler.address, "--out", str(out)],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    frame = pd.read_csv(out, float_precision="round_trip")
    refused = subprocess.run([sys.executable, "-m", "kalvor", "sweep", str(tmp_path / "cases.json"),
                              "--out", str(tmp_path)], capture_output=True, text=True)
    assert refused.returncode == 2 and str(tmp_path) in refused.stderr  # checked before running
    assert list(frame["status"]) == ["accepted", "refused", "accepted", "refused"]
    r = kalvor.run(**{"time.Te": 0.02, "control.T": -0.1, "control.Cu": 0.0002})
    assert frame.loc[2, "final_speed"] == kalvor.METRICS["final_speed"](r)


class AbortAt:
    """A metric whose case T = -0.3 aborts its worker process, as a crashing extension would."""

    def __call__(self, r):
        if r.params["control.T"] == -0.3:
            os.abort()
        return {"final_speed": float(r["omegaR"][-1])}


def test_a_case_that_aborts_its_worker_is_a_row_and_the_others_are_kept(client):
    cases = [{"control.T": t, "time.Te": 0.01} for t in (0.0, -0.1, -0.3, -0.2, -0.4)]
    frame = kalvor.sweep(None, cases, AbortAt(), client=client, progress=False, batch=2)
    assert list(frame["status"]) == ["accepted", "accepted", "crashed", "accepted", "accepted"]
    assert "SIGABRT" in frame.loc[2, "message"]
    want = [kalvor.run(**c)["omegaR"][-1] for c in cases]
    kept = frame["status"] == "accepted"
    np.testing.assert_array_equal(frame.loc[kept, "final_speed"], np.array(want)[kept])
    again = kalvor.sweep(None, cases[:2], AbortAt(), client=client, progress=False, batch=1)
    assert list(again["final_speed"]) == want[:2]  # the workers still serve


# A sweep whose case T = -0.3 kills its worker process (the parent of the forked process running
# its cases) on every try; Dask gives up on a task after its second worker death.
KILLS_ITS_WORKER = """
import json, os, signal, sys, time
import dask, distributed, kalvor

class KillWorkerAt:
    def __call__(self, r):
        if r.params["control.T"] == -0.3:
            worker = os.getppid()
            os.kill(worker, signal.SIGKILL)
            while os.getppid() == worker:
                time.sleep(0.01)
        return {"final_speed": float(r["omegaR"][-1])}

if __name__ == "__main__":
    dask.config.set({"distributed.scheduler.allowed-failures": 1})
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0") as cluster:
        with distributed.Client(cluster) as client:
            cases = json.loads(sys.argv[1])
            frame = kalvor.sweep(None, cases, KillWorkerAt(), client=client, progress=False,
                                 batch=3)
            print(json.dumps(frame[["status", "message", "final_speed"]].to_dict("records")))
"""


def test_a_case_that_kills_its_worker_on_every_try_is_a_row_after_a_case_by_case_rerun(
        tmp_path):
    script = tmp_path / "kills.py"
    script.write_text(KILLS_ITS_WORKER)
    cases = [{"control.T": t, "time.Te": 0.01} for t in (0.0, -0.1, -0.3, -0.2, -0.4, -0.5)]
    child = subprocess.Popen([sys.executable, str(script), json.dumps(cases)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                             start_new_session=True)
    try:
        out, err = child.communicate(timeout=240)  # four worker restarts; only a fault waits
    finally:
        if child.poll() is None:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
    assert child.returncode == 0, err
    rows = json.loads(out.strip().splitlines()[-1])
    # Its batch neighbours T = 0 and -0.1 finish when rerun one at a time.
    assert [r["status"] for r in rows] == ["accepted"] * 2 + ["crashed"] + ["accepted"] * 3
    assert "KilledWorker" in rows[2]["message"] and "died on every try" in rows[2]["message"]
    for case, row in zip(cases, rows):
        if row["status"] == "accepted":
            assert row["final_speed"] == float(kalvor.run(**case)["omegaR"][-1])


@pytest.mark.parametrize("guarded", [False, True])
def test_a_script_without_the_main_guard_ends_at_once_with_one_message(tmp_path, guarded):
    body = ('df = kalvor.sweep(None, {"control.T": [0, -0.5]}, ["final_speed"], '
            'progress=False)\nprint(df["status"].tolist())\n')
    if guarded:
        body = 'if __name__ == "__main__":\n' + "".join(f"    {line}\n"
                                                       for line in body.splitlines())
    script = tmp_path / "snippet.py"
    script.write_text("import kalvor\n" + body)
    if guarded:  # the check itself; starting a cluster in a script is the README's business
        from kalvor._tasks import _guarded

        assert _guarded(str(script), 3) and not _guarded(str(script), 1)
        return
    done = subprocess.run([sys.executable, str(script)], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 1
    assert done.stderr.count("Traceback") == 1
    assert "if __name__ == \"__main__\":" in done.stderr and "snippet.py, line 2" in done.stderr


def test_a_worker_that_cannot_import_the_package_is_named(tmp_path):
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    with distributed.LocalCluster(n_workers=0, dashboard_address=":0") as cluster:
        worker = subprocess.Popen([sys.executable, "-m", "distributed.cli.dask_worker",
                                   cluster.scheduler_address, "--nthreads", "1",
                                   "--no-dashboard"], env=env, cwd=tmp_path,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            with distributed.Client(cluster) as c:
                with pytest.raises(RuntimeError, match="cannot import the kalvor package.*"
                                                       "PYTHONPATH"):
                    kalvor.sweep(None, [{}], ["final_speed"], client=c, progress=False)
        finally:
            worker.terminate()
            worker.wait()


def test_a_result_travels_between_processes(client):
    sent = client.submit(kalvor.run, None, None, **{"time.Te": 0.005}).result()
    here = kalvor.run(**{"time.Te": 0.005})
    assert isinstance(sent, kalvor.Result) and sent.status == here.status
    np.testing.assert_array_equal(sent["Ia"], here["Ia"])
    assert sent.params == here.params
    again = pickle.loads(pickle.dumps(sent))
    np.testing.assert_array_equal(again.table, here.table)


@pytest.mark.parametrize("name, content, message", [
    ("deep.json", b"[" * 100000, "nested deeper than 8 levels"),
    ("metric.json", b'{"cases": [{}], "metrics": [["a"]]}', "metrics must be a list of names"),
    ("dup.json", b'{"cases": [{}], "base": {"time": {"Te": 1, "Te": 2}}}', "'Te' appears twice"),
    ("utf8.json", b'{"cases": [{"control.SpeedPath": "\xff"}]}', "UTF-8 text at line 1, column 35"),
    ("big.json", b" " * (17 * 1024 * 1024), "too large for a sweep file"),
    ("syntax.json", b'{"cases": [{}],\n "metrics": }', "not JSON at line 2, column 13"),
    ("fifo", None, "not a regular file"),
    # Three lists of a thousand values: a billion cases, refused before any is made.
    ("product.json", json.dumps({"cases": {k: list(range(1000)) for k in
                                           ("control.Ud", "control.T", "motor.J")}}).encode(),
     "cases name 1000000000 cases, more than the 1000000"),
    ("none.json", b'{"cases": {"control.Ud": [1, 2], "control.T": []}}',
     "the list of 'control.T' in cases is empty"),
], ids=["deep", "metric", "dup", "utf8", "big", "syntax", "fifo", "product", "empty product"])
def test_command_line_sweep_refuses_a_bad_file_in_one_line(tmp_path, name, content, message):
    path = tmp_path / name
    if content is None:
        os.mkfifo(path)  # would block a reader waiting for a writer
    else:
        path.write_bytes(content)
    done = subprocess.run([sys.executable, "-m", "kalvor", "sweep", str(path), "--quiet"],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 2
    assert done.stderr.startswith(f"{path}: ") and message in done.stderr, done.stderr
    assert done.stderr.count("\n") == 1


@pytest.mark.parametrize("command, out, named", [
    ("sweep", "cases.json", "the cases file cases.json"),
    ("sweep", "link.json", "the cases file cases.json"),
    ("dataset", "./cases.json", "the cases file cases.json"),
    ("sweep", "base.json", "the base parameter file {tmp}/base.json"),
    ("dataset", "sub/../base.json", "the base parameter file {tmp}/base.json"),
])
def test_command_line_refuses_to_write_over_its_input_files(tmp_path, command, out, named):
    files = {"cases.json": '{"base": "base.json", "cases": [{}]}', "base.json": "{}"}
    for name, text in files.items():
        (tmp_path / name).write_text(text)
    (tmp_path / "link.json").symlink_to("cases.json")
    (tmp_path / "sub").mkdir()
    done = subprocess.run([sys.executable, "-m", "kalvor", command, "cases.json", "--quiet",
                           "--out", out], capture_output=True, text=True, timeout=120,
                          cwd=tmp_path)
    assert done.returncode == 2
    assert done.stderr == (f"--out {out} is {named.format(tmp=tmp_path)}: the results would "
                           "replace it; write them to another file.\n")
    assert all((tmp_path / name).read_text() == text for name, text in files.items())
    assert sorted(p.name for p in tmp_path.iterdir()) == ["base.json", "cases.json",
                                                          "link.json", "sub"]


def test_command_line_sweep_full_disk_names_the_file_once(client, tmp_path):
    (tmp_path / "cases.json").write_text(json.dumps({"base": {"time": {"Te": 0.002}},
                                                     "cases": [{}], "metrics": ["final_speed"]}))
    out = tmp_path / "r.csv"
    args = ["sweep", str(tmp_path / "cases.json"), "--scheduler", client.scheduler.address,
            "--out", str(out), "--quiet"]
    # A disk that is full after 20 bytes; the write then fails with EFBIG.
    script = ("import resource, signal, sys; signal.signal(signal.SIGXFSZ, signal.SIG_IGN); "
              "resource.setrlimit(resource.RLIMIT_FSIZE, (20, 20)); "
              f"import kalvor.__main__ as m; sys.exit(m.main({args!r}))")
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 2, done.stderr
    assert done.stderr.count(str(out)) == 1 and "cannot be written" not in done.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["cases.json"]


def _cluster_started(pid):
    """pid has started worker processes and handles SIGINT again."""
    children = []
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/children") as f:
            children += f.read().split()
    with open(f"/proc/{pid}/status") as f:
        ignored = int(next(line for line in f if line.startswith("SigIgn:")).split()[1], 16)
    return bool(children) and not ignored & (1 << (signal.SIGINT - 1))


def test_ctrl_c_stops_a_sweep_with_one_line(tmp_path):
    (tmp_path / "cases.json").write_text(json.dumps({"cases": {"time.Te": [50.0, 51.0]},
                                                     "metrics": ["final_speed"]}))
    child = subprocess.Popen([sys.executable, "-m", "kalvor", "sweep",
                              str(tmp_path / "cases.json"), "--quiet"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                             start_new_session=True)
    try:
        # Ctrl-C once the sweep has started its workers, as from a terminal: to the whole group.
        deadline = time.monotonic() + 120
        while not _cluster_started(child.pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        assert _cluster_started(child.pid), "the sweep started no workers"
        os.killpg(child.pid, signal.SIGINT)
        _, err = child.communicate(timeout=120)
    finally:
        child.kill()
    assert child.returncode == 130
    assert err == "Interrupted: the sweep was stopped and nothing written.\n"


@pytest.mark.parametrize("n, threads", [(1, 2), (5, 4), (7, 2), (32, 2), (1000, 2), (1000, 64),
                                        (5, 16)])
def test_plans_hold_every_case_once_and_keep_every_thread_busy(n, threads):
    from kalvor._tasks import MAX_BATCH, shared_batches, tapered_batches

    cases = list(range(n))
    shared = shared_batches(cases, threads)
    tapered = tapered_batches(cases, MAX_BATCH, threads)
    for plan in (shared, tapered):
        assert sum(plan, []) == cases and all(1 <= len(p) <= MAX_BATCH for p in plan)
        assert len(plan) >= min(n, threads)
    # As few tasks as that takes, of sizes one apart; the tapered ones never grow.
    assert len(shared) == max(min(n, threads), math.ceil(n / MAX_BATCH))
    assert max(map(len, shared)) - min(map(len, shared)) <= 1
    assert all(len(a) >= len(b) for a, b in zip(tapered, tapered[1:]))


@pytest.mark.parametrize("run", ["sweep", "dataset"])
@pytest.mark.parametrize("batch", [0, -3])
def test_a_batch_of_no_cases_is_refused_and_nothing_written(client, tmp_path, run, batch):
    out = tmp_path / "out.h5"
    with pytest.raises(ValueError, match=f"batch {batch} is not accepted"):
        if run == "sweep":
            kalvor.sweep(None, [{}], ["final_speed"], client=client, progress=False, batch=batch)
        else:
            kalvor.dataset(None, [{}], out, client=client, progress=False, batch=batch)
    assert list(tmp_path.iterdir()) == []
