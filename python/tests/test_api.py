"""The binding against kalvor-cli and the parameter file reader; stops and interrupts."""

import io
import os
import pickle
import signal
import subprocess
import threading

import numpy as np
import pytest

import kalvor

FAULTED = [1, 0, 0, 0, 0, 0]


@pytest.mark.parametrize(
    "overrides",
    [
        {},
        {"failures.FailT": FAULTED, "control.ControlMethod": 1},
        {"control.Condition": 1, "control.SpeedControl": True},
        {"control.Condition": 2, "control.T": 2.0, "time.OmegaR": 150.0},
        {"time.Every": 7, "time.Uc0": 200.0, "failures.FailD": [0, 0, 1, 0, 0, 0],
         "failures.Onset": 0.004},
        {"time.Exact": True, "failures.FailT": FAULTED, "failures.Onset": 0.0031},
    ],
)
def test_table_equals_cli_csv_and_is_a_view(cli, overrides):
    overrides = {"time.Te": 0.01, **overrides}
    sets = []
    for name, value in overrides.items():
        text = str(value).lower() if isinstance(value, bool) else str(value).replace(" ", "")
        sets += ["--set", f"{name}={text}"]
    csv = subprocess.run([cli, "run", "--csv", "--quiet", *sets], check=True,
                         capture_output=True, text=True).stdout
    expected = np.loadtxt(io.StringIO(csv), delimiter=",", skiprows=1)

    calls = []
    r = kalvor.run(progress=calls.append, **overrides)
    assert r.status == "accepted"
    assert r.columns == tuple(csv.splitlines()[0].split(","))
    assert np.array_equal(r.table, expected)  # "%.17g" reads back exactly
    assert not r.table.flags.owndata and r.table.base is r._outcome
    assert np.array_equal(r["Ia"], r.table[:, 1]) and np.array_equal(r.t, r.table[:, 0])
    assert len(r.table) == len(expected) > 1
    assert 50 <= len(calls) <= 100 and calls == sorted(calls) and calls[-1] <= 1


def test_exact_run_keeps_an_energy_ledger_that_matches_its_table():
    r = kalvor.run(**{"time.Te": 0.01, "time.Exact": True})
    e = r.energy
    stored = sum(e[k + "_end"] - e[k + "_start"] for k in ("capacitor", "magnetic", "kinetic"))
    assert e["source"] + e["load"] - e["resistive"] - e["damping"] - stored == pytest.approx(
        e["residual"], abs=1e-12)
    assert abs(e["relative_residual"]) < 1e-5
    # The DC source delivers Ud times the charge that passed it: the integral of column IU.
    dt = np.diff(r.t)
    charge = np.sum(r["IU"][1:] * dt)
    assert e["source"] == pytest.approx(200.0 * charge, rel=1e-9)
    assert kalvor.run(**{"time.Te": 0.001}).energy is None
    # The instantaneous device peaks bound the interval means of the columns.
    for name, (peak, t) in r.device_peaks.items():
        assert np.abs(r[f"I{name}"]).max() <= abs(peak) + 1e-9 and 0 <= t <= 0.01
    assert kalvor.run(**{"time.Te": 0.001}).device_peaks is None


def test_field_oriented_run_offers_the_dq_columns_by_name(cli):
    overrides = {"time.Te": 0.01, "control.Scheme": 1, "time.Uc0": 200.0}
    sets = [arg for name, value in overrides.items() for arg in ("--set", f"{name}={value}")]
    csv = subprocess.run([cli, "run", "--csv", "--quiet", *sets], check=True,
                         capture_output=True, text=True).stdout
    expected = np.loadtxt(io.StringIO(csv), delimiter=",", skiprows=1)
    r = kalvor.run(**overrides)
    assert r.columns == tuple(csv.splitlines()[0].split(",")) == kalvor.COLUMNS + kalvor.FOC_COLUMNS
    assert np.array_equal(r.table, expected[:, :36])
    assert np.array_equal(r.foc_table, expected[:, 36:])
    assert r.foc_table.base is r._outcome
    assert np.array_equal(r["iq"], r.foc_table[:, 1]) and np.array_equal(r["iq* [A]"], r["iq*"])
    assert r["iq*"][-1] > 0  # the drive accelerates
    assert list(r.to_pandas().columns) == list(r.columns)
    copy = pickle.loads(pickle.dumps(r))
    assert np.array_equal(copy["iq"], r["iq"]) and copy.columns == r.columns
    scalar = kalvor.run(Te=0.002)
    assert scalar.foc_table is None and scalar.columns == kalvor.COLUMNS
    with pytest.raises(KeyError, match="field-oriented"):
        scalar["iq"]


