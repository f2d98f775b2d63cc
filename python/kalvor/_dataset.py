"""Datasets: each case's waveforms, labels, status and events in one HDF5 file, written as the
results arrive and never losing a finished case.

HDF5 is not safe against a kill in the middle of a write, so nothing is ever changed in place:
each batch of results becomes a part file of its own in OUT.parts/ (written under a temporary
name and renamed), and OUT itself is rewritten the same way, holding an external link per
finished case into its part (after a batch when due, see Store). A kill at any moment leaves
the last OUT, which opens and reaches the cases committed before it; the rerun reads the
parts, skips their cases and computes the rest. The complete file is built beside OUT as the
parts come, and renamed over it with the table when every case is in; the parts then go.
"""

import hashlib
import io
import json
import math
import os
import shutil
import uuid

import numpy as np

from ._files import AtomicPath, ReaderCrashed, destination_problem, isolated
from ._labels import default_labels
from ._metrics import resolve
from ._params import Params
from ._result import COLUMNS, FOC_COLUMNS
from ._sweep import _Bar, attempt, expand_cases, quiet_logs
from ._tasks import MAX_BATCH, crashed_entry, local_client, run_cases

FORMAT = "kalvor-dataset"
FORMAT_VERSION = 1
DEFAULT_COLUMNS = ("t", "ia", "ib", "ic", "Uab", "Ubc", "IDC", "omegaR", "Te")
# Added to the default columns when a run has them (field-oriented control).
DQ_COLUMNS = ("id", "iq", "id*", "iq*", "ud*", "uq*")
DTYPES = ("float64", "float32")
# The phase currents by the lower-case names of the default columns ("ic" alone would also
# match the capacitor current IC).
ALIASES = {"ia": "Ia", "ib": "Ib", "ic": "Ic"}
# Attributes of a case group that are not labels or metrics.
CASE_ATTRS = ("overrides", "events", "dt")
# Names a label or metric cannot take: the case attributes and the table's own columns.
RESERVED = set(CASE_ATTRS) | {"case", "status", "message"}
# A batch's arrays the client holds at once, by default at most [bytes].
BATCH_BYTES = 64 * 2**20
CASE_WIDTH = 6
# How long a file's reader may take before the file counts as one libhdf5 loops on [s]: far
# beyond what an intact file takes (a thousand cases' attributes take 0.4 s), plus
# per case of the list for the output file.
READ_DEADLINE = 120.0
READ_PER_CASE = 0.01


class DatasetError(ValueError):
    """The output file cannot take this dataset (another dataset, not a dataset, unwritable)."""


def _h5py():
    try:
        import h5py
    except ImportError:
        raise DatasetError("datasets need h5py: install python3-h5py.") from None
    return h5py


def case_name(index):
    return f"{index:0{CASE_WIDTH}d}"


def _plain(value):
    """A JSON-ready value (numpy scalars and arrays, tuples)."""
    if hasattr(value, "tolist"):
        return value.tolist()
    if isinstance(value, tuple):
        return [_plain(v) for v in value]
    return value


def _json(value):
    return json.dumps(value, default=_plain, allow_nan=True)


def _describe(fn):
    """What identifies a metrics or labels choice across runs: names, or the callable's name."""
    if fn is None:
        return None
    names = getattr(fn, "names", None)
    if names is not None:
        return list(names)
    named = fn if hasattr(fn, "__qualname__") else type(fn)
    return f"{named.__module__}.{named.__qualname__}"


# ---- the work on a worker ------------------------------------------------------------------


def column_label(labels, name):
    """The label of a column among labels, by label or symbol ("Ia [A]", "Ia"), else by its
    symbol in any case ("omegar"); ia, ib, ic are the phase currents. KeyError naming the
    columns there are."""
    if name in labels:
        return name
    symbols = [label.split(" [")[0] for label in labels]
    if name not in symbols:
        name = ALIASES.get(name, name)
    for wanted in (lambda s: s == name, lambda s: s.lower() == name.lower()):
        found = [k for k, s in enumerate(symbols) if wanted(s)]
        if len(found) == 1:
            return labels[found[0]]
    raise KeyError(f"column {name!r}: no such column; the columns are {', '.join(symbols)}")


