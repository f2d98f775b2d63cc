"""Sweeps on a local Dask cluster against the serial loop; a refused case stays a row, a case that
kills its worker too; a cluster that cannot run the cases says so at once."""

import json
import os
import pickle
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import kalvor

distributed = pytest.importorskip("distributed")

CASES = [{"control.T": 0.0}, {"control.T": -0.1, "failures.FailT": [2, 0, 0, 0, 0, 0]},
         {"control.T": -0.1, "motor.J": 0}, {"control.T": 0.1, "control.Ud": 180.0}]
METRICS = list(kalvor.METRICS)


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0") as cluster:
        with distributed.Client(cluster) as c:
            yield c


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
            np.testing.assert_array_equal(row[METRICS].to_numpy(float),
                                          [want[m] for m in METRICS])


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
