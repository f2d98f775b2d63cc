"""Datasets in HDF5: the arrays are the runs' columns, labels follow the overrides, finished
cases survive a SIGKILL of the client and a rerun resumes to the file a clean run writes."""

import json
import os
import pickle
import shutil
import signal
import subprocess
import sys
import threading
import time
import tracemalloc

import numpy as np
import pytest

import kalvor

distributed = pytest.importorskip("distributed")
h5py = pytest.importorskip("h5py")

# Waits on events (a file's case count, a marker file); only a fault takes this long.
DEADLINE = 240


def short_base(te=0.01):
    base = kalvor.Params()
    base["time.Te"] = te
    return base


OPEN_T2 = [0, 2, 0, 0, 0, 0]
LABELLED = [
    ({"control.T": -0.5}, {"fault": "healthy", "device": "", "load": -0.5, "scheme": "svpwm"}),
    ({"failures.FailT": OPEN_T2, "failures.Onset": 0.004},
     {"fault": "open", "device": "T2", "onset": 0.004, "clear": np.inf}),
    ({"failures.FailD": [0, 0, 1, 0, 0, 0], "failures.Onset": 0.002, "failures.Clear": 0.006},
     {"fault": "short", "device": "D3", "onset": 0.002, "clear": 0.006}),
    ({"failures.FailT": [2, 0, 0, 1, 0, 0]}, {"fault": "open,short", "device": "T1,T4"}),
    ({"control.SpeedPath": "0*50*0.005*80*", "control.ControlMethod": 1},
     {"speed_ref": 80.0, "scheme": "six_step", "fault": "healthy"}),
    ({"control.Condition": 1}, {"scheme": "sine"}),
    ({"control.Condition": 3, "control.T": 1.0}, {"scheme": "generator_r", "load": 1.0}),
    ({"control.Scheme": 1}, {"scheme": "foc"}),
]
DEFAULT = ["t", "ia", "ib", "ic", "Uab", "Ubc", "IDC", "omegaR", "Te"]
DQ = ["id", "iq", "id*", "iq*", "ud*", "uq*"]


def abort_at_d(params):
    """Labels that abort the process for D = 0.0123, as a crashing extension would."""
    if params["motor.D"] == 0.0123:
        os.abort()
    return {"J": params["motor.J"]}


def test_arrays_are_the_runs_columns_and_labels_follow_the_overrides(client, tmp_path):
    base = short_base()
    out = tmp_path / "d.h5"
    cases = [c for c, _ in LABELLED] + [{"motor.J": 0}, {"motor.D": 0.0123}]
    table = kalvor.dataset(base, cases, out, every=3, client=client, progress=False,
                           metrics=["final_speed"], labels=abort_at_d)
    assert list(table["case"]) == list(range(len(cases)))
    with h5py.File(out, "r") as f:
        assert f.attrs["complete"] and f.attrs["base"] == base.text()
        assert json.loads(f.attrs["column_labels"])["ia"] == "Ia [A]"
        assert not os.path.exists(str(out) + ".parts")
        for i, (case, labels) in enumerate(LABELLED):
            group = f[f"cases/{i:06d}"]
            r = kalvor.run(base, **case)
            dq = DQ if case.get("control.Scheme") == 1 else []
            assert sorted(group) == sorted(DEFAULT + dq)
            for name, label in [("t", "t [s]"), ("ia", "Ia [A]"), ("ic", "Ic [A]"),
                                ("IDC", "IDC [A]"), ("Te", "Te [Nm]")] + [(n, n) for n in dq]:
                np.testing.assert_array_equal(group[name][()], r[label][::3])
            assert group.attrs["dt"] == pytest.approx(3 * base["time.H"])
            assert json.loads(group.attrs["overrides"]) == case
            for key, want in labels.items():
                assert group.attrs[key] == want, (case, key)
                assert table.loc[i, key] == want
            assert table.loc[i, "final_speed"] == float(r["omegaR"][-1])
            assert table.loc[i, "J"] == base["motor.J"]
        refused = f[f"cases/{len(LABELLED):06d}"]
        assert refused.attrs["status"] == "refused" and "J" in refused.attrs["message"]
        assert len(refused) == 0
        crashed = f[f"cases/{len(LABELLED) + 1:06d}"]
        assert crashed.attrs["status"] == "crashed" and "SIGABRT" in crashed.attrs["message"]
        assert len(crashed) == 0
    assert np.isnan(table.loc[0, "onset"]) and np.isnan(table.loc[0, "clear"])
    read = kalvor.read_table(out)
    assert list(read["status"]) == list(table["status"])


