"""Sweeps on a local Dask cluster against the serial loop; a refused case stays a row."""

import json
import os
import signal
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


@pytest.mark.parametrize("name, content, message", [
    ("deep.json", b"[" * 100000, "nested deeper than 8 levels"),
    ("metric.json", b'{"cases": [{}], "metrics": [["a"]]}', "metrics must be a list of names"),
    ("dup.json", b'{"cases": [{}], "base": {"time": {"Te": 1, "Te": 2}}}', "'Te' appears twice"),
    ("utf8.json", b'{"cases": [{"control.SpeedPath": "\xff"}]}', "UTF-8 text at line 1, column 35"),
    ("big.json", b" " * (17 * 1024 * 1024), "too large for a sweep file"),
    ("syntax.json", b'{"cases": [{}],\n "metrics": }', "not JSON at line 2, column 13"),
    ("fifo", None, "not a regular file"),
], ids=["deep", "metric", "dup", "utf8", "big", "syntax", "fifo"])
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


def test_ctrl_c_stops_a_sweep_with_one_line(tmp_path):
    (tmp_path / "cases.json").write_text(json.dumps({"cases": {"time.Te": [50.0, 51.0]},
                                                     "metrics": ["final_speed"]}))
    # "ready" once everything is imported: Ctrl-C comes as from a terminal, to the whole group.
    script = ("import sys, kalvor.__main__ as m; print('ready', flush=True); "
              f"sys.exit(m.main(['sweep', {str(tmp_path / 'cases.json')!r}, '--quiet']))")
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        assert child.stdout.readline() == "ready\n"
        os.killpg(child.pid, signal.SIGINT)
        _, err = child.communicate(timeout=120)
    finally:
        child.kill()
    assert child.returncode == 130
    assert err == "Interrupted: the sweep was stopped and nothing written.\n"