@pytest.mark.parametrize(
    "name, value",
    [("control.Cu", 20.0), ("motor.NhInd", 1.5), ("control.SpeedControl", 1),
     ("failures.FailT", [0, 3, 0, 0, 0, 0]), ("failures.FailD", [0, 0]), ("time.H", "fast"),
     ("control.Nope", 1)],
)
def test_refusal_carries_the_file_readers_message(tmp_path, name, value):
    group, key = name.split(".")
    path = tmp_path / "p.json"
    path.write_text(f'{{"{group}": {{"{key}": {kalvor._params._json_value(value)}}}}}')
    with pytest.raises(kalvor.ParameterError) as from_file:
        kalvor.Params.load(path)
    p = kalvor.Params()
    with pytest.raises(ValueError) as from_set:
        p[name] = value
    # The file reader says "FILE: group.key: why", --set "--set group.key: why".
    why = str(from_file.value).split(f"{path}: ", 1)[1]
    assert why.split(": ", 1)[-1] in str(from_set.value)
    assert p == kalvor.Params()  # nothing changed


def test_parameter_file_round_trip(tmp_path):
    p = kalvor.Params()
    p.update({"control.Ud": 0.1 + 0.2, "failures.FailD": np.array([0, 2, 0, 0, 1, 0]),
              "SpeedPath": "0*50*0.05*100*"})
    p.save(tmp_path / "p.json")
    q = kalvor.Params.load(tmp_path / "p.json")
    assert q == p and q["Ud"] == 0.1 + 0.2 and q["failures.FailD"] == [0, 2, 0, 0, 1, 0]


@pytest.mark.parametrize(
    "overrides, message",
    [({"motor.J": 1e-30, "control.T": 50, "time.Te": 0.001}, "Set smaller calculation step!"),
     ({"motor.RonT": 0, "motor.RoffT": 0, "motor.RonD": 0, "motor.RoffD": 0, "time.Te": 0.001},
      "not a finite number")],
)
def test_stopped_run_raises_with_the_engines_message(overrides, message):
    with pytest.raises(kalvor.RunStopped, match=message):
        kalvor.run(**overrides)


def test_refused_combination_raises_before_running():
    with pytest.raises(kalvor.ParameterError, match="J"):
        kalvor.run(**{"motor.J": 0})


def test_ctrl_c_from_a_thread_stops_a_long_run():
    # The first progress report waits until Ctrl-C has been sent, however busy the machine:
    # the run must then stop there, without a second report.
    started = threading.Event()
    sent = threading.Event()
    reached = []

    def progress(fraction):
        reached.append(fraction)
        started.set()
        sent.wait(120)

    def interrupt():
        started.wait(120)
        os.kill(os.getpid(), signal.SIGINT)
        sent.set()

    thread = threading.Thread(target=interrupt)
    thread.start()
    with pytest.raises(KeyboardInterrupt):
        kalvor.run(progress=progress, **{"time.Te": 0.5})
    thread.join()
    assert len(reached) == 1 and reached[0] < 1


def test_docstring_examples_run_as_written():
    import doctest

    for module in (kalvor, kalvor._params, kalvor._result):
        failed, attempted = doctest.testmod(module, extraglobs={"kalvor": kalvor})
        assert failed == 0 and attempted > 0, module.__name__