def test_float32_and_chosen_columns(client, tmp_path):
    out = tmp_path / "f.h5"
    kalvor.dataset(short_base(), [{"control.T": 0.0}], out, columns=["t", "omegaR", "Psia [Wb]"],
                   dtype="float32", client=client, progress=False)
    r = kalvor.run(short_base())
    with h5py.File(out, "r") as f:
        group = f["cases/000000"]
        assert sorted(group) == ["Psia [Wb]", "omegaR", "t"]
        assert group["omegaR"].dtype == np.float32
        np.testing.assert_array_equal(group["Psia [Wb]"][()], r["Psia"].astype(np.float32))
    with pytest.raises(ValueError, match="every"):
        kalvor.dataset(None, [{}], tmp_path / "x.h5", every=0, client=client)
    with pytest.raises(ValueError, match="dtype"):
        kalvor.dataset(None, [{}], tmp_path / "x.h5", dtype="int8", client=client)
    # A name no run has is refused before any case runs; a dq column only field-oriented runs
    # have is not.
    with pytest.raises(ValueError, match=r"^columns: column 'omega': no such column; the "
                       r"columns are t, Ia, .*, Psic, id, iq, id\*, iq\*, ud\*, uq\* \(the last"):
        kalvor.dataset(None, [{}], tmp_path / "x.h5", columns=["t", "omega"], client=client)
    assert not (tmp_path / "x.h5").exists()
    kalvor.dataset(short_base(0.002), [{}], tmp_path / "dq.h5", columns=["iq*"], client=client,
                   progress=False)
    assert kalvor.read_table(tmp_path / "dq.h5")["message"][0].startswith("column 'iq*'")


# A healthy case, a fault that sets in and clears, and two protection trips.
EVENTFUL = [{}, {"failures.FailT": OPEN_T2, "failures.Onset": 0.004, "failures.Clear": 0.007},
            {"protection.Uovp": 1.0},
            {"failures.FailD": [1, 0, 0, 0, 0, 0], "failures.Onset": 0.002,
             "protection.Idesat": 20.0}]


def test_each_case_stores_its_event_log_as_the_run_has_it(client, tmp_path):
    out = tmp_path / "e.h5"
    kalvor.dataset(short_base(), EVENTFUL, out, columns=["t"], batch=2, client=client,
                   progress=False)
    kinds = set()
    with h5py.File(out, "r") as f:
        for i, case in enumerate(EVENTFUL):
            stored = json.loads(f[f"cases/{i:06d}"].attrs["events"])
            assert stored == kalvor.run(short_base(), **case).events, case
            kinds |= {event["kind"] for event in stored}
    assert kinds == {"fault_onset", "fault_clear", "overvoltage", "desaturation"}


def write_cases(tmp_path, n):
    cases = {"base": {"time": {"Te": 0.02}},
             "cases": [{"control.T": -0.05 * k} for k in range(n)]}
    path = tmp_path / "cases.json"
    path.write_text(json.dumps(cases))
    return path


def finished_count(path):
    try:
        with h5py.File(path, "r") as f:
            return int(f.attrs["finished_count"])
    except (OSError, KeyError):
        return 0


def arrays(path):
    with h5py.File(path, "r") as f:
        return {name: {k: ds[()] for k, ds in group.items()} for name, group in
                f["cases"].items()}


def command(cases, out, client, *extra):
    return [sys.executable, "-m", "kalvor", "dataset", str(cases), "--out", str(out),
            "--scheduler", client.scheduler.address, "--quiet", *extra]


# A dataset of 16 cases in tasks of one, whose cases T <= -0.4 wait while the marker file exists
# (long cases): the first 8 finish, the rest wait for the kill.
HELD = """
import os, sys, time
import distributed, kalvor

class Hold:
    def __init__(self, marker):
        self.marker = marker

    def __call__(self, params):
        while params["control.T"] <= -0.4 and os.path.exists(self.marker):
            time.sleep(0.02)
        return {}

if __name__ == "__main__":
    out, scheduler, marker = sys.argv[1:]
    base = kalvor.Params()
    base["time.Te"] = 0.02
    with distributed.Client(scheduler) as client:
        kalvor.dataset(base, [{"control.T": -0.05 * k} for k in range(16)], out,
                       labels=Hold(marker), batch=1, client=client, progress=False)
"""


