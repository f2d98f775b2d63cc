"""Sweeps on a local Dask cluster against the serial loop; a refused case stays a row."""

import json
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
