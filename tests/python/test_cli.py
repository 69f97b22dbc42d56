"""The command line, run as a user would: `python -m wayloom ...` in a subprocess."""

import itertools
import os
import subprocess
import sys

import pytest

ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(p for p in sys.path if p), "MPLBACKEND": "Agg"}


def run(*args, stdin=None, code=None):
    cmd = [sys.executable, "-c", code, *args] if code else [sys.executable, "-m", "wayloom", *args]
    return subprocess.run(cmd, capture_output=True, text=True, env=ENV, input=stdin, timeout=60)


def table_rows(out):
    lines = out.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("algorithm")) + 2
    return [line.split() for line in itertools.takewhile(str.strip, lines[start:])]


def assert_one_line_error(p, prog, text):
    assert p.returncode == 2 and p.stdout == "", p.stderr
    assert p.stderr.count("\n") == 1 and p.stderr.startswith(f"{prog}: error: "), p.stderr
    assert text in p.stderr


def test_demo_compares_every_algorithm_on_both_sample_mazes():
    p = run()
    assert p.returncode == 0 and p.stdout.count("\nbidirectional ") == 2, p.stderr


def test_grid_table_and_exit_status_by_whether_a_path_exists(tmp_path):
    p = run("grid", "--maze", "wall", "--algorithms", "bfs,a*")
    assert p.returncode == 0, p.stderr
    assert [row[:3] for row in table_rows(p.stdout)] == [["bfs", "yes", "20"], ["a*", "yes", "20"]]
    walled = tmp_path / "walled.txt"
    walled.write_text("S.#\r\n..#\r\n##G\r\n")
    p = run("grid", "--maze", str(walled), "--algorithms", "bfs,astar")
    assert p.returncode == 1 and [r[1] for r in table_rows(p.stdout)] == ["no", "no"]
    p = run(
        "grid",
        "--maze",
        "-",
        "--diagonal",
        "--algorithms",
        "astar",
        "--heuristic",
        "octile",
        "--markdown",
        stdin="S.\n.G\n",
    )
    assert p.returncode == 0 and "| astar | yes | 1.41421 |" in p.stdout


def test_puzzles_ladders_and_graphs(tmp_path):
    p = run("npuzzle", "1,2,3", "4", "5", "6", "7", "0", "8", "--algorithms", "bfs")
    assert table_rows(p.stdout)[0][:3] == ["bfs", "yes", "1"]
    p = run("hanoi", "3", "--pegs", "4", "--algorithms", "astar")
    assert table_rows(p.stdout)[0][:3] == ["astar", "yes", "5"]
    words = tmp_path / "words.txt"
    words.write_text("cold cord card ward warm word worm\n")
    p = run("ladder", "COLD", "warm", "--words", str(words), "--algorithms", "bfs")
    assert table_rows(p.stdout)[0][:3] == ["bfs", "yes", "4"]
    edges = tmp_path / "edges.txt"
    edges.write_text("# u v w\n0 1 1\n1 2 1\n0 2 5  # the long way\n2 3\n")
    p = run("graph", str(edges), "0", "3", "--algorithms", "ucs,bfs", "--directed")
    assert p.returncode == 0, p.stderr
    assert [r[:3] for r in table_rows(p.stdout)] == [["ucs", "yes", "3"], ["bfs", "yes", "3"]]
    p = run("graph", str(edges), "3", "0", "--directed", "--algorithms", "bfs")
    assert p.returncode == 1
    p = run(
        "graph", str(edges), "3", "0", "--algorithms", "bfs", "--no-table", "--algorithm", "bfs"
    )
    assert p.returncode == 0 and p.stdout.startswith("SearchResult(found=True, cost=3,")


def test_bad_input_is_one_line_on_stderr_with_status_2(tmp_path):
    assert_one_line_error(
        run("grid", "--maze", str(tmp_path / "none.txt")), "wayloom grid", "cannot read"
    )
    assert_one_line_error(
        run("grid", "--maze", "-", stdin="...\n"),
        "wayloom grid",
        "the ASCII map must contain a start 'S' and a goal 'G'",
    )
    assert_one_line_error(
        run("grid", "--algorithms", "bfs,BFS"), "wayloom grid", "unknown algorithm: 'BFS'"
    )
    assert_one_line_error(
        run("grid", "--heuristic", "Manhattan"), "wayloom grid", "unknown heuristic: 'Manhattan'"
    )
    assert_one_line_error(run("grid", "--maze", "random", "3"), "wayloom grid", "W H DENSITY SEED")
    assert_one_line_error(
        run("npuzzle", "1", "2", "3", "4", "5", "6", "8", "7", "0"),
        "wayloom npuzzle",
        "not solvable",
    )
    assert_one_line_error(
        run("hanoi", "3", "--pegs", "17"), "wayloom hanoi", "pegs must be between 1 and 16, got 17"
    )
    bad = tmp_path / "bad.txt"
    bad.write_text("0 1 1\n0 x\n")
    assert_one_line_error(
        run("graph", str(bad), "0", "1"), "wayloom graph", f"{bad}:2: expected 'u v [w]'"
    )
    assert_one_line_error(
        run("hanoi", "--frobnicate"), "wayloom", "unrecognized arguments: --frobnicate"
    )
    assert_one_line_error(run("hanoi", "three"), "wayloom hanoi", "invalid int value: 'three'")
    ok = tmp_path / "ok.txt"
    ok.write_text("0 1\n")
    for args, text in (
        (["graph", str(ok), "-1", "0"], "START and GOAL must be >= 0"),
        (["graph", str(ok), "0", "-1"], "START and GOAL must be >= 0"),
        (["grid", "--max-nodes", "-1"], "--max-nodes must be >= 0"),
        (["grid", "--maze", "random", "3", "3", "0.1", "-1"], "SEED must be >= 0"),
    ):
        assert_one_line_error(run(*args), f"wayloom {args[0]}", text)