def test_dft_follows_the_programs_convention():
    n = 400
    k = np.arange(n)
    y = 0.5 + 3 * np.sin(2 * np.pi * k / n) + 0.3 * np.cos(2 * np.pi * 5 * k / n)
    mag, thd = kalvor.dft(y, 6)
    assert mag.shape == (7,)
    assert mag[[0, 1, 5]] == pytest.approx([0.5, 3, 0.3], abs=1e-5)
    assert thd == pytest.approx(0.1, abs=1e-5)
    with pytest.raises(kalvor.ParameterError, match="at least 2"):
        kalvor.dft([1.0], 3)


def test_help_names_every_key_with_its_unit():
    doc = kalvor.Params.__doc__
    for key in kalvor.Params().to_dict()["motor"]:
        assert f"    motor.{key} = " in doc, key
    assert "motor.J = 0.000962 [kg m^2]" in doc


def test_every_value_read_by_name_is_the_files_value():
    p = kalvor.Params()
    p.update({"control.Ud": -0.0, "failures.FailD": [0, 2, 0, 1, 0, 0], "time.Every": 3,
              "control.SpeedPath": "0*50*0.05*100*", "control.SpeedControl": True})
    for group, keys in p.to_dict().items():
        for key, value in keys.items():
            got = p[f"{group}.{key}"]
            assert got == value and type(got) is type(value), f"{group}.{key}"
    assert str(p["control.Ud"]) == "-0.0"
    with pytest.raises(KeyError):
        p["control.Nope"]


def test_engine_table_cannot_be_written_and_errors_belong_to_the_package(tmp_path):
    r = kalvor.run(**{"time.Te": 0.001})
    with pytest.raises(ValueError):
        r.table[0, 0] = 1.0
    with pytest.raises(kalvor.ParameterError) as refused:
        kalvor.Params.load(tmp_path / "missing.json")
    assert isinstance(refused.value, ValueError)
    assert type(refused.value).__module__ == "kalvor"
    assert issubclass(kalvor.RunStopped, RuntimeError) and kalvor.RunStopped.__module__ == "kalvor"


@pytest.mark.parametrize("safe_state", [0, 1])
def test_events_are_the_cli_event_log_and_give_the_trip_metrics(cli, tmp_path, safe_state):
    overrides = {"time.Te": 0.056, "failures.FailT": FAULTED, "failures.Onset": 0.05,
                 "protection.Idesat": 300.0, "protection.SafeState": safe_state}
    sets = []
    for name, value in overrides.items():
        sets += ["--set", f"{name}={str(value).replace(' ', '')}"]
    table = str(tmp_path / "r.txt")
    csv = subprocess.run([cli, "run", "--quiet", "--out", table, "--events", "-", *sets],
                         check=True, capture_output=True, text=True).stdout
    lines = csv.splitlines()
    assert lines[0] == "t,kind,source,value"
    expected = [dict(zip(["t", "kind", "source", "value"], line.split(","))) for line in lines[1:]]

    r = kalvor.run(**overrides)
    assert [e["kind"] for e in r.events] == ["fault_onset", "desaturation"]
    assert [(e["kind"], e["source"]) for e in r.events] == [
        (e["kind"], e["source"]) for e in expected]
    assert [(e["t"], e["value"]) for e in r.events] == [
        (float(e["t"]), float(e["value"])) for e in expected]  # "%.17g" reads back exactly
    assert r.trips == r.events[1:]
    assert kalvor.METRICS["trip_kind"](r) == "desaturation"
    assert kalvor.METRICS["trip_time"](r) == r.events[1]["t"]
    quiet = kalvor.run(**{**overrides, "protection.Idesat": 0.0})
    assert quiet.trips == [] and kalvor.METRICS["trip_kind"](quiet) == ""
    assert np.isnan(kalvor.METRICS["trip_time"](quiet))