def test_sigkill_keeps_finished_cases_and_rerun_resumes_to_a_clean_runs_file(client, tmp_path):
    script, marker = tmp_path / "held.py", tmp_path / "hold"
    script.write_text(HELD)
    clean, killed = tmp_path / "clean.h5", tmp_path / "killed.h5"

    def run(out):
        return [sys.executable, str(script), str(out), client.scheduler.address, str(marker)]

    done = subprocess.run(command(write_cases(tmp_path, 16), clean, client),
                          capture_output=True, text=True, timeout=DEADLINE)
    assert done.returncode == 0, done.stderr
    marker.write_text("")
    process = subprocess.Popen(run(killed), stderr=subprocess.PIPE)
    try:
        deadline = time.monotonic() + DEADLINE
        while finished_count(killed) < 8 and process.poll() is None:
            assert time.monotonic() < deadline, "the first cases did not finish"
            time.sleep(0.05)
        process.kill()
        process.wait()
    finally:
        marker.unlink()  # the held cases end
    with h5py.File(killed, "r") as f:
        assert not f.attrs["complete"]
        assert f.attrs["finished_count"] == 8
    parts = str(killed) + ".parts"
    in_parts = set()
    for name in os.listdir(parts):
        if not name.startswith("."):
            with h5py.File(os.path.join(parts, name), "r") as part:
                in_parts |= set(part["cases"])
    assert len(in_parts) == 8  # OUT reaches every case written before the kill
    before = arrays(killed)
    with pytest.raises(kalvor.DatasetError, match="unfinished"):
        kalvor.read_table(killed)
    reference = arrays(clean)
    assert sorted(before) == sorted(reference)[:8]
    for name, columns in before.items():
        for column, values in columns.items():
            assert values.tobytes() == reference[name][column].tobytes()

    rerun = subprocess.run(run(killed), capture_output=True, text=True, timeout=DEADLINE)
    assert rerun.returncode == 0, rerun.stderr
    after = arrays(killed)
    assert sorted(after) == sorted(reference)
    for name, columns in reference.items():
        for column, values in columns.items():
            assert after[name][column].tobytes() == values.tobytes()
    assert not os.path.exists(str(killed) + ".parts")
    with h5py.File(killed, "r") as a, h5py.File(clean, "r") as b:
        for key in b["table"]:
            np.testing.assert_array_equal(a["table"][key][()], b["table"][key][()], err_msg=key)


def test_a_run_stopped_by_ctrl_c_leaves_a_file_reaching_every_finished_case(
        client, tmp_path, monkeypatch):
    from kalvor import _dataset

    run_cases = _dataset.run_cases

    def two_batches_then_ctrl_c(*args, **kwargs):
        batches = run_cases(*args, **kwargs)
        yield next(batches)
        yield next(batches)
        raise KeyboardInterrupt

    monkeypatch.setattr(_dataset, "run_cases", two_batches_then_ctrl_c)
    out = tmp_path / "d.h5"
    cases = [{"control.T": -0.05 * k} for k in range(8)]
    with pytest.raises(KeyboardInterrupt):
        kalvor.dataset(short_base(), cases, out, batch=2, client=client, progress=False)
    assert finished_count(out) == 4 and len(arrays(out)) == 4
    assert sorted(os.listdir(tmp_path)) == ["d.h5", "d.h5.parts"]  # no temporary file left
    monkeypatch.undo()
    table = kalvor.dataset(short_base(), cases, out, batch=2, client=client, progress=False)
    assert (table["status"] == "accepted").all() and len(arrays(out)) == 8