def find_column(result, name):
    """A result column by label or symbol, as column_label finds it: (array, label)."""
    label = column_label(list(result.columns), name)
    return result[label], label


def event_records(result):
    """Result.events as a list of dicts (t, kind, source, value); empty without events."""
    events = getattr(result, "events", None)
    if events is None:
        return []
    names = ("t", "kind", "source", "value")
    if getattr(getattr(events, "dtype", None), "names", None):
        names = events.dtype.names
        return [dict(zip(names, _plain(record))) for record in events]
    out = []
    for record in events:
        if isinstance(record, dict):
            out.append({k: _plain(v) for k, v in record.items()})
        elif hasattr(record, "_asdict"):
            out.append({k: _plain(v) for k, v in record._asdict().items()})
        elif isinstance(record, (tuple, list)):
            out.append(dict(zip(names, map(_plain, record))))
        else:
            out.append({n: _plain(getattr(record, n, None)) for n in names})
    return out


class DatasetJob:
    """A dataset's work per case on a worker: the run, its labels, metrics and decimated
    columns (a class, so that Dask can pickle it)."""

    def __init__(self, columns, every, dtype, metrics, labels):
        self.columns, self.every, self.dtype = columns, every, dtype
        self.metrics, self.labels = metrics, labels

    def __call__(self, index, case, base_text):
        params, result, row = attempt(case, base_text)
        entry = {"status": row["status"], "message": row["message"], "labels": {},
                 "metrics": {}, "arrays": {}, "events": [], "dt": math.nan}
        if params is not None:
            self._label(entry, params)
        if result is None or entry["status"] == "error":
            return entry
        if self.metrics is not None:
            self._measure(entry, result)
        self._arrays(entry, result)
        entry["events"] = event_records(result)
        groups = params.to_dict()["time"]
        entry["dt"] = groups["H"] * groups.get("Every", 1) * self.every
        return entry

    @staticmethod
    def crashed(ending):
        """The entry of a case whose process died."""
        return {**crashed_entry(ending), "labels": {}, "metrics": {}, "arrays": {},
                "events": [], "dt": math.nan}

    @staticmethod
    def pack(items):
        return pack_arrays(items)

    @staticmethod
    def unpack(packed):
        return unpack_arrays(packed)

    def _label(self, entry, params):
        try:
            entry["labels"] = default_labels(params)
            if self.labels is not None:
                entry["labels"].update(self.labels(params))
        except Exception as error:  # a labels function of the user's that fails
            entry.update(status="error", message=f"labels: {type(error).__name__}: {error}")
            return
        _refuse_reserved(entry, "labels")

    def _measure(self, entry, result):
        try:
            entry["metrics"] = dict(self.metrics(result))
        except Exception as error:  # a metric of the user's that fails
            entry.update(status="error", message=f"{type(error).__name__}: {error}")
            return
        _refuse_reserved(entry, "metrics")
        clash = set(entry["labels"]) & set(entry["metrics"])
        if clash:
            entry.update(status="error", message=f"metrics: {sorted(clash)[0]!r} is also a "
                         "label; name the metric otherwise.")

    def _arrays(self, entry, result):
        names = self.columns
        if names is None:
            names = list(DEFAULT_COLUMNS) + [c for c in DQ_COLUMNS if _has(result, c)]
        try:
            for name in names:
                values, label = find_column(result, name)
                data = np.ascontiguousarray(values[::self.every], dtype=self.dtype)
                entry["arrays"][name] = (data, label)
        except KeyError as error:
            entry.update(status="error", message=str(error.args[0]), arrays={})


