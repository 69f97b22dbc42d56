"""Exit statuses, their --help text, and the errors that map onto them."""

from __future__ import annotations

import argparse
from typing import NoReturn

EXIT_OK, EXIT_NO_PATH, EXIT_USAGE, EXIT_OUTPUT, EXIT_RESOURCE = 0, 1, 2, 3, 4
EXIT_INTERRUPTED = 130

EXIT_CODES = """\
exit status:
  0    a path was found (by at least one algorithm run)
  1    no algorithm run found a path
  2    usage error or bad input (unknown option, unreadable or malformed file,
       invalid puzzle, unknown algorithm or heuristic name, a node or cell
       that is not in the graph or maze)
  3    the plot, animation or page could not be written (unknown file type,
       checked before searching; matplotlib missing: pip install
       "wayloom[viz]"; unwritable file)
  4    out of resources: a search ran out of memory (see --memory-limit,
       --max-nodes, --depth-limit), the shown algorithm passed --time-limit or
       the memory limit, or a worker process died (its row says so)
  130  interrupted (Ctrl-C)
errors are reported as one line on stderr; in the table, an algorithm that
passed --time-limit or the memory limit shows "time limit" or "memory limit"."""


class UsageError(Exception):
    """Bad input: reported as one line, exit status 2."""


class OutputError(Exception):
    """The picture could not be written: reported as one line, exit status 3."""


class ResourceError(Exception):
    """Out of memory or time: reported as one line, exit status 4."""


class Parser(argparse.ArgumentParser):
    """argparse with the command line's one-line usage errors (status 2)."""

    def error(self, message: str) -> NoReturn:
        self.exit(EXIT_USAGE, f"{self.prog}: error: {message} (see '{self.prog} --help')\n")
