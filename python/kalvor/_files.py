"""Files the package writes (sweep results, figures) go through the program's one atomic writer:
a temporary file beside the destination, renamed over it, so a failed write never leaves a
half-written file and never touches what was there. Files it reads (sweep files) are read as
kalvor-cli reads parameter files: bounded, and refused with a message naming the file; files
read through a C library that may crash on damaged ones (HDF5) are read in a child process."""

import json
import os
import signal
import stat
import sys

from . import _kalvor


def write_atomic(path, data):
    """Writes bytes or text (UTF-8) to path. OSError names the file and the reason."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    _kalvor.write_file(os.fspath(path), bytes(data))


def destination_problem(path):
    """Why path cannot be written (a folder, a read-only file, a missing folder), or None."""
    return _kalvor.check_destination(os.fspath(path))


# A sweep file holds a list of cases: thousands fit in a few MB.
MAX_JSON_BYTES = 16 * 1024 * 1024
# Nesting a sweep file needs: the file, base, its groups, a key's list; cases, a case, a list.
MAX_JSON_DEPTH = 8


def _position(data, offset):
    """'line L, column C' of a byte offset."""
    line = data.count(b"\n", 0, offset) + 1
    column = offset - data.rfind(b"\n", 0, offset)
    return f"line {line}, column {column}"


def _read_bounded(name, kind, limit):
    """The bytes of a regular file of at most limit bytes; ValueError naming the file."""
    try:
        fd = os.open(name, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC | os.O_NOCTTY)
    except OSError as error:
        raise ValueError(f"{name}: cannot be opened ({error.strerror}).") from None
    try:
        info = os.fstat(fd)
        if stat.S_ISDIR(info.st_mode):
            raise ValueError(f"{name}: is a folder, not a {kind}.")
        if not stat.S_ISREG(info.st_mode):
            raise ValueError(f"{name}: is not a regular file (a device, FIFO or socket), "
                             f"not a {kind}.")
        too_large = f"too large for a {kind} (at most {limit} bytes are read)."
        if info.st_size > limit:
            raise ValueError(f"{name}: is {info.st_size} bytes, {too_large}")
        # A file may grow while it is read: read one byte past the bound at most.
        chunks, size = [], 0
        while True:
            chunk = os.read(fd, 1 << 16)
            if not chunk:
                break
            size += len(chunk)
            if size > limit:
                raise ValueError(f"{name}: is more than {limit} bytes, {too_large}")
            chunks.append(chunk)
        return b"".join(chunks)
    except OSError as error:
        raise ValueError(f"{name}: cannot be read ({error.strerror}).") from None
    finally:
        os.close(fd)


def _depth(value):
    """Levels of lists and objects in a loaded JSON value, counted without recursion."""
    deepest, stack = 0, [(value, 1)]
    while stack:
        item, level = stack.pop()
        if isinstance(item, (list, dict)):
            deepest = max(deepest, level)
            stack.extend((v, level + 1) for v in (item.values() if isinstance(item, dict)
                                                   else item))
    return deepest


def _unique_keys(pairs):
    """An object's dict; ValueError when a key appears twice (almost always a mistake)."""
    result = {}
    for key, value in pairs:
        if key in result:
            raise _DuplicateKey(key)
        result[key] = value
    return result


class _DuplicateKey(Exception):
    pass


def read_json(path, kind="sweep file", limit=MAX_JSON_BYTES, max_depth=MAX_JSON_DEPTH):
    """A JSON file read as kalvor-cli reads a parameter file: only a regular file of at most
    limit bytes, UTF-8, no key twice in one object, nested at most max_depth levels.

    Raises
    ------
    ValueError
        What is wrong and where, the message starting with the file's name.
    """
    name = os.fsdecode(path)
    data = _read_bounded(name, kind, limit)
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        raise ValueError(f"{name}: not valid UTF-8 text at {_position(data, error.start)}.") \
            from None
    try:
        value = json.loads(text, object_pairs_hook=_unique_keys)
    except _DuplicateKey as duplicate:
        raise ValueError(f"{name}: the key {duplicate.args[0]!r} appears twice in one object; "
                         "keep one of them.") from None
    except RecursionError:
        raise ValueError(f"{name}: values are nested deeper than {max_depth} levels.") from None
    except json.JSONDecodeError as error:
        raise ValueError(f"{name}: not JSON at line {error.lineno}, column {error.colno} "
                         f"({error.msg}).") from None
    if _depth(value) > max_depth:
        raise ValueError(f"{name}: values are nested deeper than {max_depth} levels.")
    return value


