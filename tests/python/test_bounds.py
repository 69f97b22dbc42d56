"""Bounded work: every call runs under a memory budget, compare and the command
line under time limits, and generators answer at once what needs no work."""

import gc
import multiprocessing
import os
import signal
import subprocess
import sys
import textwrap
import time
import tracemalloc

import pytest
import wayloom_native as wn
from conftest import needs_sigint
from wayloom import compare

ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(p for p in sys.path if p), "MPLBACKEND": "Agg"}
OPEN_GRID = "\n".join(["S" + "." * 199] + ["." * 200] * 198 + ["." * 199 + "G"])
PUZZLE_31 = [8, 6, 7, 2, 5, 4, 3, 0, 1]
MIB = 2**20

# Each runs in a child process under WAYLOOM_MEMORY_LIMIT=300M.
RUNAWAYS = {
    "bfs hanoi 40": "wn.search_hanoi(40, algorithm='bfs')",
    "astar hanoi 100": "wn.search_hanoi(100, algorithm='astar')",
    "bfs endless implicit chain": "wn.search_implicit(lambda s: [(s + 1, 1.0)], 0, -1, "
    "algorithm='bfs')",
    "iddfs trace on an open grid": f"wn.search_grid({OPEN_GRID!r}, algorithm='iddfs', "
    "depth_limit=10**6, record=True)",
    "floyd_warshall just over": "wn.floyd_warshall(5200, [])",  # 309 MiB of matrices
}


@pytest.mark.skipif(sys.platform == "win32", reason="peak memory is read with resource")
@pytest.mark.parametrize("call", RUNAWAYS.values(), ids=RUNAWAYS.keys())
def test_runaway_searches_stop_at_the_limit(call):
    code = textwrap.dedent(f"""
        import resource, sys, time, wayloom_native as wn
        def peak_kib():  # macOS counts bytes
            peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
            return peak / 1024 if sys.platform == "darwin" else peak
        base = peak_kib()
        t0 = time.monotonic()
        try:
            {call}
        except MemoryError as e:
            assert "WAYLOOM_MEMORY_LIMIT" in str(e), e
        else:
            raise SystemExit("no MemoryError")
        took = time.monotonic() - t0
        assert wn.search_grid(wn.sample_maze("wall")).cost == 20
        print(took, base, peak_kib())
    """)
    p = subprocess.run(
        [sys.executable, "-c", code],
        capture_output=True,
        text=True,
        timeout=120,
        env={**ENV, "WAYLOOM_MEMORY_LIMIT": "300M"},
    )
    assert p.returncode == 0, p.stderr
    took, base_kib, peak_kib = map(float, p.stdout.split())
    assert took < 30
    assert peak_kib * 1024 < 300 * MIB + max(base_kib * 1024, 64 * MIB), (base_kib, peak_kib)


def grid_call(algorithm, **kw):
    return lambda: wn.search_grid(wn.sample_maze("wall"), algorithm=algorithm, depth_limit=25, **kw)


EDGES = [(0, 1, 1.0), (1, 2, 2.0), (0, 2, 4.0), (2, 3, 1.0), (3, 4, -1.0)]
ENTRY_POINTS = {
    **{
        f"grid {a}": grid_call(a)
        for a in ("astar", "bfs", "dfs", "iddfs", "dls", "ida_star", "beam", "bidirectional")
    },
    "grid astar reopen": grid_call("astar", reopen=True, heuristic=lambda n, g: 0.0),
    "grid costs": lambda: wn.search_grid_costs([[1, 2, 1], [1, 9, 1], [1, 1, 1]], (0, 0), (2, 2)),
    "graph directed bidir": lambda: wn.search_graph(
        5, EDGES[:3], 0, 2, algorithm="bidir", undirected=False
    ),
    "implicit": lambda: wn.search_implicit(
        lambda s: [((s[0] + 1, s[1]), 1.0), ((s[0], s[1] + 1), 1.0)] if max(s) < 6 else [],
        (0, 0),
        (5, 5),
        algorithm="bfs",
    ),
    "npuzzle": lambda: wn.search_npuzzle([4, 1, 3, 7, 2, 6, 0, 5, 8]),
    "hanoi 40 pegs 4": lambda: wn.search_hanoi(40, pegs=4, max_nodes=200),
    "wordladder": lambda: wn.search_wordladder(
        "cold", "warm", "cold cord card ward warm word worm".split(), algorithm="bidirectional"
    ),
    "erdos_renyi": lambda: wn.gen_erdos_renyi(60, 0.2, 3),
    "barabasi_albert": lambda: wn.gen_barabasi_albert(60, 3, 3),
    "watts_strogatz": lambda: wn.gen_watts_strogatz(60, 4, 0.3, 3),
    "random_maze": lambda: wn.random_maze_ascii(30, 20, 0.3, 3),
    "bellman_ford": lambda: wn.bellman_ford(5, EDGES, 0),
    "floyd_warshall": lambda: wn.floyd_warshall(40, EDGES),
}


