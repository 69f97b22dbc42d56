"""The engine's algorithm catalogue and heuristic tables, read from the extension.

Nothing in the companion package lists algorithm or heuristic names itself:
they come from here, and here from the engine.
"""

from __future__ import annotations

import dataclasses

import wayloom_native as _wn


@dataclasses.dataclass(frozen=True)
class Algorithm:
    """One catalogue row: the name, its short aliases, and the options it takes."""

    name: str
    aliases: tuple[str, ...]
    options: tuple[str, ...]

    @property
    def best_first(self) -> bool:
        """Run by the best-first driver (the rows that take ``max_nodes``)."""
        return "max_nodes" in self.options


_raw = _wn._catalogue  # type: ignore[attr-defined]

#: Every algorithm, in catalogue order.
ALGORITHMS: tuple[Algorithm, ...] = tuple(Algorithm(*row) for row in _raw["algorithms"])
#: The twelve names (aliases excluded), in catalogue order.
NAMES: tuple[str, ...] = tuple(a.name for a in ALGORITHMS)
#: Every accepted name (aliases included) -> its algorithm's name.
ACCEPTED: dict[str, str] = {n: a.name for a in ALGORITHMS for n in (a.name, *a.aliases)}
#: Domain -> (default heuristic, built-in heuristic names).
HEURISTICS: dict[str, tuple[str, tuple[str, ...]]] = dict(_raw["heuristics"])
