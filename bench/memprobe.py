"""Peak resident memory of one grid search, measured in a fresh process.

    python bench/memprobe.py MAPFILE RECORD HEURISTIC

Reads the map text, notes the resident set, runs one search_grid and prints a
JSON line with the kernel's high-water mark (VmHWM) grown since then. A fresh
process per configuration keeps earlier peaks (numpy, other libraries, other
searches) out of the figure; tracemalloc would miss the engine's own memory.
A small search with the same options runs first, so the module's code pages
are already resident and the figure is the search's data alone.
"""

import json
import sys

import wayloom_native as wn


def status_kib(field: str) -> int:
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"{field} missing from /proc/self/status")


def main() -> None:
    path, record, heuristic = sys.argv[1], sys.argv[2] == "1", sys.argv[3]
    with open(path) as f:
        text = f.read()
    warm = "S" + "." * 63 + "\n" + ("." * 64 + "\n") * 62 + "." * 63 + "G"
    wn.search_grid(warm, record=record, heuristic=heuristic)
    rss_before = status_kib("VmRSS")
    hwm_before = status_kib("VmHWM")
    r = wn.search_grid(text, record=record, heuristic=heuristic)
    hwm_after = status_kib("VmHWM")
    print(
        json.dumps(
            {
                "rss_before_kib": rss_before,
                "hwm_before_kib": hwm_before,
                "hwm_after_kib": hwm_after,
                "expanded": r.nodes_expanded,
                "generated": r.nodes_generated,
                "max_frontier": r.max_frontier_size,
                "cost": r.cost,
            }
        )
    )


if __name__ == "__main__":
    main()
