"""wayloom as a networkx backend.

networkx finds it through the ``networkx.backends`` entry point; opt in per
call with ``backend="wayloom"`` or for every call with
``nx.config.backend_priority = ["wayloom"]``. Nothing here is imported by
``import wayloom``.
"""

from __future__ import annotations

import functools
import inspect
from typing import Any

from ._algorithms import FUNCTIONS
from ._convert import WayloomGraph, convert_from_nx, convert_to_nx
from ._info import get_info

__all__ = ["BackendInterface", "WayloomGraph", "backend_interface", "get_info"]

#: Graphs smaller than this (nodes plus edges) run faster in networkx than the
#: conversion takes, unless they are converted already; networkx's
#: ``nx.config.backends.wayloom.small_graph`` overrides it.
SMALL = 200


@functools.cache
def _signature(name: str) -> inspect.Signature:
    import networkx as nx

    return inspect.signature(nx.utils.backends._registered_algorithms[name])


def _bound(name: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> dict[str, Any]:
    try:
        bound = _signature(name).bind(*args, **kwargs)
    except TypeError:
        return {}
    bound.apply_defaults()
    return dict(bound.arguments)


def _one_pair_both_ways(name: str, arguments: dict[str, Any]) -> bool:
    """Whether networkx would search this one pair from both ends while the
    engine has only a search from one end for it (unweighted pairs: the
    engine's exact bidirectional search is its weighted one)."""
    if name in ("bidirectional_shortest_path", "has_path"):
        return True
    if name == "shortest_path":
        one_pair = arguments.get("source") is not None and arguments.get("target") is not None
        return one_pair and arguments.get("weight") is None
    return False


class BackendInterface:
    """What networkx's dispatcher looks up: the functions by name, the
    conversions, and whether a call is served."""

    convert_from_nx = staticmethod(convert_from_nx)
    convert_to_nx = staticmethod(convert_to_nx)

    def __getattr__(self, name: str) -> Any:
        try:
            return FUNCTIONS[name]
        except KeyError:
            raise AttributeError(name) from None

    def __dir__(self) -> list[str]:
        return sorted({*super().__dir__(), *FUNCTIONS})

    @staticmethod
    def can_run(name: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> bool | str:
        if name not in FUNCTIONS:
            return False
        arguments = _bound(name, args, kwargs)
        if name.startswith("astar") and arguments.get("cutoff") is not None:
            return "A* with a cutoff is left to networkx"
        return True

    @staticmethod
    def should_run(name: str, args: tuple[Any, ...], kwargs: dict[str, Any]) -> bool | str:
        arguments = _bound(name, args, kwargs)
        if _one_pair_both_ways(name, arguments):
            return (
                "networkx's bidirectional search visits far fewer nodes on one pair "
                "than the engine's search from one end"
            )
        G = arguments.get("G")
        if isinstance(G, WayloomGraph):
            return True
        if callable(arguments.get("weight")):
            return "a weight callable is evaluated on every edge; networkx calls it on fewer"
        import networkx as nx

        small = getattr(nx.config.backends, "wayloom", {}).get("small_graph", SMALL)
        # Counting edges walks every node: only a graph with few nodes needs it.
        size = (
            small if G is None or not hasattr(G, "size") or len(G) >= small else len(G) + G.size()
        )
        if size < small:
            return "graph too small to gain from conversion"
        return True

    @staticmethod
    def on_start_tests(items: list[Any]) -> None:
        from ._testing import mark_tests

        mark_tests(items)


backend_interface = BackendInterface()