def test_plot_and_animation_files(tmp_path):
    pytest.importorskip("matplotlib")
    pytest.importorskip("PIL")
    png, gif = tmp_path / "a.png", tmp_path / "a.gif"
    p = run(
        "grid",
        "--maze",
        "wall",
        "--no-table",
        "--plot",
        str(png),
        "--animate",
        str(gif),
        "--max-frames",
        "4",
    )
    assert p.returncode == 0, p.stderr
    assert p.stdout.splitlines()[-2:] == [f"wrote {png}", f"wrote {gif}"]
    assert png.read_bytes()[:4] == b"\x89PNG" and gif.read_bytes()[:6] == b"GIF89a"
    p = run("grid", "--no-table", "--plot", str(tmp_path / "no" / "dir.png"))
    assert p.returncode == 3 and p.stderr.count("\n") == 1 and "cannot write" in p.stderr


# A dfs worker that dies (as one killed for its memory would); the table must survive it.
KILL_DFS = """
import os, signal, sys
from wayloom import _compare
plain = _compare.run_one
def run_one(search, algorithm, args, kwargs):
    if algorithm == "dfs":
        os.kill(os.getpid(), signal.SIGKILL)
    return plain(search, algorithm, args, kwargs)
_compare.run_one = run_one
from wayloom.cli import main
sys.exit(main(sys.argv[1:]))
"""
NO_ENDS = "...\n.#.\n...\n"
LINE3 = "0 1\n1 2\n"


@pytest.mark.parametrize(
    "args, stdin, code, status, out, err",
    [
        # Pictures that cannot be written are refused before anything is searched.
        (["grid", "--animate", "a.mov"], None, None, 3, "", "--animate cannot write .mov files"),
        (["grid", "--plot", "a"], None, None, 3, "", "cannot write a file without a type"),
        (["grid", "--html", "a.png"], None, None, 3, "", "use one of: .htm, .html"),
        # The shown algorithm stopped by a limit: the table, then status 4 on stderr.
        (
            ["hanoi", "30", "--algorithms", "bfs,astar", "--algorithm", "bfs", "--time-limit", "1"],
            None,
            None,
            4,
            "time limit",
            "no solution to show: bfs stopped at the time limit",
        ),
        (["graph", "-", "0", "3"], LINE3, None, 2, "", "GOAL 3 is not a node of the graph"),
        (["graph", "-", "0", "2", "--algorithms", "dijkstra"], LINE3, None, 0, "by dijkstra", ""),
        (
            ["grid", "--maze", "-", "--start", "0,0", "--goal", "2,2"],
            NO_ENDS,
            None,
            0,
            "4 moves",
            "",
        ),
        (["grid", "--maze", "-", "--goal", "2,2"], NO_ENDS, None, 2, "", "the map has no 'S'"),
        (["grid", "--start", "9,0", "--goal", "0,0"], None, None, 2, "", "outside the 6x9 map"),
        (["grid", "--algorithms", "bfs,dfs,astar"], None, KILL_DFS, 4, "error: the worker", "dfs:"),
    ],
)
def test_exit_statuses(args, stdin, code, status, out, err):
    p = run(*args, stdin=stdin, code=code)
    assert (p.returncode, p.stderr.count("\n")) == (status, int(bool(err))), p.stderr
    assert out in p.stdout and (out or p.stdout == "") and err in p.stderr
    if code:  # the rows of the living workers are all there
        assert [r[1] for r in table_rows(p.stdout)] == ["yes", "-", "yes"]


def test_memory_limited_rows_keep_their_time():
    p = run("hanoi", "12", "--memory-limit", "64K", "--algorithms", "bfs,dfs", "--quiet")
    rows = [r for r in table_rows(p.stdout) if r[-1] == "limit"]
    assert p.returncode == 4 and rows and all(float(r[-3]) > 0 for r in rows), p.stdout


def test_picture_types_come_from_the_drawing_code():
    from matplotlib.figure import Figure
    from wayloom import viz

    # every plot type is one matplotlib can write
    writable = {"." + k for k in Figure().canvas.get_supported_filetypes()}
    assert set(viz.FILE_TYPES["plot"]) <= writable
    every = {t for types in viz.FILE_TYPES.values() for t in types}
    for kind, types in viz.FILE_TYPES.items():
        for suffix in sorted(every - {".mp4"}):
            if suffix in types:
                viz.check_filename(kind, "a" + suffix.upper())
            else:
                with pytest.raises(ValueError, match=f"cannot write \\{suffix} files"):
                    viz.check_filename(kind, "a" + suffix)
