"""networkx's own test suite run through the backend.

``NETWORKX_TEST_BACKEND=wayloom pytest --pyargs networkx...`` converts every
graph and calls the backend; the tests listed here are marked as expected to
fail, each for a documented difference. The run also counts, per function,
the calls the backend served and those left to networkx, and prints them at
exit (``WAYLOOM_NX_CALLS=<file>`` writes them as JSON too).
"""

from __future__ import annotations

import atexit
import json
import logging
import os
import sys
from collections import Counter
from typing import Any

#: Test id (its tail) -> why the backend's answer differs from the one pinned.
DIFFERENCES: dict[str, str] = {}


class CallCounter(logging.Handler):
    """Reads networkx's dispatch log: a call is served once the backend is
    used, and left to networkx when networkx falls back (also after the
    backend declined with NotImplementedError)."""

    def __init__(self) -> None:
        super().__init__(logging.DEBUG)
        self.served: Counter[str] = Counter()
        self.fallback: Counter[str] = Counter()

    def emit(self, record: logging.LogRecord) -> None:
        msg, args = record.msg, record.args
        if not isinstance(msg, str) or not isinstance(args, tuple) or len(args) < 2:
            return
        if msg.startswith("Using backend ") and args[0] == "wayloom":
            self.served[str(args[1])] += 1
        elif msg.startswith("Falling back to use 'networkx'"):
            self.fallback[str(args[1])] += 1
        elif msg.startswith("Graph conversion failed; falling back"):
            self.fallback[str(args[1])] += 1
        elif msg.startswith("Backend '%s' raised when calling '%s'") and "falling back" in msg:
            self.served[str(args[1])] -= 1
            self.fallback[str(args[1])] += 1

    def report(self) -> dict[str, Any]:
        names = sorted(set(self.served) | set(self.fallback))
        return {
            "served": sum(self.served.values()),
            "fallback": sum(self.fallback.values()),
            "functions": {n: [self.served[n], self.fallback[n]] for n in names},
        }


def _print_report(counter: CallCounter) -> None:
    report = counter.report()
    path = os.environ.get("WAYLOOM_NX_CALLS")
    if path:
        with open(path, "w", encoding="utf-8") as f:
            json.dump(report, f, indent=1)
    print(
        f"\nwayloom backend: {report['served']} calls served, "
        f"{report['fallback']} left to networkx",
        file=sys.stderr,
    )
    for name, (served, fallback) in report["functions"].items():
        print(f"  {name:45} served {served:5}  networkx {fallback:5}", file=sys.stderr)


def mark_tests(items: list[Any]) -> None:
    import pytest

    for item in items:
        for tail, reason in DIFFERENCES.items():
            if item.nodeid.endswith(tail):
                item.add_marker(pytest.mark.xfail(reason=reason, strict=True))
    counter = CallCounter()
    logger = logging.getLogger("networkx.utils.backends")
    logger.setLevel(logging.DEBUG)
    # Not passed on to pytest's capture: it would format every call's arguments.
    logger.propagate = False
    logger.addHandler(counter)
    atexit.register(_print_report, counter)
