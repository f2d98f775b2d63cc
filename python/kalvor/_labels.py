"""The labels of a case, read from its parameters: what failed, when, under which load, speed
reference and control scheme."""

import math

# Failure codes of FailT and FailD.
FAULT_KINDS = {1: "short", 2: "open"}
# control.Condition 1..3: the supplies other than the inverter.
CONDITION_SCHEMES = {1: "sine", 2: "generator_rc", 3: "generator_r"}


def failed_devices(failures):
    """(device, kind) of every failed transistor and diode, T1..T6 then D1..D6."""
    out = []
    for prefix, key in (("T", "FailT"), ("D", "FailD")):
        for k, code in enumerate(failures[key], start=1):
            if code:
                out.append((f"{prefix}{k}", FAULT_KINDS.get(code, f"code {code}")))
    return out


def final_speed_reference(path):
    """The speed of the speed path's last point [rad/s] ("0.0*100.0*" -> 100), NaN without."""
    values = [v for v in path.strip().split("*") if v.strip()]
    try:
        return float(values[-1]) if len(values) >= 2 else math.nan
    except ValueError:
        return math.nan


def scheme(control):
    """svpwm, six_step or foc with the inverter; sine, generator_rc or generator_r otherwise."""
    condition = control["Condition"]
    if condition != 0:
        return CONDITION_SCHEMES.get(condition, f"condition {condition}")
    if control.get("Scheme", 0) == 1:
        return "foc"
    return "six_step" if control["ControlMethod"] == 1 else "svpwm"


def default_labels(params):
    """fault, device, onset, clear, load, speed_ref and scheme of a case's parameters.

    fault is healthy, open or short; with several failed devices fault and device list them
    comma-separated in the same order ("open,short", "T1,D4"). onset and clear are NaN for a
    healthy drive; clear is inf for a fault that never clears.
    """
    groups = params.to_dict()
    failures, control = groups["failures"], groups["control"]
    failed = failed_devices(failures)
    healthy = not failed
    clear = failures.get("Clear", 0.0)
    return {
        "fault": "healthy" if healthy else ",".join(kind for _, kind in failed),
        "device": ",".join(device for device, _ in failed),
        "onset": math.nan if healthy else float(failures.get("Onset", 0.0)),
        "clear": math.nan if healthy else (float(clear) if clear > 0 else math.inf),
        "load": float(control["T"]),
        "speed_ref": final_speed_reference(control["SpeedPath"]),
        "scheme": scheme(control),
    }