def test_another_base_or_case_list_is_refused_and_the_file_kept(client, tmp_path):
    out = tmp_path / "d.h5"
    cases = [{"control.T": 0.0}, {"control.T": -0.1}]
    kalvor.dataset(short_base(), cases, out, client=client, progress=False)
    held = out.read_bytes()
    with pytest.raises(kalvor.DatasetError, match="other base parameters"):
        kalvor.dataset(short_base(0.012), cases, out, client=client, progress=False)
    with pytest.raises(kalvor.DatasetError, match="another case list"):
        kalvor.dataset(short_base(), cases[:1], out, client=client, progress=False)
    other = tmp_path / "other.h5"
    other.write_bytes(b"not a dataset")
    with pytest.raises(kalvor.DatasetError, match="choose another output file"):
        kalvor.dataset(short_base(), cases, other, client=client, progress=False)
    assert out.read_bytes() == held and other.read_bytes() == b"not a dataset"
    again = kalvor.dataset(short_base(), cases, out, client=client, progress=False)
    assert list(again["status"]) == ["accepted", "accepted"] and out.read_bytes() == held


def _drop(f, name):
    del f[name]


def _set_attr(name, value):
    def damage(f):
        f.attrs[name] = value
    return damage


@pytest.mark.parametrize("damage", [
    lambda f: _drop(f, "cases"),
    lambda f: _drop(f.attrs, "complete"),
    _set_attr("column_labels", "{"),
    _set_attr("column_labels", "[1]"),
    lambda f: (_set_attr("identity", "0")(f), _set_attr("cases", "[{")(f)),
], ids=["no cases group", "no complete flag", "labels cut short", "labels a list",
        "case list cut short"])
def test_a_damaged_dataset_is_refused_in_one_message_and_kept(client, tmp_path, damage):
    out = tmp_path / "d.h5"
    cases = [{"control.T": 0.0}]
    kalvor.dataset(short_base(0.002), cases, out, client=client, progress=False)
    with h5py.File(out, "r+") as f:
        damage(f)
    held = out.read_bytes()
    with pytest.raises(kalvor.DatasetError, match=f"^{out} is a Kalvor dataset that cannot be "
                       "read .*: it is damaged; choose another output file or remove it.$"):
        kalvor.dataset(short_base(0.002), cases, out, client=client, progress=False)
    assert out.read_bytes() == held
    assert sorted(p.name for p in tmp_path.iterdir()) == ["d.h5"]


# A finished dataset holds what a part file holds (identity, column labels, cases): a copy of
# it, damaged, stands for a part an interrupted run left.
@pytest.mark.parametrize("damage", [
    lambda f: _drop(f, "cases"),
    lambda f: f.move("cases/000000", "cases/first"),
    _set_attr("column_labels", "{"),
], ids=["no cases group", "a case not named by its index", "labels cut short"])
def test_a_damaged_part_file_is_refused_naming_it(client, tmp_path, damage):
    cases = [{"control.T": 0.0}]
    reference = tmp_path / "reference.h5"
    kalvor.dataset(short_base(0.002), cases, reference, client=client, progress=False)
    parts = tmp_path / "d.h5.parts"
    parts.mkdir()
    part = parts / "part-000000-0123abcd.h5"
    os.replace(reference, part)
    with h5py.File(part, "r+") as f:
        damage(f)
    with pytest.raises(kalvor.DatasetError, match=f"^{part} cannot be read .*: remove it to "
                       "compute its cases again.$"):
        kalvor.dataset(short_base(0.002), cases, tmp_path / "d.h5", client=client,
                       progress=False)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["d.h5.parts"]


def _die(*_):
    os.kill(os.getpid(), signal.SIGKILL)  # as libhdf5 dies of a damaged header, untrappable


def _hang(*_):
    time.sleep(3600)  # as libhdf5 loops on some damaged headers


def _existing_out(tmp_path):
    out = tmp_path / "d.h5"
    out.write_bytes(b"\x89HDF\r\n\x1a\n" + bytes(range(256)))
    return out, out


def _part_only(tmp_path):
    (tmp_path / "d.h5.parts").mkdir()
    part = tmp_path / "d.h5.parts" / "part-000000-0123abcd.h5"
    part.write_bytes(b"\x89HDF\r\n\x1a\n" + bytes(range(256)))
    return tmp_path / "d.h5", part