def outcome(value):
    if isinstance(value, wn.SearchResult):
        return (
            value.path,
            value.cost,
            value.nodes_expanded,
            value.nodes_generated,
            value.max_frontier_size,
            value.trace,
            value.tree,
        )
    if isinstance(value, wn.ShortestPaths):
        return value.dist, value.pred
    if isinstance(value, wn.AllPairs):
        return value.matrix()
    return value


def sweep(call, monkeypatch):
    """Limits from 1 KiB doubling until the call succeeds: each run fails with
    MemoryError or gives the unlimited result (read once the limit is gone)."""
    monkeypatch.delenv("WAYLOOM_MEMORY_LIMIT", raising=False)
    expected = outcome(call())
    limit, failures = 1024, 0
    while True:
        monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", str(limit))
        try:
            result = call()
        except MemoryError:
            failures += 1
            limit *= 2
            continue
        finally:
            monkeypatch.delenv("WAYLOOM_MEMORY_LIMIT")
        assert outcome(result) == expected
        return failures


def traced_bytes() -> int:
    """Python memory held, less os.environ's own: setting the limit variable
    resizes that dict now and then, depending on how many variables there are."""
    keep = (
        tracemalloc.Filter(False, "<frozen os>"),
        tracemalloc.Filter(False, tracemalloc.__file__),
    )
    return sum(t.size for t in tracemalloc.take_snapshot().filter_traces(keep).traces)


@pytest.mark.parametrize("call", ENTRY_POINTS.values(), ids=ENTRY_POINTS.keys())
def test_every_failing_allocation_is_a_clean_memory_error(call, monkeypatch):
    failures = sweep(call, monkeypatch)
    gc.collect()
    tracemalloc.start()
    try:
        sweep(call, monkeypatch)
        gc.collect()
        before = traced_bytes()
        objects = len(gc.get_objects())
        assert sweep(call, monkeypatch) == failures
        gc.collect()
        assert traced_bytes() - before < 4096
        assert len(gc.get_objects()) - objects < 20
    finally:
        tracemalloc.stop()


def test_the_limit_variable_is_read_at_each_call_and_checked(monkeypatch):
    for bad in ("lots", "1.5G", "-3", "12MB"):
        monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", bad)
        with pytest.raises(ValueError, match="WAYLOOM_MEMORY_LIMIT"):
            wn.search_grid(wn.sample_maze("open"))
    monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", "2K")
    with pytest.raises(MemoryError, match=r"held .* max_nodes or depth_limit"):
        wn.search_hanoi(10)
    monkeypatch.setenv("WAYLOOM_MEMORY_LIMIT", "64M")
    assert wn.search_hanoi(10).found


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda: wn.gen_watts_strogatz(2**31, 0, 0.0, 6), []),
        (lambda: wn.gen_erdos_renyi(2**31, -1.0, 0), []),
        (lambda: wn.gen_erdos_renyi(2**64 - 1, float("nan"), 0), []),
        (lambda: wn.gen_erdos_renyi(3, 1.0, 0), [(0, 1, 1.0), (0, 2, 1.0), (1, 2, 1.0)]),
        (lambda: wn.gen_erdos_renyi(2**31, 0.5, 0), MemoryError),
        (lambda: wn.gen_watts_strogatz(2**31, 6, 0.1, 6), MemoryError),
        (lambda: wn.gen_barabasi_albert(2**40, 3, 6), MemoryError),
    ],
)
def test_generators_answer_without_the_work(call, expected):
    t0 = time.monotonic()
    if expected is MemoryError:
        with pytest.raises(MemoryError):
            call()
    else:
        assert call() == expected
    assert time.monotonic() - t0 < 1.0


def test_compare_with_a_time_limit_ends_only_the_slow_rows():
    t0 = time.monotonic()
    rows = compare(wn.search_npuzzle, PUZZLE_31, time_limit=1)
    assert time.monotonic() - t0 < 30
    assert len(rows) == 12
    assert rows.row("iddfs").stop_reason == "time limit"  # 134 million expansions
    finished = [r.algorithm for r in rows if not r.bounded]
    assert {"astar", "ida_star", "bidirectional", "greedy"} <= set(finished)
    plain = compare(wn.search_npuzzle, PUZZLE_31, algorithms=finished)
    strip = lambda r: (r.algorithm, r.found, r.cost, r.expanded, r.generated, r.peak_frontier)
    assert [strip(r) for r in rows if not r.bounded] == [strip(r) for r in plain]
    with pytest.raises(ValueError, match="time_limit"):
        compare(wn.search_npuzzle, PUZZLE_31, time_limit=0)


