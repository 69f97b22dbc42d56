"""``wayloom scenarios``: a MovingAI scenario file checked the way the
benchmark's validator does (every length compared with the file's)."""

from __future__ import annotations

import argparse

from ..movingai import run_scenarios
from .errors import EXIT_NO_PATH, EXIT_OK, UsageError
from .problems import Command, arg, switch


def run(ns: argparse.Namespace) -> int:
    try:
        report = run_scenarios(
            ns.scen, ns.map, algorithm=ns.algorithm, preprocess=ns.preprocess, workers=ns.workers
        )
    except OSError as exc:
        raise UsageError(f"cannot read {exc.filename}: {exc.strerror}") from None
    print(f"scenarios    {report.count}")
    print(f"mismatches   {report.mismatches}")
    print(f"mean time    {report.mean_time * 1e6:.1f} us")
    print(f"p99 time     {report.p99_time * 1e6:.1f} us")
    return EXIT_OK if report.mismatches == 0 else EXIT_NO_PATH


SCENARIOS = Command(
    "scenarios",
    "solve a MovingAI scenario file and check every length",
    "Solve every row of a MovingAI scenario file (.map.scen) and print how many ran,\n"
    "how many came out at a length other than the file's, and the mean and 99th-\n"
    "percentile search time a query. Exit status 1 when some length differs.",
    (
        arg("scen", metavar="MAP.map.scen", help="the scenario file"),
        arg("--map", metavar="FILE", help="the map (default: the one the file names, beside it)"),
        arg("--algorithm", default="jps", metavar="NAME", help="the algorithm (default jps)"),
        switch("--preprocess", "search the grid's preprocessed copy (jump distance table)"),
        arg("--workers", type=int, metavar="N", help="search on N threads (default: one)"),
    ),
    run=run,
)
