"""wayloom: fast classical graph search with a Python face.

The engine lives in the extension module :mod:`wayloom_native`; this package
re-exports it and adds the demo, comparisons and command line.
"""

from wayloom_native import (  # noqa: F401
    PanicException,
    SearchResult,
    sample_maze,
    search_graph,
    search_grid,
    search_grid_costs,
)

__version__ = "0.1.0"

from . import viz  # noqa: E402,F401  (matplotlib is imported only when drawing)
from .compare import ALGORITHMS, Comparison, Row, compare  # noqa: E402,F401
