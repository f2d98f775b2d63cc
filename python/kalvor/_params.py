"""The parameter set of a calculation, as the program's dialogs and files hold it."""

import json
import os

from . import _kalvor
from ._kalvor import ParameterError

# The groups a calculation reads; a bare key ("Ud") is looked up among them.
RUN_GROUPS = ("control", "motor", "failures", "time", "foc")


def _keys_by_group():
    """Every group with its keys, in the file's order."""
    keys = {}
    for entry in _kalvor.parameter_reference():
        group, _, key = entry[0].partition(".")
        keys.setdefault(group, []).append(key)
    return keys


_KEYS = _keys_by_group()


def _plain(value):
    """A numpy scalar or array as the Python value json can write; TypeError otherwise."""
    if hasattr(value, "tolist"):
        return value.tolist()
    raise TypeError


def _json_value(value, name="the value"):
    """The JSON text of a Python value (numpy scalars and arrays included, also in lists)."""
    if isinstance(value, tuple):
        value = list(value)
    try:
        text = json.dumps(_plain(value) if hasattr(value, "tolist") else value, allow_nan=True,
                          default=_plain)
    except (TypeError, ValueError):
        raise ParameterError(
            f"{name}: a value of type {type(value).__name__} ({value!r:.60}) is not accepted: "
            "enter a number, a flag, a text or a list of codes."
        ) from None
    return text


def _valid_text(what, text):
    """text itself, or ParameterError when it cannot be stored as UTF-8 (a lone surrogate)."""
    try:
        text.encode("utf-8")
    except UnicodeEncodeError as error:
        raise ParameterError(
            f"{what}: the character {text[error.start]!r} at position {error.start} is not "
            "valid Unicode text (a lone surrogate); enter the text again."
        ) from None
    return text


def _path(path):
    """A file name given as str, bytes or os.PathLike, as text for the engine."""
    try:
        name = os.fsdecode(path)
    except TypeError:
        raise TypeError(
            f"a file name is a str, bytes or os.PathLike, not {type(path).__name__}"
        ) from None
    if "\0" in name:
        raise ParameterError(f"{name!r}: a file name cannot contain a NUL character.")
    return name


class Params:
    """The whole parameter set: control, motor, failures, time and the plot settings.

    Values are read and set by ``"group.key"`` names as in the parameter file; a bare key such
    as ``"Ud"`` names the key of that name in control, motor, failures or time. Setting a value
    applies the same checks as ``kalvor-cli --set``.

    Examples
    --------
    >>> p = kalvor.Params()
    >>> p["control.Ud"] = 150
    >>> p["Ud"]
    150.0
    """

    def __init__(self, _set=None):
        self._set = _kalvor.ParamSet() if _set is None else _set

    @classmethod
    def load(cls, path):
        """Reads a parameter file as the program opens it.

        Raises
        ------
        ParameterError
            The file cannot be read or holds a refused value; the message names the file,
            the key and what is accepted.
        """
        return cls(_kalvor.ParamSet.load(_path(path)))

    @classmethod
    def from_text(cls, text, source="parameters"):
        """Parses parameter-file text; ``source`` names it in messages."""
        if not isinstance(text, str):
            raise TypeError(f"parameter-file text is a str, not {type(text).__name__}")
        return cls(_kalvor.ParamSet.parse(_valid_text(source, text), str(source)))

    def save(self, path):
        """Writes the parameter file as the program's Save does.

        Raises
        ------
        OSError
            The file cannot be written; the message names it and the reason. What was there
            stays as it was.
        """
        self._set.save(_path(path))

    def text(self):
        """The parameter-file text of the set."""
        return self._set.text()

    def to_dict(self):
        """Every group and key with its value, as nested dicts."""
        return json.loads(self._set.text())

    def copy(self):
        return Params(_kalvor.ParamSet(self._set))

    def qualify(self, name):
        """``"group.key"`` for a name given with or without its group."""
        if not isinstance(name, str):
            raise TypeError(
                f"a parameter is named by a str such as 'control.Ud', not {type(name).__name__}"
            )
        _valid_text("parameter name", name)
        if "=" in name or "\0" in name:
            raise ParameterError(
                f"{name!r}: a parameter name cannot contain '=' or a NUL character; name it as "
                "GROUP.KEY, for example 'control.Ud'."
            )
        if "." in name:
            return name
        found = [g for g in RUN_GROUPS if name in _KEYS[g]]
        if len(found) != 1:
            raise ParameterError(
                f"{name}: unknown key; name it as GROUP.KEY (groups {', '.join(sorted(_KEYS))})."
            )
        return f"{found[0]}.{name}"

    def __getitem__(self, name):
        group, _, key = self.qualify(name).partition(".")
        value = self._set.get(group, key)
        if value is None:
            raise KeyError(name)
        return value

    def __setitem__(self, name, value):
        name = self.qualify(name)
        if isinstance(value, str):
            _valid_text(name, value)
        self._set.apply(f"{name}={_json_value(value, name)}")

    def update(self, overrides):
        """Applies every ``name: value`` of overrides in order; on a refusal none is kept."""
        changed = self.copy()
        for name, value in dict(overrides).items():
            changed[name] = value
        self._set = changed._set
        return self

    def __eq__(self, other):
        return isinstance(other, Params) and self._set == other._set

    def __getstate__(self):
        return self.text()

    def __setstate__(self, text):
        self._set = _kalvor.ParamSet.parse(text, "pickled parameters")

    def __repr__(self):
        return f"kalvor.Params({self.to_dict()!r})"


def _reference_text():
    """Every key with its meaning, unit, accepted values and default, for help(Params)."""
    lines = ["", "    Keys", "    ----"]
    for key, meaning, unit, accepted, default in _kalvor.parameter_reference():
        lines.append(f"    {key} = {default}" + (f" [{unit}]" if unit else ""))
        lines.append(f"        {meaning}; {accepted}.")
    return "\n".join(lines) + "\n"


Params.__doc__ += _reference_text()
