"""The package under hostile conditions: no memory, threads at exit, Ctrl-C, odd input."""

import subprocess
import sys
import textwrap


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