# Every reader of a file that may be damaged runs in a child process: the library dying or
# looping on the file (here: the reader killed, or sleeping past the deadline) is a refusal
# naming the file, and the file is kept.
@pytest.mark.parametrize("fate, says", [
    (_die, "the HDF5 library crashed reading it, ended by SIGKILL"),
    (_hang, "the HDF5 library was still reading it after 1 s, as it can loop for good on a "
            "damaged file"),
], ids=["dies", "hangs"])
@pytest.mark.parametrize("reader, files, call, start", [
    ("read_out", _existing_out, "dataset", "{} exists and cannot be read as HDF5 "),
    ("read_part", _part_only, "dataset", "{} cannot be read "),
    ("_table_columns", _existing_out, "read_table", "{} cannot be read as HDF5 "),
], ids=["existing output", "part file", "read_table"])
def test_a_reader_dying_or_looping_on_a_file_is_a_refusal_naming_it(
        client, tmp_path, monkeypatch, reader, files, call, start, fate, says):
    import kalvor._dataset as module

    out, damaged = files(tmp_path)
    held = damaged.read_bytes()
    monkeypatch.setattr(module, reader, fate)
    monkeypatch.setattr(module, "READ_DEADLINE", 1.0)
    monkeypatch.setattr(module, "READ_PER_CASE", 0.0)
    with pytest.raises(kalvor.DatasetError) as refusal:
        if call == "dataset":
            kalvor.dataset(short_base(0.002), [{"control.T": 0.0}], out, client=client,
                           progress=False)
        else:
            kalvor.read_table(out)
    assert str(refusal.value).startswith(f"{start.format(damaged)}({says})")
    assert damaged.read_bytes() == held


@pytest.mark.parametrize("make", [os.mkfifo, os.mkdir, lambda p: os.symlink("/dev/zero", p)],
                         ids=["FIFO", "folder", "symbolic link"])
@pytest.mark.parametrize("name", ["part-000000-0123abcd.h5", ".part-000001-0123abcd.h5.tmp"])
def test_what_is_no_part_file_in_the_parts_folder_is_refused_at_once(tmp_path, make, name):
    parts = tmp_path / "d.h5.parts"
    parts.mkdir()
    make(str(parts / name))
    with pytest.raises(kalvor.DatasetError, match=f"^{parts / name} is not a part file "):
        kalvor.dataset(short_base(0.002), [{"control.T": 0.0}], tmp_path / "d.h5",
                       client=object(), progress=False)  # refused before any task
    assert sorted(p.name for p in parts.iterdir()) == [name]


@pytest.mark.parametrize("where", ["output file", "part file"])
def test_a_dataset_damaged_anywhere_is_read_or_refused_in_one_message(client, tmp_path,
                                                                     monkeypatch, where):
    """Bytes of a finished dataset changed at random, as the output file or as a part an
    interrupted run left (libhdf5 1.10 dies of some, and loops on others): every file is either
    read or refused with a DatasetError naming it (read_table: or the OSError of a file that is
    no HDF5), and this process lives on."""
    import random

    import kalvor._dataset as module

    monkeypatch.setattr(module, "READ_DEADLINE", 5.0)  # an intact file here takes milliseconds
    cases = [{"control.T": 0.0}, {"control.T": -1.0}]
    clean = tmp_path / "clean.h5"
    kalvor.dataset(short_base(0.002), cases, clean, client=client, progress=False)
    original = clean.read_bytes()
    out, parts = tmp_path / "damaged.h5", tmp_path / "damaged.h5.parts"
    damaged = out if where == "output file" else parts / "part-000000-0123abcd.h5"
    rng = random.Random(3)
    outcomes = set()
    for _ in range(150):
        data = bytearray(original)
        for _ in range(rng.choice([1, 2, 4, 8])):
            data[rng.randrange(len(data))] = rng.randrange(256)
        for left in (out, parts):
            if left.is_dir():
                shutil.rmtree(left)
            elif left.exists():
                left.unlink()
        damaged.parent.mkdir(exist_ok=True)
        damaged.write_bytes(bytes(data))
        if where == "output file":
            try:
                kalvor.read_table(damaged)
            except kalvor.DatasetError as error:
                assert str(error).startswith(str(damaged))
            except OSError as error:
                assert str(error).startswith(f"{damaged}: Unable to open file")
        try:
            frame = kalvor.dataset(short_base(0.002), cases, out, client=client, progress=False)
            assert len(frame) == len(cases)
            outcomes.add("read")
        except kalvor.DatasetError as error:
            assert str(error).startswith(str(damaged if where == "output file" else parts)), \
                error
            outcomes.add("refused")
    assert outcomes == {"read", "refused"}


