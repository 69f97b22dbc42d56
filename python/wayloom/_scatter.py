"""A built-once object sent to a Dask cluster's workers once, not with every chunk.

Handing the object itself to ``client.submit`` pickles it into every task
(and Dask warns about each large one); a scattered copy is one transfer per
worker, kept for as long as both the object and the client live, and reused
by every later call.
"""

from __future__ import annotations

import threading
import weakref
from concurrent.futures import Executor
from typing import Any

_lock = threading.Lock()
# object -> [(client, its future of the object)], dropped with the object.
_sent: weakref.WeakKeyDictionary[Any, list[tuple[weakref.ref[Any], Any]]] = (
    weakref.WeakKeyDictionary()
)


def dask_client(executor: Executor | None) -> Any:
    """The client behind a Dask client's executor (``Client.get_executor()``), else None."""
    if executor is None or not type(executor).__module__.startswith("distributed."):
        return None
    client = getattr(executor, "_client", None)
    return client if hasattr(client, "scatter") else None


def on_workers(obj: Any, client: Any) -> Any:
    """A Dask future of ``obj`` that every worker of ``client`` holds; sent on first use."""
    with _lock:
        entries = _sent.setdefault(obj, [])
        for ref, future in entries:
            if ref() is client and future.status == "finished":
                return future
        # Forget copies on clients that are gone, or that lost theirs.
        entries[:] = [(r, f) for r, f in entries if r() is not None and r() is not client]
        # hash=False: a random key, so the object is not pickled just to name it.
        future = client.scatter(obj, broadcast=True, hash=False)
        entries.append((weakref.ref(client), future))
        return future
