"""``python -m wayloom``: the command line of :mod:`wayloom.cli`."""

import sys

from .cli import main

if __name__ == "__main__":
    sys.exit(main())
