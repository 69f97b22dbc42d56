"""Demo: compare the search algorithms on the built-in sample mazes."""

from __future__ import annotations

import sys

import wayloom_native

from .compare import compare


def main(argv: list[str] | None = None) -> int:
    del argv
    for name in ("open", "wall"):
        maze = wayloom_native.sample_maze(name)
        print(f"Sample maze {name!r}:")
        print("\n".join("    " + line for line in maze.splitlines()))
        print()
        print(compare(wayloom_native.search_grid, maze).table())
        print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
