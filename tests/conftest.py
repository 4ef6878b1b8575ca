import subprocess
import sys

import pytest

import tessaron as ts

# The tree classes, and the same with the VP-tree's random vantage rule as a
# class-like entry (from_array with the same parameters as the others).
TREE_CLASSES = [ts.spatial.KDTree, ts.spatial.BallTree, ts.spatial.VPTree]


class RandomVPTree:
    """VPTree with the random vantage-point rule, built like the other classes."""
    __name__ = "RandomVPTree"

    @staticmethod
    def from_array(array, leaf_size=20, metric="euclidean"):
        return ts.spatial.VPTree.from_array(array, leaf_size, metric, "random")


TREE_BUILDS = TREE_CLASSES + [RandomVPTree]


@pytest.fixture
def a23():
    """A 2x3 array holding 1..6."""
    return ts.Array([2, 3], [1.0, 2.0, 3.0, 4.0, 5.0, 6.0])


def interrupted_promptly(setup, call, check, delay):
    """Runs `setup` in a child process, then `call` with Ctrl-C after `delay`
    seconds: its output words, "interrupted", the value of `check` and
    "prompt" when the KeyboardInterrupt came within 0.6 s (0.2 s on a quiet
    machine; a loaded CI machine gets room, a hang or a 1 s delay does not).
    A late answer is tried twice more: a moment's stall of a shared machine
    does not repeat, a call that does not look for Ctrl-C is late each time."""
    for _ in range(3):
        words = _interrupt_once(setup, call, check, delay)
        if words[:1] != ["interrupted"] or words[-1] == "prompt":
            break
    return words


def _interrupt_once(setup, call, check, delay):
    script = "\n".join([
        "import signal, threading, time", "import numpy as np", "import tessaron as ts", setup,
        "signal.signal(signal.SIGINT, signal.default_int_handler)",  # also where a background job ignores it
        "sent = []",
        "def interrupt():", "    sent.append(time.perf_counter())", "    signal.raise_signal(signal.SIGINT)",
        f"threading.Timer({delay}, interrupt).start()",
        "try:", f"    {call}", "    print('finished')",
        "except KeyboardInterrupt:",
        "    latency = time.perf_counter() - sent[0]",
        f"    print('interrupted', {check})",
        "    print('prompt' if latency < 0.6 else latency)",
    ])
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=600)
    assert out.returncode == 0, out.stderr
    return out.stdout.split()
