"""The parameter set of a calculation, as the program's dialogs and files hold it."""

import json

from . import _kalvor
from ._kalvor import ParameterError

# The groups a calculation reads; a bare key ("Ud") is looked up among them.
RUN_GROUPS = ("control", "motor", "failures", "time")


def _json_value(value):
    """The JSON text of a Python value (numpy scalars and arrays included)."""
    if hasattr(value, "tolist"):
        value = value.tolist()
    elif isinstance(value, tuple):
        value = list(value)
    try:
        return json.dumps(value, allow_nan=True)
    except TypeError:
        raise ParameterError(
            f"{value!r} is not accepted: enter a number, a flag, a text or a list of codes."
        ) from None


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
        return cls(_kalvor.ParamSet.load(str(path)))

    @classmethod
    def from_text(cls, text, source="parameters"):
        """Parses parameter-file text; ``source`` names it in messages."""
        return cls(_kalvor.ParamSet.parse(text, source))

    def save(self, path):
        """Writes the parameter file as the program's Save does."""
        self._set.save(str(path))

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
        if "." in name:
            return name
        groups = self.to_dict()
        found = [g for g in RUN_GROUPS if name in groups[g]]
        if len(found) != 1:
            raise ParameterError(
                f"{name}: unknown key; name it as GROUP.KEY (groups {', '.join(groups)})."
            )
        return f"{found[0]}.{name}"

    def __getitem__(self, name):
        group, _, key = self.qualify(name).partition(".")
        groups = self.to_dict()
        if group not in groups or key not in groups[group]:
            raise KeyError(name)
        return groups[group][key]

    def __setitem__(self, name, value):
        self._set.apply(f"{self.qualify(name)}={_json_value(value)}")

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
