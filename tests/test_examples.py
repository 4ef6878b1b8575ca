"""Every example runs, with and without matplotlib; every Python snippet of the README runs."""
import importlib.util
import pathlib
import re
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXAMPLES = sorted(p for p in (ROOT / "examples").glob("*.py") if p.name != "dask_neighbours.py")
# Arguments that keep an example short in the suite.
SMALL = {"kernel_density.py": ["1000"]}
HIDE_MATPLOTLIB = "import runpy, sys; sys.modules['matplotlib'] = None; runpy.run_path(sys.argv[1], run_name='__main__')"


def run(args):
    out = subprocess.run([sys.executable, *args], capture_output=True, text=True, cwd=ROOT, timeout=300)
    assert out.returncode == 0, out.stderr
    return out.stdout


@pytest.mark.parametrize("path", EXAMPLES, ids=[p.name for p in EXAMPLES])
def test_example_runs_without_matplotlib(path):
    out = run(["-c", HIDE_MATPLOTLIB, str(path), *SMALL.get(path.name, [])])
    assert out.strip() and "written to" not in out


@pytest.mark.skipif(importlib.util.find_spec("matplotlib") is None, reason="matplotlib is not installed")
@pytest.mark.parametrize("name", ["random_sampling.py", "neighbours.py", "two_point_correlation.py", "kernel_density.py"])
def test_example_draws_a_picture(name):
    out = run([str(ROOT / "examples" / name), *SMALL.get(name, [])])
    path = pathlib.Path(re.search(r"written to (\S+)", out).group(1))
    assert path.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_dask_example_on_small_sizes():
    pytest.importorskip("distributed")
    out = run([str(ROOT / "examples" / "dask_neighbours.py"), "2000", "20000"])
    assert out.count("answers identical") >= 2 and "one process" in out


SNIPPETS = re.findall(r"```python\n(.*?)```", (ROOT / "README.md").read_text(), re.S)


@pytest.mark.parametrize("code", SNIPPETS, ids=[f"snippet{i}" for i in range(len(SNIPPETS))])
def test_readme_snippet_runs(code):
    exec(compile(code, "README.md", "exec"), {})


def test_benchmark_runner_records_and_draws(tmp_path):
    record, chart = tmp_path / "bench.json", tmp_path / "bench.png"
    args = [str(ROOT / "bench" / "run.py"), "--only", "construct_4", "--repeat", "1", "--json", str(record)]
    if importlib.util.find_spec("matplotlib") is not None:
        args += ["--plot", str(chart)]
    out = run(args)
    import json
    cases = json.loads(record.read_text())["cases"]
    assert list(cases) == ["construct_4"] and cases["construct_4"]["ratio"] > 0 and "construct_4" in out
    if "--plot" in args:
        assert chart.read_bytes()[:4] == b"\x89PNG"