def test_compare_spawns_worker_processes_where_the_system_cannot_fork(monkeypatch):
    # As on Windows: the function and its arguments travel pickled; same rows.
    monkeypatch.setattr(multiprocessing, "get_all_start_methods", lambda: ["spawn"])
    algorithms = ["astar", "bfs"]
    rows = compare(wn.search_npuzzle, PUZZLE_31, algorithms=algorithms, time_limit=60)
    plain = compare(wn.search_npuzzle, PUZZLE_31, algorithms=algorithms)
    strip = lambda r: (r.algorithm, r.found, r.cost, r.expanded, r.bounded)
    assert [strip(r) for r in rows] == [strip(r) for r in plain]


def cli(*args, timeout=60, **kw):
    return subprocess.run(
        [sys.executable, "-m", "wayloom", *args],
        capture_output=True,
        text=True,
        env={**ENV, **kw},
        timeout=timeout,
    )


def test_cli_limits_and_solutions():
    p = cli("grid", "--maze", "random", "20", "20", "0.25", "3", "--time-limit", "1")
    assert p.returncode == 0, p.stderr
    assert p.stdout.count("time limit") == 2 and "solution by astar, path of 38 moves" in p.stdout
    p = cli(
        "grid",
        "--maze",
        "random",
        "40",
        "20",
        "0.3",
        "7",
        "--solvable",
        "--algorithms",
        "astar",
        "--quiet",
    )
    assert p.stdout.startswith("random maze 40x20, density 0.3: seed 9 (seeds 7-8 have no path)")
    assert "solution" not in p.stdout
    p = cli("hanoi", "2", "--algorithms", "bfs", "--max-nodes", "2")
    assert p.returncode == 1 and "node_limit" in p.stdout
    for args, line in [
        (["npuzzle"], "moves of the blank (6): up up right down down right"),
        (["hanoi", "2"], "disk 2: peg 0 -> peg 2"),
        (["graph", "-", "0", "2"], "path of 2 steps: 0 -> 1 -> 2"),
    ]:
        p = subprocess.run(
            [sys.executable, "-m", "wayloom", *args, "--algorithms", "bfs"],
            input="0 1\n1 2\n",
            capture_output=True,
            text=True,
            env=ENV,
        )
        assert line in p.stdout, p.stdout


@pytest.mark.parametrize(
    "args, status, text",
    [
        (["hanoi", "12", "--memory-limit", "64K", "--no-table"], 4, "memory limit reached"),
        (["hanoi", "--memory-limit", "lots"], 2, "--memory-limit must be"),
        (["grid", "--algorithm", "foo", "--plot", "x.png"], 2, "unknown algorithm: 'foo'"),
        (["grid", "--plot", "x.unknownext"], 3, "--plot cannot write .unknownext files"),
        (["grid", "--maze", "random", "9", "9", "1.5", "3"], 2, "DENSITY must be between 0 and 1"),
        (
            [
                "grid",
                "--no-table",
                "--algorithm",
                "iddfs",
                "--depth-limit",
                "60",
                "--time-limit",
                "1",
                "--maze",
                "random",
                "60",
                "60",
                "0",
                "1",
            ],
            4,
            "iddfs did not finish within",
        ),
    ],
)
def test_cli_errors_are_one_line_before_any_output(args, status, text):
    p = cli(*args)
    assert (p.returncode, p.stderr.count("\n")) == (status, 1), p.stderr
    assert text in p.stderr and "table" not in p.stdout and "algorithm " not in p.stdout


@needs_sigint
def test_cli_ends_at_once_on_interrupt():
    p = subprocess.Popen(
        [
            sys.executable,
            "-m",
            "wayloom",
            "grid",
            "--maze",
            "random",
            "60",
            "60",
            "0",
            "1",
            "--algorithms",
            "iddfs",
            "--depth-limit",
            "60",
            "--time-limit",
            "0",
        ],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        env=ENV,
    )
    try:
        time.sleep(1.5)
        p.send_signal(signal.SIGINT)
        t0 = time.monotonic()
        out, err = p.communicate(timeout=10)
    finally:
        p.kill()  # a child that ignored the interrupt would search on for hours
    assert time.monotonic() - t0 < 2
    assert p.returncode == 130 and err == "wayloom grid: interrupted\n"


def test_cli_html_page(tmp_path):
    viz = pytest.importorskip("wayloom.viz")
    if not hasattr(viz, "save_html"):
        pytest.skip("wayloom.viz has no save_html yet")
    page = tmp_path / "a.html"
    p = cli("grid", "--no-table", "--quiet", "--html", str(page))
    assert p.returncode == 0 and p.stdout == f"wrote {page}\n" and page.stat().st_size > 0