class AtomicPath:
    """A path to write a whole file at (h5py needs a name), committed over the destination
    only when the block ends without an exception::

        with AtomicPath("data.h5") as temp:
            with h5py.File(temp, "w") as f:
                ...

    or, for a file written over a longer time, open(), then commit() or discard().
    """

    def __init__(self, path):
        self._file = _kalvor.AtomicFile(os.fspath(path))

    def open(self):
        """Creates the temporary file and returns its path."""
        self._file.open()
        return self._file.temp

    def commit(self):
        """Syncs the temporary file and renames it over the destination (OSError naming it)."""
        self._file.commit()

    def discard(self):
        """Removes the temporary file; the destination keeps what it held."""
        self._file.discard()

    def __enter__(self):
        return self.open()

    def __exit__(self, kind, error, trace):
        if kind is None:
            self.commit()
        else:
            self.discard()
        return False


class ReaderCrashed(Exception):
    """The child process reading a file died, or was still reading at its deadline (a C library
    crashing, or looping, on what a damaged file holds): ending says how it died, or is None
    when it hung, and seconds is then the deadline."""

    def __init__(self, ending=None, seconds=None):
        super().__init__(ending or f"still reading after {seconds:g} s")
        self.ending, self.seconds = ending, seconds


def how_ended(status):
    """How a waited-for child process ended, from its wait status ("ended by SIGSEGV")."""
    if os.WIFSIGNALED(status):
        number = os.WTERMSIG(status)
        try:
            return f"ended by {signal.Signals(number).name}"
        except ValueError:
            return f"ended by signal {number}"
    return f"exit status {os.WEXITSTATUS(status)}"


def fork_writer(work):
    """Forks a child that runs work(pipe), pipe a binary file whose reading end this process
    gets, and exits (status 70 when work raises); returns (pid, reading end)."""
    sys.stdout.flush()
    sys.stderr.flush()
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:  # the child: no return from here
        code = 0
        try:
            os.close(read_end)
            with os.fdopen(write_end, "wb") as pipe:
                work(pipe)
        except BaseException:
            code = 70
        finally:
            sys.stdout.flush()
            sys.stderr.flush()
            os._exit(code)
    os.close(write_end)
    return pid, read_end


def isolated(fn, *args, deadline=None):
    """fn(*args) in a forked child where the system can fork, for readers of files a library
    may crash or loop on (libhdf5 follows what a damaged file's headers say): its value, or the
    exception it raised, comes back pickled; a child that dies, or still runs after deadline
    seconds (then killed), raises ReaderCrashed, and this process goes on."""
    import pickle

    if not hasattr(os, "fork"):
        return fn(*args)

    def work(pipe):
        try:
            outcome = (True, fn(*args))
        except Exception as error:
            outcome = (False, error)
        try:
            data = pickle.dumps(outcome, protocol=pickle.HIGHEST_PROTOCOL)
        except Exception:  # an exception that does not pickle: its text does
            error = RuntimeError(f"{type(outcome[1]).__name__}: {outcome[1]}")
            data = pickle.dumps((False, error), protocol=pickle.HIGHEST_PROTOCOL)
        pipe.write(data)

    pid, read_end = fork_writer(work)
    try:
        data = _read_until(read_end, deadline)
        _, status = os.waitpid(pid, 0)
        pid = None
    finally:
        os.close(read_end)
        if pid is not None:  # hung, or interrupted (Ctrl-C): the child goes too
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
    if not data:
        raise ReaderCrashed(how_ended(status))
    ok, value = pickle.loads(data)
    if ok:
        return value
    raise value


def _read_until(fd, deadline):
    """Everything a pipe brings until its writer closes it; ReaderCrashed once deadline seconds
    (None: no limit) have passed."""
    import select
    import time

    end = None if deadline is None else time.monotonic() + deadline
    chunks = []
    while True:
        if end is not None:
            ready, _, _ = select.select([fd], [], [], max(0.0, end - time.monotonic()))
            if not ready:
                raise ReaderCrashed(seconds=deadline)
        chunk = os.read(fd, 1 << 16)
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)
