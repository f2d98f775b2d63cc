"""The package under hostile conditions: no memory, threads at exit, Ctrl-C, odd input."""

import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import kalvor


def run_python(script, timeout=120, **kwargs):
    """Runs script in a fresh interpreter with this package; (status, stdout, stderr)."""
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(script)], capture_output=True,
                          text=True, timeout=timeout, **kwargs)
    return done.returncode, done.stdout, done.stderr


def test_an_allocation_failure_raises_and_the_interpreter_lives_on():
    status, out, err = run_python("""
        import resource
        import kalvor
        with open("/proc/self/statm") as f:
            held = int(f.read().split()[0]) * resource.getpagesize()
        # 1,000,000 rows need 600 MB of tables; 200 MB more than now is all there is.
        resource.setrlimit(resource.RLIMIT_AS, (held + 200_000_000, resource.RLIM_INFINITY))
        try:
            kalvor.run(**{"time.Te": 5.0})
        except kalvor.ParameterError as error:
            print("raised:", error)
        print("then:", kalvor.run(**{"time.Te": 0.001}).status)
    """)
    assert status == 0, err
    assert "raised: B\u0142\u0105d przydzia\u0142u pam\u0119ci" in out
    assert "could not be allocated" in out
    assert "then: accepted" in out
    assert err == ""


def _set(name, value):
    def action():
        kalvor.Params()[name] = value
    return action


@pytest.mark.parametrize("action, error, fragment", [
    (_set("control.SpeedPath=0*5*", "x"), kalvor.ParameterError, "cannot contain '='"),
    (_set("control.SpeedPath", "0*5*\ud800"), kalvor.ParameterError, "position 4"),
    (_set("control.Ud", object()), kalvor.ParameterError, "control.Ud: a value of type object"),
    (lambda: kalvor.Params()[5], TypeError, "not int"),
    (lambda: kalvor.run("x"), TypeError, "not str"),
    (lambda: kalvor.Params().save("/nonexistent-folder/p.json"), OSError, "/nonexistent-folder"),
    (lambda: kalvor.Params.load(b"no-such-file"), kalvor.ParameterError, "no-such-file: cannot"),
    (lambda: kalvor.Params.load("a\0b"), kalvor.ParameterError, "'a\\x00b'"),
    (lambda: kalvor.Params().save("a\0b"), kalvor.ParameterError, "NUL"),
    (lambda: kalvor.dft([1.0, 2.0, 3.0], -1), kalvor.ParameterError, "nh -1"),
    (lambda: kalvor.Params.from_text('{}\0{"time": {"Te": 5}}'), kalvor.ParameterError,
     "a NUL byte at line 1, column 3"),
    (_set("control.SpeedPath", "abc"), kalvor.ParameterError, '"abc", is not a number'),
])
def test_api_misuse_raises_a_clear_error_and_prints_nothing(capfd, action, error, fragment):
    with pytest.raises(error) as caught:
        action()
    assert fragment in str(caught.value)
    assert capfd.readouterr().err == ""


def test_numpy_values_are_stored_as_their_python_values():
    p = kalvor.Params()
    p["failures.FailT"] = [np.int64(1), 0, np.int32(2), 0, 0, 0]
    p["control.Ud"] = np.float32(150.0)
    p["time.Every"] = np.int16(3)
    assert p["failures.FailT"] == [1, 0, 2, 0, 0, 0]
    assert p["Ud"] == 150.0 and p["Every"] == 3


def test_refusals_and_warnings_never_reach_stderr(capfd):
    with pytest.raises(kalvor.ParameterError, match="J = -1"):
        kalvor.run(**{"motor.J": -1, "time.Te": 0.001})
    with pytest.warns(RuntimeWarning, match=r"Tp > Tk\?"):
        kalvor.run(**{"time.Ts": 0.001, "time.Te": 0.0})
    assert capfd.readouterr().err == ""


# A run of minutes in a thread; "started" once the run is inside the engine.
THREAD_SCRIPT = """
    import sys, threading, kalvor
    started = threading.Event()
    def work():
        kalvor.run(progress=lambda f: started.set(), **{"time.Te": 1000.0, "time.Every": 1000})
    t = threading.Thread(target=work, daemon=sys.argv[1] == "daemon")
    t.start()
    started.wait(120)
    print("started", flush=True)
    if sys.argv[2] == "join":
        while t.is_alive():
            t.join(0.1)
"""


@pytest.mark.parametrize("daemon, main, interrupts, expected", [
    ("daemon", "exit", 0, 0),  # the interpreter exits around a running daemon thread
    # Ctrl-C while the main thread joins: KeyboardInterrupt, which Python ends with SIGINT.
    ("daemon", "join", 1, -signal.SIGINT),
    ("worker", "join", 2, -signal.SIGINT),  # the second Ctrl-C ends the wait for the worker
])
def test_a_run_in_a_thread_never_aborts_the_interpreter(daemon, main, interrupts, expected):
    child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(THREAD_SCRIPT), daemon, main],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "started\n"
        for _ in range(interrupts):
            child.send_signal(signal.SIGINT)
            try:
                child.wait(2)
            except subprocess.TimeoutExpired:
                pass
        _, err = child.communicate(timeout=120)
    finally:
        child.kill()
    assert "terminate called" not in err and "Fatal Python error" not in err, err
    assert child.returncode == expected, err  # not SIGABRT