def _aligned(nbytes):
    return -(-nbytes // 8) * 8


def pack_arrays(items):
    """(items, buffer): a batch's (index, entry) with every array moved into one contiguous
    buffer, each entry's arrays then (dtype, length, offset, label). Dask moves one large buffer
    several times cheaper than the same bytes as many arrays nested in dicts (23 MB: 10 ms of
    the worker's CPU against 60 ms)."""
    arrays = [data for _, entry in items for data, _ in entry["arrays"].values()]
    buffer = np.empty(sum(_aligned(data.nbytes) for data in arrays), dtype=np.uint8)
    packed, offset = [], 0
    for index, entry in items:
        placed = {}
        for name, (data, label) in entry["arrays"].items():
            buffer[offset:offset + data.nbytes] = np.ascontiguousarray(data).view(np.uint8)
            placed[name] = (data.dtype.str, data.size, offset, label)
            offset += _aligned(data.nbytes)
        packed.append((index, {**entry, "arrays": placed}))
    return packed, buffer


def unpack_arrays(packed):
    """The items pack_arrays was given, each array a view of the buffer."""
    items, buffer = packed
    out = []
    for index, entry in items:
        arrays = {name: (np.frombuffer(buffer, dtype=dtype, count=count, offset=offset), label)
                  for name, (dtype, count, offset, label) in entry["arrays"].items()}
        out.append((index, {**entry, "arrays": arrays}))
    return out


def _refuse_reserved(entry, kind):
    clash = RESERVED & set(entry[kind])
    if clash:
        entry.update(status="error", message=f"{kind}: {sorted(clash)[0]!r} is a name the "
                     "dataset uses itself; name it otherwise.")


def _has(result, name):
    try:
        find_column(result, name)
    except KeyError:
        return False
    return True


# ---- the file ------------------------------------------------------------------------------


def _attr_value(value):
    """A value h5py stores as an attribute: numbers and text as they are, lists of text as
    arrays of text, anything else as its JSON text."""
    value = _plain(value)
    if value is None:
        return ""
    if isinstance(value, (bool, int, float, str)):
        return value
    if isinstance(value, list) and value and all(isinstance(v, str) for v in value):
        return value
    return _json(value)


def _read_attr(value):
    if isinstance(value, bytes):
        return value.decode("utf-8")
    if isinstance(value, np.ndarray):
        return [_read_attr(v) for v in value.tolist()]
    if isinstance(value, np.generic):
        return value.item()
    return value


def write_case(parent, name, overrides, entry):
    """The group of one case: its arrays and its attributes (status, message, labels, metrics,
    overrides and events as JSON, dt)."""
    group = parent.create_group(name)
    for column, (data, _) in entry["arrays"].items():
        group.create_dataset(column, data=data)
    attrs = {"status": entry["status"], "message": entry["message"],
             **{k: _attr_value(v) for k, v in entry["labels"].items()},
             **{k: _attr_value(v) for k, v in entry["metrics"].items()},
             "overrides": _json(overrides), "events": _json(entry["events"]), "dt": entry["dt"]}
    for key, value in attrs.items():
        group.attrs[key] = value


def case_row(group):
    """The table row of a stored case: status, message, labels and metrics."""
    return {k: _read_attr(v) for k, v in group.attrs.items() if k not in CASE_ATTRS}


def _whole(value):
    return isinstance(value, (int, np.integer)) and not isinstance(value, bool)


def _column(values):
    """A table column: int64 or float64 when every value is a number (None as NaN), else
    text (lists as JSON, None as empty). A whole number beyond int64 (an override the run
    refused) makes the column text: as a float it would be rounded, or too large to hold."""
    numbers = all(v is None or isinstance(v, (bool, int, float, np.number)) for v in values)
    if any(_whole(v) and not -2**63 <= v < 2**63 for v in values):
        numbers = False
    if numbers and all(_whole(v) for v in values):
        return np.array(values, dtype=np.int64)
    if numbers:
        return np.array([math.nan if v is None else float(v) for v in values])
    text = ["" if v is None else v if isinstance(v, str) else _json(v) for v in values]
    return np.array(text, dtype=object)


def write_table(root, rows):
    """Group table: one dataset per column, one element per finished case, in case order."""
    h5py = _h5py()
    table = root.create_group("table", track_order=True)
    keys = list(dict.fromkeys(k for row in rows for k in row))
    for key in keys:
        values = _column([row.get(key) for row in rows])
        if values.dtype == object:
            table.create_dataset(key, data=values, dtype=h5py.string_dtype())
        else:
            table.create_dataset(key, data=values)


class Identity:
    """What makes two runs the same dataset: base parameters, case list and what is stored."""

    def __init__(self, base_text, cases, columns, every, dtype, metrics, labels):
        self.fields = {
            "base": base_text,
            "cases": _json(cases),
            "columns": _json(None if columns is None else list(columns)),
            "every": int(every),
            "dtype": dtype,
            "metrics": _json(_describe(metrics)),
            "labels": _json(_describe(labels)),
        }
        self.digest = hashlib.sha256(_json(self.fields).encode("utf-8")).hexdigest()

    def write(self, root, complete, n_cases, n_finished):
        from . import __version__

        root.attrs["format"] = FORMAT
        root.attrs["format_version"] = FORMAT_VERSION
        root.attrs["kalvor_version"] = __version__
        for key, value in self.fields.items():
            root.attrs[key] = value
        root.attrs["identity"] = self.digest
        root.attrs["case_count"] = n_cases
        root.attrs["finished_count"] = n_finished
        root.attrs["complete"] = complete

    def difference(self, root, path):
        """Why the file at path (root its open root group) holds another dataset, or None."""
        attrs = root.attrs
        if _read_attr(attrs.get("format", "")) != FORMAT:
            return (f"{path} exists and is not a Kalvor dataset: choose another output file or "
                    "remove it.")
        if _read_attr(attrs.get("identity", "")) == self.digest:
            return None
        stored = {k: _read_attr(attrs.get(k)) for k in self.fields}
        if stored["base"] != self.fields["base"]:
            return (f"{path} holds a dataset of other base parameters: run it with the base "
                    "it was started with, or write to another file.")
        if stored["cases"] != self.fields["cases"]:
            held = len(json.loads(stored["cases"] or "[]"))
            given = len(json.loads(self.fields["cases"]))
            return (f"{path} holds a dataset of another case list ({held} cases there, "
                    f"{given} given, or the same number with other overrides): run it with the "
                    "cases it was started with, or write to another file.")
        changed = [k for k in self.fields if stored[k] != self.fields[k]]
        there = "; ".join(f"{k} {stored[k]} there, {self.fields[k]} given" for k in changed)
        return (f"{path} holds a dataset with other settings ({there}): run it with the same "
                "settings, or write to another file.")


class FinalFile:
    """The complete file, built beside OUT while the cases arrive: each batch's part is copied
    into it once written, so that finishing costs the last batch, the table and the rename, not
    a copy of every case. Its temporary file is synced after each batch, so the commit's sync
    has little left to do. A kill leaves only that temporary file, which the next write of OUT
    removes; a resumed run builds a new one from the parts."""

    def __init__(self, path):
        h5py = _h5py()
        self._atomic = AtomicPath(path)
        self._temp = self._atomic.open()
        try:
            self._file = h5py.File(self._temp, "w")
            self.cases = self._file.create_group("cases")
        except BaseException:
            self._atomic.discard()
            raise

    def copy_part(self, path, indices):
        """The cases of a part file (HDF5's own copy: cheaper than writing the arrays again)."""
        with _h5py().File(path, "r") as source:
            for index in indices:
                name = case_name(index)
                source.copy(source[f"cases/{name}"], self.cases, name=name)

    def sync(self):
        """Pushes what is written so far to the disk."""
        self._file.flush()
        fd = os.open(self._temp, os.O_RDONLY | os.O_CLOEXEC)
        try:
            os.fsync(fd)
        finally:
            os.close(fd)

    def commit(self, identity, n_cases, column_labels, rows):
        """Root attributes and the table, then the file over OUT."""
        identity.write(self._file, True, n_cases, n_cases)
        self._file.attrs["column_labels"] = _json(column_labels)
        write_table(self._file, rows)
        self._file.close()
        self._atomic.commit()

    def discard(self):
        try:
            self._file.close()
        finally:
            self._atomic.discard()


# What h5py and the attribute readers raise on a file whose groups or attributes are missing
# or hold something else than this package writes (RuntimeError: HDF5's own checks of its
# headers).
DAMAGE = (KeyError, ValueError, TypeError, AttributeError, RuntimeError)


def _damage(error):
    """An exception's message without the quotes KeyError adds."""
    if isinstance(error, KeyError) and error.args:
        return str(error.args[0])
    return str(error) or type(error).__name__


def _unreadable_out(path, why):
    return DatasetError(f"{path} exists and cannot be read as HDF5 ({why}): choose another "
                        "output file or remove it.")


def _unreadable_part(path, why):
    return DatasetError(f"{path} cannot be read ({why}): remove it to compute its cases again.")


def _failure(crash):
    """What became of a reader run isolated."""
    if crash.ending is None:
        return (f"the HDF5 library was still reading it after {crash.seconds:g} s, as it can "
                "loop for good on a damaged file")
    return f"the HDF5 library crashed reading it, {crash.ending}"


def read_out(path, identity):
    """(complete, column labels, {case: table row} when complete) of an existing OUT; a
    DatasetError when it holds another dataset, is no dataset or is damaged. Run isolated."""
    h5py = _h5py()
    try:
        with h5py.File(path, "r") as f:
            difference = identity.difference(f, path)
            if difference:
                raise DatasetError(difference)
            complete = bool(f.attrs["complete"])
            labels = dict(json.loads(_read_attr(f.attrs["column_labels"])))
            rows = {int(name): case_row(group) for name, group in f["cases"].items()} \
                if complete else {}
            return complete, labels, rows
    except DatasetError:
        raise
    except OSError as error:
        raise _unreadable_out(path, error) from None
    except DAMAGE as error:
        raise DatasetError(f"{path} is a Kalvor dataset that cannot be read "
                           f"({_damage(error)}): it is damaged; choose another output file or "
                           "remove it.") from None


def read_part(path, digest, folder):
    """(column labels, {case: table row}) of a part file of the dataset whose identity is
    digest; a DatasetError when it is another dataset's or damaged. Its cases are also copied
    into a file in memory, as the final file will take them. Run isolated."""
    h5py = _h5py()
    try:
        with h5py.File(path, "r") as f, h5py.File(io.BytesIO(), "w") as scratch:
            if _read_attr(f.attrs.get("identity", "")) != digest:
                raise DatasetError(f"{folder} holds cases of another dataset "
                                   f"({os.path.basename(path)}): remove the folder or write to "
                                   "another file.")
            rows = {}
            for case, group in f["cases"].items():
                rows[int(case)] = case_row(group)
                f.copy(group, scratch, name=case)
            return dict(json.loads(_read_attr(f.attrs["column_labels"]))), rows
    except DatasetError:
        raise
    except (OSError, *DAMAGE) as error:
        raise _unreadable_part(path, _damage(error)) from None


class Store:
    """The output file and its part files, with the finished cases found in them.

    The parts are what a rerun trusts. OUT, holding a link per finished case into its part, is
    rewritten after every batch, so a run killed at any moment leaves it holding every case
    whose part was written before its last rewrite; it is brought up to date whenever the run
    ends short of complete.
    """

    def __init__(self, path, identity, cases):
        self.path = os.fspath(path)
        self.parts = self.path + ".parts"
        self.identity, self.cases = identity, cases
        self.finished = {}  # case index -> (part file name or None, table row)
        self.labels = {}  # stored column -> its result label with the unit ("Ia [A]")
        self.complete = False
        self._final = None

    def _row(self, index, row):
        overrides = {k: _plain(v) for k, v in self.cases[index].items()}
        return {"case": index, **overrides, **row}

    def open(self):
        """Checks the file is this dataset's (or absent) and reads what is finished."""
        problem = destination_problem(self.path)
        if problem:
            raise DatasetError(problem)
        if os.path.exists(self.path):
            try:
                self.complete, labels, rows = isolated(
                    read_out, self.path, self.identity,
                    deadline=READ_DEADLINE + READ_PER_CASE * len(self.cases))
            except ReaderCrashed as crash:
                raise _unreadable_out(self.path, _failure(crash)) from None
            self.labels.update(labels)
            self.finished.update((index, (None, row)) for index, row in rows.items())
        if not self.complete:
            self._read_parts()
            self._write_master()

    def _read_parts(self):
        if not os.path.isdir(self.parts):
            return
        for name in sorted(os.listdir(self.parts)):
            path = os.path.join(self.parts, name)
            if not os.path.isfile(path) or os.path.islink(path):  # a FIFO would block the read
                raise DatasetError(f"{path} is not a part file (not a regular file): remove it "
                                   "from the folder to go on.")
            if name.startswith("."):  # a part whose writer was killed before its rename
                os.remove(path)
                continue
            try:
                labels, rows = isolated(read_part, path, self.identity.digest, self.parts,
                                        deadline=READ_DEADLINE)
            except ReaderCrashed as crash:
                raise _unreadable_part(path, _failure(crash)) from None
            self.labels.update(labels)
            self.finished.update((index, (name, row)) for index, row in rows.items())

    def add(self, items):
        """Writes a batch's cases to a part file of their own and to the final file, then
        OUT."""
        if not items:
            return
        h5py = _h5py()
        final = self._final_file()
        os.makedirs(self.parts, exist_ok=True)
        first = min(index for index, _ in items)
        name = f"part-{case_name(first)}-{uuid.uuid4().hex[:8]}.h5"
        labels = {k: label for _, e in items for k, (_, label) in e["arrays"].items()}
        self.labels.update(labels)
        with AtomicPath(os.path.join(self.parts, name)) as temp:
            with h5py.File(temp, "w") as f:
                f.attrs["identity"] = self.identity.digest
                f.attrs["column_labels"] = _json(labels)
                cases = f.create_group("cases")
                for index, entry in items:
                    write_case(cases, case_name(index), self.cases[index], entry)
        for index, entry in items:
            row = {"status": entry["status"], "message": entry["message"],
                   **{k: _attr_value(v) for k, v in entry["labels"].items()},
                   **{k: _attr_value(v) for k, v in entry["metrics"].items()}}
            self.finished[index] = (name, row)
        final.copy_part(os.path.join(self.parts, name), [index for index, _ in items])
        if len(self.finished) < len(self.cases):
            final.sync()
            self._write_master()

    def _final_file(self):
        """The final file, with the cases of the parts a resumed run found copied in."""
        if self._final is None:
            h5py = _h5py()
            self._final = FinalFile(self.path)
            for part in sorted({part for part, _ in self.finished.values()}):
                path = os.path.join(self.parts, part)
                with h5py.File(path, "r") as source:
                    held = [int(name) for name in source["cases"]]
                self._final.copy_part(path, [i for i in held if self.finished[i][0] == part])
        return self._final

    def rows(self):
        return [self._row(i, self.finished[i][1]) for i in sorted(self.finished)]

    def _write_master(self):
        """OUT with, per finished case, a link into its part."""
        h5py = _h5py()
        with AtomicPath(self.path) as temp:
            with h5py.File(temp, "w") as f:
                self.identity.write(f, False, len(self.cases), len(self.finished))
                f.attrs["column_labels"] = _json(self.labels)
                cases = f.create_group("cases")
                for index in sorted(self.finished):
                    part, _ = self.finished[index]
                    name = case_name(index)
                    relative = os.path.join(os.path.basename(self.parts), part)
                    cases[name] = h5py.ExternalLink(relative, f"/cases/{name}")

    def finish(self):
        """The self-contained file once every case is in (the parts then go); otherwise OUT
        brought up to date."""
        if self.complete:
            shutil.rmtree(self.parts, ignore_errors=True)
            return
        if len(self.finished) < len(self.cases):
            self.close()
            return
        final = self._final_file()
        self._final = None
        try:
            final.commit(self.identity, len(self.cases), self.labels, self.rows())
        except BaseException:
            final.discard()
            raise
        self.complete = True
        shutil.rmtree(self.parts, ignore_errors=True)

    def close(self):
        """After a run that ends short (an error, Ctrl-C): the final file goes, OUT reaches
        every part."""
        final, self._final = self._final, None
        try:
            if final is not None:
                final.discard()
        finally:
            self._write_master()


def _check_arguments(columns, every, dtype, labels, batch):
    if columns is not None:
        if isinstance(columns, str) or not all(isinstance(c, str) for c in columns):
            raise ValueError("columns must be a list of column names (\"ia\", \"Ia [A]\").")
        if not columns:
            raise ValueError("columns must name at least one column.")
        for name in columns:  # a name no run has would fail every case
            try:
                column_label(COLUMNS + FOC_COLUMNS, name)
            except KeyError as error:
                raise ValueError(f"columns: {error.args[0]} (the last six in field-oriented "
                                 "runs).") from None
    if isinstance(every, bool) or not isinstance(every, (int, np.integer)) or every < 1:
        raise ValueError(f"every {every!r} is not accepted: enter a whole number of 1 or more.")
    if dtype not in DTYPES:
        raise ValueError(f"dtype {dtype!r} is not accepted: enter float64 or float32.")
    if labels is not None and not callable(labels):
        raise ValueError("labels must be a callable Params -> dict of labels, or None.")
    if batch is not None and (isinstance(batch, bool) or not isinstance(batch, int) or batch < 1):
        raise ValueError(f"batch {batch!r} is not accepted: enter a number of cases of 1 or more.")


def _batch_limit(base, n_columns, every, dtype):
    """Most cases per task so that a batch's arrays stay within BATCH_BYTES."""
    timing = base.to_dict()["time"]
    rows = (abs(timing["Te"] - timing["Ts"]) / timing["H"] / max(1, timing.get("Every", 1))
            / every)
    per_case = (rows + 2) * n_columns * np.dtype(dtype).itemsize
    return max(1, int(BATCH_BYTES // max(per_case, 1)))


def dataset(base, cases, out, columns=None, every=1, labels=None, client=None, batch=None,
            progress=True, metrics=None, dtype="float64"):
    """Runs every case on Dask and writes its waveforms, labels and status to one HDF5 file.

    Parameters
    ----------
    base : Params or None
        The parameters every case starts from (the defaults when None).
    cases : list of dict or dict of lists
        Overrides per case, as for :func:`kalvor.sweep`.
    out : str or os.PathLike
        The HDF5 file. A file of the same dataset left by an interrupted run is resumed: its
        finished cases are kept and only the others computed.
    columns : list of str, optional
        Result columns per case, by label or symbol in any case ("ia", "Ia [A]"); by default
        t, ia, ib, ic, Uab, Ubc, IDC, omegaR, Te (and id, iq, id*, iq*, ud*, uq* for a run
        that has them).
    every : int
        Keep every n-th row (the sample interval becomes H x time.Every x every).
    labels : callable, optional
        Params -> dict of labels added to (or replacing) the default ones: fault, device,
        onset, clear, load, speed_ref and scheme.
    client : distributed.Client, optional
        Where the tasks run; None starts a LocalCluster with one worker process per core.
    batch : int, optional
        Cases per Dask task; by default two tasks per worker thread, at most 16 cases each and
        at most 64 MB of arrays, the last tasks smaller.
    progress : bool
        Draw a progress bar on stderr.
    metrics : callable, str or list of str, optional
        Metrics added to each case's attributes and to the table, as for sweep.
    dtype : {"float64", "float32"}
        Type of the stored arrays.

    Returns
    -------
    pandas.DataFrame
        The table of the file: one row per case with case, the overrides, status, message,
        labels and metrics (the file holds it once every case is in).

    Raises
    ------
    DatasetError
        out holds another dataset (other base parameters or cases) or is not a dataset.
    RuntimeError
        As :func:`kalvor.sweep`: no guard, a worker that cannot import the package.
    """
    import pandas

    _check_arguments(columns, every, dtype, labels, batch)
    base = Params() if base is None else base
    case_list = [{k: _plain(v) for k, v in case.items()} for case in expand_cases(cases)]
    fn = resolve(metrics) if metrics is not None else None
    identity = Identity(base.text(), case_list, columns, every, dtype, fn, labels)
    store = Store(out, identity, case_list)
    store.open()
    todo = len(case_list) - len(store.finished)
    if todo:
        own = client is None
        cluster = None
        if own:
            client, cluster = local_client("kalvor.dataset")
        n_columns = len(columns) if columns is not None else len(DEFAULT_COLUMNS) + len(DQ_COLUMNS)
        job = DatasetJob(None if columns is None else list(columns), int(every), dtype, fn, labels)
        bar = _Bar(todo, "dataset") if progress else None
        interrupted = False
        try:
            for items in run_cases(client, case_list, base.text(), job, batch=batch,
                                   done=set(store.finished),
                                   limit=min(MAX_BATCH, _batch_limit(base, n_columns, every,
                                                                     dtype)), taper=True):
                store.add(items)
                if bar:
                    for _ in items:
                        bar.step()
        except BaseException as error:
            interrupted = isinstance(error, KeyboardInterrupt)
            store.close()
            raise
        finally:
            with quiet_logs(interrupted or own):
                if own:
                    client.close()
                    cluster.close()
    store.finish()
    return pandas.DataFrame(store.rows())





def read_table(path):
    """The table of a dataset file as a pandas DataFrame; DatasetError when the file is not a
    complete dataset or is damaged."""
    import pandas

    path = os.fspath(path)
    try:
        return pandas.DataFrame(isolated(_table_columns, path, deadline=READ_DEADLINE))
    except ReaderCrashed as crash:
        raise DatasetError(f"{path} cannot be read as HDF5 ({_failure(crash)}).") from None


def _table_columns(path):
    """{column: values} of a dataset file's table. Run isolated."""
    h5py = _h5py()
    try:
        f = h5py.File(path, "r")
    except OSError as error:
        if error.errno is None:  # h5py names the file only when the system refused it
            raise OSError(f"{path}: {error}") from None
        raise
    with f:
        try:
            if "table" not in f:
                raise DatasetError(
                    f"{path}: the dataset is unfinished "
                    f"({_read_attr(f.attrs.get('finished_count'))} of "
                    f"{_read_attr(f.attrs.get('case_count'))} cases), and its table is written "
                    "when it is complete: run it again to finish it (its cases are readable "
                    "now).")
            table = f["table"]
            return {k: _decode(table[k][()]) for k in table}
        except (OSError, *DAMAGE) as error:  # the file opened: what follows is damage
            raise DatasetError(f"{path} is a Kalvor dataset that cannot be read "
                               f"({_damage(error)}): it is damaged.") from None


def _decode(values):
    if values.dtype == object:
        return [v.decode("utf-8") if isinstance(v, bytes) else v for v in values]
    return values


def summary_line(frame, path):
    counts = frame["status"].value_counts() if len(frame) else {}
    text = ", ".join(f"{n} {s}" for s, n in counts.items()) or "no cases"
    return f"{len(frame)} cases in {path}: {text}"