def test_an_override_beyond_int64_is_kept_in_the_table_as_text(client, tmp_path):
    out = tmp_path / "d.h5"
    huge = 10**30
    cases = [{"control.Condition": 0}, {"control.Condition": huge}]
    table = kalvor.dataset(short_base(0.002), cases, out, client=client, progress=False)
    assert list(table["status"]) == ["accepted", "refused"]
    assert list(kalvor.read_table(out)["control.Condition"]) == ["0", str(huge)]


class KillOnce:
    """Labels that make case T = -0.1 wait, the first time, until its worker is killed; the
    marker names the worker."""

    def __init__(self, marker):
        self.marker = marker

    def __call__(self, params):
        if params["control.T"] == -0.1 and not os.path.exists(self.marker):
            with open(self.marker + ".tmp", "w") as f:
                f.write(distributed.get_worker().address)
            os.replace(self.marker + ".tmp", self.marker)
            parent, deadline = os.getppid(), time.monotonic() + DEADLINE
            while os.getppid() == parent and time.monotonic() < deadline:
                time.sleep(0.05)
        return {}


def test_a_killed_worker_costs_only_its_batch(client, tmp_path):
    marker = str(tmp_path / "worker")
    pids = client.run(os.getpid)

    def kill_when_marked():
        deadline = time.monotonic() + DEADLINE
        while not os.path.exists(marker) and time.monotonic() < deadline:
            time.sleep(0.02)
        os.kill(pids[open(marker).read()], signal.SIGKILL)

    killer = threading.Thread(target=kill_when_marked, daemon=True)
    killer.start()
    cases = [{"control.T": -0.05 * k} for k in range(6)]
    table = kalvor.dataset(short_base(), cases, tmp_path / "d.h5", labels=KillOnce(marker),
                           batch=2, client=client, progress=False)
    killer.join()
    assert list(table["case"]) == list(range(6))
    assert (table["status"] == "accepted").all()
    with h5py.File(tmp_path / "d.h5", "r") as f:
        assert sorted(f["cases"]) == [f"{k:06d}" for k in range(6)]
    client.wait_for_workers(2, timeout=DEADLINE)


def test_the_client_holds_a_few_cases_at_a_time(client, tmp_path):
    base = short_base(0.1)  # 20000 rows: 9 columns of 1.4 MB per case
    cases = [{"control.T": -0.01 * k} for k in range(48)]
    kalvor.dataset(base, cases[:2], tmp_path / "warm.h5", client=client, progress=False)
    tracemalloc.start()
    try:
        kalvor.dataset(base, cases, tmp_path / "m.h5", batch=2, client=client, progress=False)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    everything = len(cases) * 20001 * 9 * 8
    assert peak < everything / 4, f"peak {peak / 2**20:.1f} MB of {everything / 2**20:.0f} MB"


@pytest.mark.parametrize("lengths, dtype", [((20001, 3, 1), "float64"), ((7, 5, 0), "float32"),
                                            ((1,), "float32"), ((), "float64")])
def test_a_batch_travels_in_one_buffer_and_arrives_bit_identical(lengths, dtype):
    from kalvor._dataset import DatasetJob

    rng = np.random.default_rng(len(lengths))
    items = [(3, DatasetJob.crashed("ended by SIGABRT"))]  # a case without arrays among them
    for index, n in enumerate(lengths):
        arrays = {f"c{k}": (rng.standard_normal(n).astype(dtype), f"C{k} [A]") for k in range(3)}
        items.append((10 + index, {"status": "accepted", "message": "", "arrays": arrays}))
    packed = DatasetJob.pack(items)
    back = DatasetJob.unpack(pickle.loads(pickle.dumps(packed, protocol=5)))
    assert [i for i, _ in back] == [i for i, _ in items]
    buffers = set()
    for (_, sent), (_, got) in zip(items, back):
        rest = [json.dumps({k: v for k, v in e.items() if k != "arrays"}) for e in (sent, got)]
        assert rest[0] == rest[1]
        assert list(got["arrays"]) == list(sent["arrays"])
        for name, (data, label) in sent["arrays"].items():
            arrived, arrived_label = got["arrays"][name]
            assert arrived_label == label and arrived.dtype == data.dtype
            assert arrived.tobytes() == data.tobytes()
            buffers.add(id(arrived.base))
    assert len(buffers) <= 1  # views of one buffer, not copies
