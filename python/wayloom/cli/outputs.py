"""The pictures: their files checked before any search, then drawn from the shown result."""

from __future__ import annotations

import argparse
from typing import Any

from .. import viz
from ..viz._draw import require
from .errors import OutputError
from .problems import Problem

#: Option -> the kind of picture it writes (the file types are the drawing code's).
OPTIONS = (("--plot", "plot"), ("--animate", "animation"), ("--html", "page"))


def wanted(ns: argparse.Namespace) -> bool:
    return any(getattr(ns, option[2:]) for option, _ in OPTIONS)


def check_outputs(ns: argparse.Namespace) -> None:
    """Every picture's file type, and matplotlib for those that need it, before searching."""
    for option, kind in OPTIONS:
        path = getattr(ns, option[2:])
        if path is None:
            continue
        try:
            viz.check_filename(kind, path)
            if kind != "page":
                require("plot_grid" if kind == "plot" else "animate_search")
        except ValueError as exc:
            raise OutputError(f"{option} {exc}") from None
        except (RuntimeError, ImportError) as exc:
            raise OutputError(str(exc)) from None


def draw(problem: Problem, ns: argparse.Namespace, result: Any) -> None:
    """Write the plot, animation and page of the chosen algorithm's search."""
    try:
        if ns.plot:
            if problem.maze is not None:
                ax = viz.plot_grid(
                    problem.maze,
                    result,
                    title=f"{ns.algorithm}: {viz.describe(result)}",
                    start=problem.ends.get("start"),
                    goal=problem.ends.get("goal"),
                )
            else:
                ax = viz.plot_search_tree(result, layout="layered", algorithm=ns.algorithm)
            import matplotlib.pyplot as plt

            figure: Any = ax.figure
            try:
                figure.savefig(ns.plot)
            finally:
                plt.close(figure)
            print(f"wrote {ns.plot}")
        if ns.animate:
            style: dict[str, Any] = {"max_frames": ns.max_frames, "algorithm": ns.algorithm}
            if problem.maze is None:
                style["layout"] = "layered"
            style.update(problem.ends)
            viz.animate_search(result, ns.animate, maze=problem.maze, **style)
            print(f"wrote {ns.animate}")
        if ns.html:
            viz.save_html(result, ns.html, maze=problem.maze)
            print(f"wrote {ns.html}")
    except ImportError as exc:
        raise OutputError(str(exc)) from None
    except OSError as exc:
        raise OutputError(f"cannot write: {exc}") from None
