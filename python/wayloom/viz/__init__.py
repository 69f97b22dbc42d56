"""Pictures of searches: grid mazes, search trees, replays of the trace.

The matplotlib drawings need ``pip install "wayloom[viz]"`` (importing this
package does not, only calling them does); the browser player
(:func:`to_html`, :func:`save_html`, :func:`show`) needs nothing beyond the
standard library.

Every artist drawn carries a ``gid`` so that it can be found and restyled
afterwards (``[a for a in ax.get_children() if a.get_gid() == "path"]``):

========================  ====================================================
``"terrain"``             image of the terrain costs (open cells)
``"walls"``               image of the walls
``"expanded"``            expanded cells (image) or expanded tree nodes (scatter),
                          coloured by expansion order (grid animations paint
                          the cells straight into each frame instead)
``"frontier"``            tree nodes generated but never expanded (scatter)
``"tree-edges"``          the search tree's edges (LineCollection)
``"node-label"``          tree node labels (texts on a pale card; Hanoi pegs as
                          LineCollections)
``"label-card"``          the pale cards behind Hanoi pegs (PatchCollection)
``"path"``                the found path (Line2D through cell centres / nodes)
``"start"``, ``"goal"``   their markers
``"current"``             the cells of the current frame (animations only)
========================  ====================================================

Cell ``(row, col)`` is drawn centred at ``x = col``, ``y = row`` with the row
axis pointing down, as the map reads.
"""

from __future__ import annotations

from .animation import animate_search
from .files import FILE_TYPES, check_filename
from .grid import plot_grid
from .html import Player, save_html, show, to_html
from .replay import SearchTree, describe, frame_plan, search_tree
from .style import Style
from .tree import plot_search_tree

__all__ = [
    "FILE_TYPES",
    "Player",
    "SearchTree",
    "Style",
    "animate_search",
    "check_filename",
    "describe",
    "frame_plan",
    "plot_grid",
    "plot_search_tree",
    "save_html",
    "search_tree",
    "show",
    "to_html",
]
