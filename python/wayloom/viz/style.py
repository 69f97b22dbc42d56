"""The style options of the drawing functions: one object, defaults in one place."""

from __future__ import annotations

import dataclasses
from collections.abc import Mapping
from typing import Any


@dataclasses.dataclass(frozen=True)
class Style:
    """Every style option with its default; each function accepts a subset.

    Shared: ``cmap`` (expansion colours), ``path_color``, ``path_width``,
    ``start_color``, ``goal_color``, ``marker_size``, ``colorbar``, ``title``
    ("" for none), ``algorithm`` (named in the default title), ``wall_color``,
    ``terrain_color``, ``goal``. Grids: ``start``, ``alpha``, ``annotate``,
    ``grid_lines``. Trees: ``layout``, ``labels``, ``iteration``, ``maze``,
    ``node_size``, ``edge_color``. Animations: ``max_frames``, ``fps``,
    ``hold``, ``dpi``, ``figsize``.
    """

    cmap: Any = "viridis"
    path_color: Any = "crimson"
    path_width: float = 2.5
    start_color: Any = "limegreen"
    goal_color: Any = "gold"
    marker_size: float = 12.0
    colorbar: bool = True
    title: str | None = None
    algorithm: str | None = None
    wall_color: Any = "#2b2b2b"
    terrain_color: Any = "#8c6d46"
    goal: Any = None
    start: Any = None
    alpha: float = 0.85
    annotate: bool = False
    grid_lines: bool | None = None
    layout: str = "auto"
    labels: bool | None = None
    iteration: int = -1
    maze: Any = None
    node_size: float | None = None
    edge_color: Any = "#9e9e9e"
    max_frames: int = 200
    fps: float = 10
    hold: float = 1.0
    dpi: float = 80
    figsize: Any = None

    @classmethod
    def of(cls, func: str, given: Mapping[str, Any], allowed: frozenset[str]) -> Style:
        """The style of one call; an option the function does not take is a ``TypeError``."""
        unknown = sorted(set(given) - allowed)
        if unknown:
            raise TypeError(
                f"{func}() got an unexpected style option {unknown[0]!r} "
                f"(accepted: {', '.join(sorted(allowed))})"
            )
        return cls(**given)

    def pick(self, names: frozenset[str]) -> dict[str, Any]:
        """The options among ``names`` as keywords, to pass on to another function."""
        return {name: getattr(self, name) for name in names}


SHARED = frozenset(
    {
        "cmap",
        "path_color",
        "path_width",
        "start_color",
        "goal_color",
        "marker_size",
        "colorbar",
        "title",
        "algorithm",
        "wall_color",
        "terrain_color",
        "goal",
    }
)
GRID = SHARED | {"start", "alpha", "annotate", "grid_lines"}
TREE = SHARED | {"layout", "labels", "iteration", "maze", "node_size", "edge_color", "grid_lines"}
ANIMATION = (GRID | TREE | {"max_frames", "fps", "hold", "dpi", "figsize"}) - {"maze", "annotate"}
