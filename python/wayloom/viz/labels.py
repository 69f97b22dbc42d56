"""How a node is written: puzzle states as boards, Hanoi states as pegs, the rest as text.

Plain Python: the matplotlib trees and the HTML player both use it.
"""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import Any


def node_kind(nodes: Sequence[Any]) -> str:
    """ "board" (sliding-tile states), "pegs" (Hanoi states) or "text"."""
    if not nodes or not all(
        type(n) is tuple and n and all(type(x) is int for x in n) for n in nodes
    ):
        return "text"
    size = len(nodes[0])
    if any(len(n) != size for n in nodes):
        return "text"
    side = math.isqrt(size)
    if side >= 2 and side * side == size and all(sorted(n) == list(range(size)) for n in nodes):
        return "board"
    # A Hanoi search starts with every disk on peg 0.
    if size != 2 and not any(nodes[0]) and all(0 <= x < 16 for n in nodes for x in n):
        return "pegs"
    return "text"


def board_text(state: Sequence[int]) -> str:
    """A sliding-tile state as rows of tiles, the blank as a dot.

    >>> print(board_text((1, 2, 3, 0)))
    1 2
    3 ·
    """
    side = math.isqrt(len(state))
    width = len(str(len(state) - 1))
    cells = [("·" if t == 0 else str(t)).rjust(width) for t in state]
    return "\n".join(" ".join(cells[r * side : (r + 1) * side]) for r in range(side))


def pegs_of(state: Sequence[int], pegs: int) -> list[list[int]]:
    """The disks on each peg, bottom first; disk 0 is the smallest.

    >>> pegs_of((0, 0, 2), 3)
    [[1, 0], [], [2]]
    """
    out: list[list[int]] = [[] for _ in range(pegs)]
    for disk in range(len(state) - 1, -1, -1):
        out[state[disk]].append(disk)
    return out


def text_of(node: Any) -> str:
    """A node as one line of text: strings as they are, anything else by ``str``."""
    return node if isinstance(node, str) else str(node)


def abbreviate(text: str, room: int) -> str:
    """``text`` cut to ``room`` characters, an ellipsis marking the cut.

    >>> abbreviate("abcdef", 4), abbreviate("abc", 4), abbreviate("abc", 0)
    ('abc…', 'abc', '')
    """
    if len(text) <= room:
        return text
    return text[: room - 1] + "…" if room >= 2 else ""
