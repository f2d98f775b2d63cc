"""Files the package writes (sweep results, figures) go through the program's one atomic writer:
a temporary file beside the destination, renamed over it, so a failed write never leaves a
half-written file and never touches what was there."""

import os

from . import _kalvor


def write_atomic(path, data):
    """Writes bytes or text (UTF-8) to path. OSError names the file and the reason."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    _kalvor.write_file(os.fspath(path), bytes(data))


def destination_problem(path):
    """Why path cannot be written (a folder, a read-only file, a missing folder), or None."""
    return _kalvor.check_destination(os.fspath(path))


class AtomicPath:
    """A path to write a whole file at (h5py needs a name), committed over the destination
    only when the block ends without an exception::

        with AtomicPath("data.h5") as temp:
            with h5py.File(temp, "w") as f:
                ...
    """

    def __init__(self, path):
        self._file = _kalvor.AtomicFile(os.fspath(path))

    def __enter__(self):
        self._file.open()
        return self._file.temp

    def __exit__(self, kind, error, trace):
        if kind is None:
            self._file.commit()
        else:
            self._file.discard()
        return False
