"""Writing files as the rest of Kalvor does: a temporary file in the destination's folder, then
a rename over the destination, so a failed write never leaves a half-written file."""

import os
import tempfile


def write_atomic(path, data):
    """Writes bytes or text to path through a temporary file and a rename.

    A symbolic link is resolved and its target replaced; a destination that is a folder is
    refused. On failure only the temporary file is removed.
    """
    target = os.path.realpath(path)
    if os.path.isdir(target):
        raise IsADirectoryError(f"{path}: is a folder, not a file")
    folder = os.path.dirname(target) or "."
    if isinstance(data, str):
        data = data.encode("utf-8")
    fd, temporary = tempfile.mkstemp(dir=folder, prefix="." + os.path.basename(target) + ".")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        if os.path.exists(target):
            os.chmod(temporary, os.stat(target).st_mode & 0o7777)
        else:
            umask = os.umask(0)
            os.umask(umask)
            os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, target)
    except BaseException:
        try:
            os.unlink(temporary)
        except FileNotFoundError:
            pass
        raise
