#!/usr/bin/env python3
"""Mutation testing: how many planted faults does the test suite catch?

Run on demand, not in CI:

    python scripts/mutants.py --label after          # every mutant, report to docs/
    python scripts/mutants.py --only 3,17 --label x  # a few, by number
    python scripts/mutants.py --sample 60,15         # a seeded subset (C++, Python)
    python scripts/mutants.py --show 17              # the mutant as a diff

Each mutant is an exact (file, original snippet, replacement). The tree is
never edited: the sources are copied to build/mutants/src and every C++
mutant is compiled into that copy at once, each behind a runtime switch
(WAYLOOM_MUTANT=<number>), so one incremental -O1 build serves the whole run;
a Python mutant is written into the copy and put back after its run. For each
mutant the C++ tests run, then pytest -x with the test files most likely to
fail first; the first failure (or the per-mutant timeout) kills it. Results go
to docs/mutants/<label>.json and the table of every label to docs/mutants.md.
"""

from __future__ import annotations

import argparse
import difflib
import json
import os
import random
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
WORK = ROOT / "build" / os.environ.get("WAYLOOM_MUTANTS_DIR", "mutants")
SRC = WORK / "src"
BUILD = WORK / "build"
DOCS = ROOT / "docs"
# Copied as they stand when the run starts: editing the tree meanwhile does not
# change what is measured.
TREES = ("include", "binding", "tests", "python")


@dataclass(frozen=True)
class Mutant:
    file: str
    original: str
    replacement: str
    nth: int = 0  # which occurrence of `original` in the file
    note: str = ""  # why a survivor is equivalent, when it is
    # The switched form where the plain one would change the original's scope
    # (a declaration, a member definition); "{on}" stands for the switch.
    switched: str = ""

    @property
    def statement(self) -> bool:
        return self.original.rstrip().endswith((";", "}"))


M = Mutant
BF = "include/wayloom/search/best_first.hpp"
FR = "include/wayloom/frontier/frontiers.hpp"
NS = "include/wayloom/store/node_store.hpp"
NT = "include/wayloom/store/node_table.hpp"
DL = "include/wayloom/search/depth_limited.hpp"
IDA = "include/wayloom/search/ida_star.hpp"
WALK = "include/wayloom/search/depth_first_walk.hpp"
BEAM = "include/wayloom/search/beam.hpp"
BI = "include/wayloom/search/bidirectional.hpp"
HE = "include/wayloom/search/helpers.hpp"
GR = "include/wayloom/domains/grid.hpp"
SP = "include/wayloom/paths/shortest_paths.hpp"
PYC = "python/wayloom/_compare.py"
PYR = "python/wayloom/_rows.py"
PYM = "python/wayloom/_maze.py"
PYCLI = "python/wayloom/cli/runner.py"

MUTANTS: list[Mutant] = [
    # best-first driver: counters, limits, tie-breaks, reopening, cycle checks
    M(BF, "++count.nodes_expanded;", ""),
    M(BF, "++count.nodes_generated;", ""),
    M(BF, "++count.nodes_reopened;", ""),
    M(BF, "count.max_frontier_size = frontier.size();", ""),
    M(BF, "expanded >= *options.max_nodes", "expanded > *options.max_nodes"),
    M(BF, "if (!(g2 < store.g(v))) return;", "if (!(g2 <= store.g(v))) return;"),
    M(BF, "if (seen_negative && store.on_chain(v, u)) return;", ""),
    M(BF, "if (options.reopen && seen_negative && store.on_chain(v, u)) return;", ""),
    M(BF, "if (w < 0.0) seen_negative = true;", ""),
    M(
        BF,
        "if (!options.reopen || !(g2 < store.g(v))) return;",
        "if (!(g2 < store.g(v))) return;",
    ),
    M(
        BF,
        "return gw * g + hw * heuristic.estimate(m, goal);",
        "return gw * g + heuristic.estimate(m, goal);",
    ),
    M(
        BF,
        "result.trace.push_back({index.node(u), gu, frontier.size()});",
        "result.trace.push_back({index.node(u), gu, frontier.size() + 1});",
    ),
    M(
        BF,
        "if (p != kNoNode) result.tree.emplace_back(index.node(p), index.node(id));",
        "if (p != kNoNode) result.tree.emplace_back(index.node(id), index.node(p));",
    ),
    M(BF, "discovered.push_back(v);", ""),
    # frontiers
    M(FR, "return a.seq < b.seq;", "return a.seq > b.seq;"),
    M(
        FR,
        "ring_[(head_ + size_) & (ring_.size() - 1)] = id;",
        "ring_[head_ = (head_ - 1) & (ring_.size() - 1)] = id;",
    ),
    M(
        FR,
        "if (before(heap_[child + 1], heap_[child])) ++child;",
        "if (before(heap_[child], heap_[child + 1])) ++child;",
    ),
    M(FR, "child + 1 < n", "child + 2 < n"),
    M(FR, "next_seq_ = std::uint32_t(order.size());", "next_seq_ = 0;"),
    # node store and table
    M(NS, "if (s == NodeStatus::Closed) return std::nullopt;", ""),
    M(NS, "if (id == ancestor) return true;", ""),
    M(NT, "(nodes_.size() + 1) * 2 > slots_.size()", "nodes_.size() + 1 > slots_.size()"),
    M(NT, "slots_[i] = kNoNode;", ""),
    # depth-limited, iterative deepening
    M(WALK, "return depth > 0;", "return depth > 1;"),
    M(WALK, "if (path_.contains(child)) continue;", ""),
    M(DL, "walk.count_start();", ""),
    M(WALK, "return parent - 1;", "return parent;"),
    M(DL, "d == depth_limit", "d + 1 == depth_limit"),
    M(
        WALK,
        "if (record_) record_step(trace, budget_, *current, g, path_.size());",
        "if (record_) record_step(trace, budget_, *current, g, path_.size() + 1);",
    ),
    M(
        WALK,
        "count.max_frontier_size = std::max<std::uint64_t>(count.max_frontier_size, path_.size());",
        "",
    ),
    M(
        "include/wayloom/catalogue.hpp",
        "kIddfsDepth = 1000",
        "kIddfsDepth = 100",
    ),
    # IDA*
    M(WALK, "f > threshold", "f >= threshold"),
    M(WALK, "++count.nodes_generated;", "", nth=1),
    M(WALK, "fold(f, parent);", "fold(f + 1.0, parent);"),
    M(
        WALK,
        "*parent = std::fmin(*parent, bound);",
        "*parent = *parent < bound ? *parent : bound;",
        note="equivalent: a NaN f is never cut off, so neither operand is ever NaN here",
    ),
    # beam
    M(BEAM, "std::size_t(beam_width)", "std::size_t(beam_width) + 1"),
    M(BEAM, "if (!fresh) continue;", ""),
    M(BEAM, "if (std::isnan(a)) return false;", ""),
    M(
        BEAM,
        "count.max_frontier_size = std::max<std::uint64_t>(count.max_frontier_size, layer.size());",
        "",
    ),
    M(
        BEAM,
        "std::stable_sort(candidates.begin(), candidates.end(),\n"
        "                     [](const detail::BeamEntry& a, const detail::BeamEntry& b) {\n"
        "                       return detail::key_before(a.key, b.key);\n"
        "                     });",
        "std::sort(candidates.begin(), candidates.end(),\n"
        "                     [](const detail::BeamEntry& a, const detail::BeamEntry& b) {\n"
        "                       return detail::key_before(a.key, b.key);\n"
        "                     });",
    ),
    # bidirectional
    M(
        BI,
        "bwd.frontier.size() < fwd.frontier.size()",
        "bwd.frontier.size() <= fwd.frontier.size()",
    ),
    M(BI, "cost < best->second", "cost <= best->second"),
    M(
        BI,
        "count.max_frontier_size = std::max<std::uint64_t>(count.max_frontier_size, next.size());",
        "",
    ),
    M(BI, "if (start == goal)", "if (false)"),
    M(BI, "!graph.symmetric()", "false"),
    M(BI, "++count.nodes_generated;", ""),
    # shared result helpers
    M(HE, "if (m == v && w < best) best = w;", "if (m == v) best = w;"),
    M(HE, 'cost += std::isfinite(step) ? step : std::nan("");', "cost += step;"),
    M(
        HE,
        "solved_at_cost<N>({}, kInf,",
        "solved_at_cost<N>({}, 0.0,",
        switched="solved_at_cost<N>({}, {on} ? 0.0 : kInf,",
    ),
    # domains
    M("include/wayloom/domains/csr_graph.hpp", "e.target >= num_nodes", "e.target > num_nodes"),
    M("include/wayloom/domains/csr_graph.hpp", "u >= num_nodes()", "u > num_nodes()"),
    M(GR, "up && left && is_open({r - 1, k - 1})", "is_open({r - 1, k - 1})"),
    M(
        GR,
        "if (up) f(Cell{r - 1, k}, double(t[i - w]));\n"
        "      if (down) f(Cell{r + 1, k}, double(t[i + w]));",
        "if (down) f(Cell{r + 1, k}, double(t[i + w]));\n"
        "      if (up) f(Cell{r - 1, k}, double(t[i - w]));",
    ),
    M(
        GR,
        "f(Cell{r + 1, k + 1}, cost({r + 1, k + 1}) * kSqrt2);",
        "f(Cell{r + 1, k + 1}, cost({r + 1, k + 1}));",
    ),
    M(GR, "c.row >= 0 && c.row < height_", "c.row >= 0 && c.row <= height_"),
    M(GR, "table[int('#')] = 0;", ""),
    M(GR, "line.rfind('S')", "line.find('S')"),
    M(
        GR,
        "if (terrain_[i] != 0) terrain_[i] = std::uint8_t(cost);",
        "terrain_[i] = std::uint8_t(cost);",
    ),
    M(GR, "return (a - b) + b * kSqrt2;", "return (a - b) + b;"),
    M(GR, "return double(std::llabs(dr) + std::llabs(dc));", "return double(std::llabs(dr));"),
    M(
        "include/wayloom/domains/npuzzle.hpp",
        "return (transpositions + distance) % 2 == 0;",
        "return transpositions % 2 == 0;",
    ),
    M("include/wayloom/domains/npuzzle.hpp", "r > 0", "r > 1"),
    M(
        "include/wayloom/domains/npuzzle.hpp",
        "for (std::size_t tile = 1; tile < kTableCells; ++tile)",
        "for (std::size_t tile = 0; tile < kTableCells; ++tile)",
    ),
    M(
        "include/wayloom/domains/npuzzle.hpp",
        "count += (state[i] != 0 && state[i] != goal[i]);",
        "count += (state[i] != goal[i]);",
    ),
    M(
        "include/wayloom/domains/hanoi.hpp",
        "if (to == from || (top[to] != kNone && top[to] < d)) continue;",
        "if (to == from) continue;",
    ),
    M("include/wayloom/domains/hanoi.hpp", "std::uint8_t(pegs_ - 1)", "std::uint8_t(1)"),
    M("include/wayloom/domains/wordladder.hpp", "if (c == b) continue;", ""),
    M("include/wayloom/domains/wordladder.hpp", "c <= 'z'", "c < 'z'"),
    M("include/wayloom/domains/generators.hpp", "k >= n", "k > n"),
    # shortest paths
    M(SP, "if (!changed || round + 1 >= n) break;", "if (round + 1 >= n) break;"),
    M(
        SP,
        "sp.negative_cycle = std::any_of(arcs.begin(), arcs.end(), improves);",
        "sp.negative_cycle = false;",
    ),
    M(SP, "if (path.size() == n + 1) return std::nullopt;", ""),
    M(SP, "weight < dist[at]", "weight < dist[at] || true"),
    M(SP, "dist[i * n + i] < 0.0", "dist[i * n + i] < -1.0"),
    M(SP, "through < current", "through <= current"),
    M(
        SP,
        "if (from >= num_nodes || to >= num_nodes) return kInf;",
        "if (from >= num_nodes) return kInf;",
    ),
    # random numbers
    M(
        "include/wayloom/random/chacha.hpp",
        "d.v = (d.v << 8) | (d.v >> 24);",
        "d.v = (d.v << 9) | (d.v >> 23);",
    ),
    M("include/wayloom/random/chacha.hpp", "counter_ += 4;", "counter_ += 1;"),
    M(
        "include/wayloom/random/chacha.hpp",
        "if (std::uint32_t(product) <= zone) return std::size_t(product >> 32);",
        "return std::size_t(product >> 32);",
    ),
    M("include/wayloom/random/chacha.hpp", "next_u64() >> 11", "next_u64() >> 12"),
    # binding: callbacks, references, the interpreter lock, errors
    M("binding/callbacks.hpp", "has() || !t", "!t"),
    M(
        "binding/callbacks.hpp",
        "if (!callable_ || slot_->has()) return 0.0;",
        "if (!callable_) return 0.0;",
    ),
    M("binding/callbacks.hpp", "!PyErr_ExceptionMatches(PyExc_Exception)", "false"),
    M("binding/callbacks.hpp", "if (!(v == -1.0 && PyErr_Occurred())) return v;", "return v;"),
    M(
        "binding/py_ref.hpp",
        "~Ref() { Py_XDECREF(p_); }",
        "~Ref() {}",
        switched="~Ref() { if (!{on}) Py_XDECREF(p_); }",
    ),
    M(
        "binding/search_common.hpp",
        "ReleaseGil nogil;",
        "",
        switched="std::optional<ReleaseGil> nogil; if (!{on}) nogil.emplace();",
    ),
    M("binding/search_common.hpp", "pending.raise_if_set();", ""),
    M(
        "binding/search_common.hpp",
        'p.options.weight = a[weight] ? to_f64("weight", a[weight]) : 2.0;',
        'p.options.weight = a[weight] ? to_f64("weight", a[weight]) : 1.0;',
    ),
    M(
        "binding/search_common.hpp",
        'p.options.record = a[record] ? to_bool("record", a[record]) : true;',
        'p.options.record = a[record] ? to_bool("record", a[record]) : false;',
    ),
    M("binding/errors.cpp", "Py_DECREF(s);", ""),
    M(
        "binding/errors.cpp",
        "set_error(PyExc_ValueError, e.message());",
        "set_error(PyExc_RuntimeError, e.message());",
    ),
    M(
        "binding/args.cpp",
        'if (out[idx]) type_error(f + " got multiple values for argument \'" + k + "\'");',
        "",
    ),
    M("binding/args.cpp", 'npos == 1 ? " was given" : " were given"', '" were given"'),
    M("binding/args.cpp", "names.size() == 2", "names.size() == 3"),
    M("binding/args.cpp", "if (o == Py_False) return false;", ""),
    M("binding/args.cpp", "v > INT32_MAX", "v >= INT32_MAX"),
    M(
        "binding/args.cpp",
        "if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) "
        "prefix_pending_error(name);",
        "",
    ),
    M("binding/args.cpp", "n != length", "n < length"),
    M("binding/result.cpp", "point <= 0", "point < 0"),
    M(
        "binding/result.cpp",
        'std::snprintf(elapsed, sizeof elapsed, "%.6f", s->elapsed);',
        'std::snprintf(elapsed, sizeof elapsed, "%.3f", s->elapsed);',
    ),
    M("binding/result.cpp", "Py_VISIT(s->trace);", ""),
    M("binding/result.cpp", "delete self_of(o)->record;", ""),
    M("binding/result.cpp", "if (!*slot) *slot = list.release();", "*slot = list.release();"),
    M("binding/result.cpp", "s->record && s->trace && s->tree", "s->record && s->trace"),
    M(
        "binding/result.hpp",
        "double(r.elapsed.count() % 1000000000) / 1e9",
        "double(r.elapsed.count() % 1000000000) / 1e6",
    ),
    M(
        "binding/result.cpp",
        'to_u64("nodes_reopened", a[4])',
        'to_u64("nodes_generated", a[3])',
    ),
    M("binding/result.hpp", "if (was_enabled_ == 1) PyGC_Enable();", ""),
    M("binding/nodes.hpp", "if (v.size() == 1) return check(PyLong_FromLongLong(v[0]));", ""),
    M("binding/domains/graph.cpp", "t >= num_nodes", "t > num_nodes"),
    M(
        "binding/domains/graph.cpp",
        'a[6] ? to_bool("undirected", a[6]) : true',
        'a[6] ? to_bool("undirected", a[6]) : false',
    ),
    M(
        "binding/domains/grid.cpp",
        "!g.is_open(s) || !g.is_open(t)",
        "!g.is_open(s)",
    ),
    M(
        "binding/domains/implicit.cpp",
        "out.resize(before);",
        "",
        note="equivalent: after a failure Python is not called again and the recorded "
        "exception replaces the result, so the kept successors are never seen",
    ),
    M("binding/domains/implicit.cpp", "PyTuple_GET_SIZE(pair) != 2", "PyTuple_GET_SIZE(pair) < 2"),
    M(
        "binding/domains/npuzzle.cpp",
        "std::uint64_t(t) >= n || seen[std::size_t(t)]",
        "std::uint64_t(t) >= n",
    ),
    M("binding/domains/npuzzle.cpp", "n > 256", "n > 289"),
    M("binding/args.cpp", "if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');", ""),
    M(
        "binding/paths.cpp",
        '(r.negative_cycle ? "true" : "false")',
        '(r.negative_cycle ? "false" : "true")',
    ),
    M("binding/paths.cpp", "Py_DECREF(type);", ""),
    # the Python package
    M(
        PYR,
        'return value if row.depth_limit is None else f"{value} (depth {row.depth_limit})"',
        "return value",
    ),
    M(PYR, 'f"{value:.6g}"', 'f"{value:.4g}"'),
    M(PYR, 'f"{value * 1e3:.3f}"', 'f"{value:.3f}"'),
    M(PYR, 'return "yes" if value else "no"', 'return "no" if value else "yes"'),
    M(PYR, "raise KeyError(algorithm)", "raise ValueError(algorithm)"),
    M(PYC, " or isinstance(workers, bool)", ""),
    M(PYC, "if executor is not None and workers != 1:", "if False:"),
    M(
        PYC,
        "return len(r.path) - 1 if r.found else None",
        "return len(r.path) if r.found else None",
    ),
    M(PYC, "self.enabled = enabled and total > 1", "self.enabled = enabled and total > 0"),
    M(PYC, 'for key in ("algorithm", "record"):', 'for key in ("algorithm",):'),
    M(
        PYM,
        "0 <= cell[1] < self.width",
        "0 <= cell[1] <= self.width",
        note="not equivalent: only the pictures use it; test_viz.py (not this suite's) "
        "never asks about the column just past the edge",
    ),
    M(PYM, "b - 48 if 49 <= b <= 57 else 1", "b - 48 if 48 <= b <= 57 else 1"),
    M(PYM, "math.isfinite(v) and v > 0", "math.isfinite(v) and v >= 0"),
    M(PYM, "for line in lines[:-1]] + lines[-1:]", "for line in lines]"),
    M("python/wayloom/cli/graph.py", "if ns.start < 0 or ns.goal < 0:", "if ns.start < 0:"),
    M("python/wayloom/cli/graph.py", "if node >= nodes:", "if node > nodes:"),
    M(PYCLI, "and value < 0:", "and value < -1:"),
    M("python/wayloom/cli/problems.py", "if seed < 0:", "if seed < -1:"),
    M(
        PYCLI,
        "if None not in errors and len(errors) == 1",
        "if None not in errors and len(errors) == 2",
    ),
    M(PYCLI, "if shown is not None and (shown.bounded or shown.died):", "if False:"),
    M("python/wayloom/_timed.py", "return Row.failed(algorithm, str(exc))", "raise"),
]

# Test files most likely to catch a fault in a source file, tried first (names
# that no longer exist are skipped; the rest of the suite follows).
FIRST = [
    ("python/wayloom/_compare.py", ["test_compare.py"]),
    ("python/wayloom/_rows.py", ["test_compare.py"]),
    ("python/wayloom/_timed.py", ["test_cli.py", "test_bounds.py"]),
    ("python/wayloom/cli/", ["test_cli.py"]),
    ("python/wayloom/_maze.py", ["test_graph_grid.py", "test_viz.py", "test_cli.py"]),
    ("binding/callbacks.hpp", ["test_callbacks.py", "test_errors.py"]),
    ("binding/domains/implicit.cpp", ["test_callbacks.py", "test_errors.py"]),
    ("binding/search_common.hpp", ["test_threads.py", "test_callbacks.py", "test_strategies.py"]),
    ("binding/args.cpp", ["test_errors.py", "test_binding.py"]),
    ("binding/errors.cpp", ["test_errors.py", "test_leaks.py", "test_binding.py"]),
    ("binding/py_ref.hpp", ["test_leaks.py"]),
    ("binding/result", ["test_binding.py", "test_leaks.py"]),
    ("binding/nodes.hpp", ["test_callbacks.py"]),
    ("binding/domains/gr", ["test_errors.py", "test_graph_grid.py", "test_many.py"]),
    ("binding/domains/npuzzle.cpp", ["test_errors.py", "test_puzzles.py"]),
    ("binding/domains/hanoi.cpp", ["test_errors.py", "test_puzzles.py"]),
    ("binding/domains/ladder.cpp", ["test_errors.py", "test_puzzles.py", "test_many.py"]),
    ("binding/paths.cpp", ["test_paths.py", "test_leaks.py"]),
    ("include/wayloom/domains/grid.hpp", ["test_graph_grid.py"]),
    ("include/wayloom/domains/csr_graph.hpp", ["test_graph_grid.py", "test_errors.py"]),
    ("include/wayloom/domains/npuzzle.hpp", ["test_puzzles.py"]),
    ("include/wayloom/domains/hanoi.hpp", ["test_puzzles.py"]),
    ("include/wayloom/domains/wordladder.hpp", ["test_puzzles.py"]),
    ("include/wayloom/domains/generators.hpp", ["test_paths.py"]),
    ("include/wayloom/paths/", ["test_paths.py"]),
    ("include/wayloom/", ["test_strategies.py", "test_oracle.py"]),
]


def occurrence(text: str, needle: str, nth: int) -> int:
    at = -1
    for _ in range(nth + 1):
        at = text.find(needle, at + 1)
        if at < 0:
            return -1
    return at


def schema(number: int, m: Mutant) -> str:
    """The C++ text that is the mutant when WAYLOOM_MUTANT=number, else the original."""
    if m.switched:
        return m.switched.replace("{on}", f"WAYLOOM_MUTANT_ON({number})")
    if m.statement:
        return f"if (WAYLOOM_MUTANT_ON({number})) {{ {m.replacement} }} else {{ {m.original} }}"
    return f"(WAYLOOM_MUTANT_ON({number}) ? ({m.replacement}) : ({m.original}))"


SWITCH = """#pragma once
#include <cstdlib>
inline int wayloom_mutant_id() noexcept {
  static const int id = [] {
    const char* s = std::getenv("WAYLOOM_MUTANT");
    return s ? std::atoi(s) : -1;
  }();
  return id;
}
#define WAYLOOM_MUTANT_ON(n) (wayloom_mutant_id() == (n))
"""


def write_if_changed(path: Path, text: str) -> None:
    if not path.exists() or path.read_text() != text:
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)


# Set by --tests-from: measure the tests of that commit instead of the tree's.
TESTS_REV: str | None = None
# Set by --deselect: tests left out (timing tests that fail on a loaded machine).
DESELECT: list[str] = []


def tree_files(top: str) -> dict[str, str]:
    """The files under `top`, from the work tree or, for tests/, from TESTS_REV."""
    if top == "tests" and TESTS_REV:
        names = subprocess.run(
            ["git", "ls-tree", "-r", "--name-only", TESTS_REV, top],
            cwd=ROOT,
            check=True,
            capture_output=True,
            text=True,
        ).stdout.split()
        return {
            n: subprocess.run(
                ["git", "show", f"{TESTS_REV}:{n}"],
                cwd=ROOT,
                check=True,
                capture_output=True,
                text=True,
            ).stdout
            for n in names
        }
    return {
        src.relative_to(ROOT).as_posix(): src.read_text()
        for src in sorted((ROOT / top).rglob("*"))
        if src.is_file() and "__pycache__" not in src.parts
    }


def prepare(numbers: list[int], skip: set[int]) -> dict[int, tuple[str, int, int]]:
    """Copies the sources and plants the C++ mutants; returns their line spans."""
    spans: dict[int, tuple[str, int, int]] = {}
    kept: set[str] = set()
    for top in TREES:
        for rel, text in tree_files(top).items():
            kept.add(rel)
            if rel.startswith(("include/", "binding/")):
                text = plant(rel, text, numbers, skip, spans)
            write_if_changed(SRC / rel, text)
    for name in ("CMakeLists.txt", "pyproject.toml"):
        write_if_changed(SRC / name, (ROOT / name).read_text())
    write_if_changed(WORK / "switch.hpp", SWITCH)
    # Sources removed from the tree since the last run leave the copy too.
    for top in TREES:
        for dst in sorted((SRC / top).rglob("*")):
            if dst.is_file() and dst.relative_to(SRC).as_posix() not in kept:
                dst.unlink()
    # The package's private extension module is built beside the others; the
    # copied package imports it from inside itself, so it is linked in.
    for module in BUILD.glob("_engine.*.so"):
        (SRC / "python" / "wayloom" / module.name).symlink_to(module)
    return spans


def plant(
    rel: str, text: str, numbers: list[int], skip: set[int], spans: dict[int, tuple[str, int, int]]
) -> str:
    edits = []
    for n in numbers:
        m = MUTANTS[n - 1]
        if m.file != rel or n in skip:
            continue
        at = occurrence(text, m.original, m.nth)
        edits.append((at, at + len(m.original), n))
    edits.sort()
    for (_a0, a1, n0), (b0, _, n1) in zip(edits, edits[1:]):
        if b0 < a1:
            raise SystemExit(f"mutants {n0} and {n1} overlap in {rel}")
    for start, end, n in reversed(edits):
        text = text[:start] + schema(n, MUTANTS[n - 1]) + text[end:]
    # Line spans after planting, for blaming a failed build on a mutant.
    for n in numbers:
        if MUTANTS[n - 1].file == rel and n not in skip:
            at = text.find(f"WAYLOOM_MUTANT_ON({n})")
            first = text.count("\n", 0, at) + 1
            spans[n] = (rel, first, first + schema(n, MUTANTS[n - 1]).count("\n"))
    return text


def build(numbers: list[int], log) -> set[int]:
    """Builds the copy; mutants that break the build are dropped and reported."""
    broken: set[int] = set()
    flags = f"-O1 -include {WORK / 'switch.hpp'}"
    for _ in range(10):
        spans = prepare(numbers, broken)
        if not (BUILD / "build.ninja").exists():
            subprocess.run(
                [
                    "cmake",
                    "-S",
                    str(SRC),
                    "-B",
                    str(BUILD),
                    "-G",
                    "Ninja",
                    "-DWAYLOOM_BUILD_MODULE=ON",
                    "-DWAYLOOM_BUILD_TESTS=ON",
                    "-DCMAKE_BUILD_TYPE=None",
                    f"-DCMAKE_CXX_FLAGS={flags}",
                    f"-DPython_EXECUTABLE={sys.executable}",
                ],
                check=True,
                stdout=subprocess.DEVNULL,
            )
        r = subprocess.run(["ninja", "-C", str(BUILD), "-k", "0"], capture_output=True, text=True)
        if r.returncode == 0:
            return broken
        blamed = set()
        for m in re.finditer(r"^(/[^:\n]+):(\d+):\d+: error", r.stdout, re.M):
            path, line = Path(m.group(1)), int(m.group(2))
            rel = path.relative_to(SRC).as_posix() if path.is_relative_to(SRC) else ""
            for n, (f, a, b) in spans.items():
                if f == rel and a <= line <= b:
                    blamed.add(n)
        if not blamed:
            log(r.stdout[-3000:])
            raise SystemExit("the build fails and no mutant is to blame")
        log(f"did not build: {sorted(blamed)}")
        broken |= blamed
    raise SystemExit("the build keeps failing")


def test_files(m: Mutant | None, learned: str | None) -> list[str]:
    all_files = sorted(p.name for p in (SRC / "tests" / "python").glob("test_*.py"))
    first: list[str] = [learned] if learned else []
    if m is not None:
        for prefix, names in FIRST:
            if m.file.startswith(prefix):
                first += names
                break
    seen: list[str] = []
    for name in first + all_files:
        if name in all_files and name not in seen:
            seen.append(name)
    return [str(SRC / "tests" / "python" / n) for n in seen]


def run(cmd: list[str], env: dict, deadline: float) -> tuple[str, str]:
    """Runs a command in its own process group; ('ok'|'fail'|'timeout', output)."""
    p = subprocess.Popen(
        cmd,
        cwd=SRC,
        env=env,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        text=True,
        start_new_session=True,
    )
    try:
        out, _ = p.communicate(timeout=max(1.0, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        return "timeout", out
    return ("ok" if p.returncode == 0 else "fail"), out


def run_suite(
    number: int | None, m: Mutant | None, timeout: float, learned: str | None
) -> tuple[str, str]:
    """('killed'|'survived', what killed it)."""
    env = dict(os.environ)
    env["WAYLOOM_MUTANT"] = str(number if number else -1)
    env["PYTHONPATH"] = os.pathsep.join([str(SRC / "python"), str(BUILD)])
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    env["MPLBACKEND"] = "Agg"
    deadline = time.monotonic() + timeout
    for exe in sorted(BUILD.glob("test_*")):
        if exe.is_file() and os.access(exe, os.X_OK):
            status, out = run([str(exe), "--gtest_fail_fast", "--gtest_brief=1"], env, deadline)
            if status != "ok":
                failed = re.search(r"\[  FAILED  \] (\S+)", out)
                return "killed", f"{status}: {exe.name} {failed.group(1) if failed else ''}".strip()
    # The likeliest file alone first (collecting every file costs seconds),
    # then the rest.
    files = test_files(m, learned)
    for batch in (files[:1], files[1:]) if m is not None else (files,):
        cmd = [
            sys.executable,
            "-m",
            "pytest",
            "-x",
            "-q",
            "-p",
            "no:cacheprovider",
            *[f"--deselect={d}" for d in DESELECT],
            *batch,
        ]
        status, out = run(cmd, env, deadline)
        if status != "ok":
            failed = re.search(r"^(?:FAILED|ERROR) (\S+)", out, re.M)
            return "killed", f"{status}: {failed.group(1) if failed else out.strip()[-200:]}"
    return "survived", ""


def describe(m: Mutant) -> str:
    def short(s: str) -> str:
        s = " ".join(s.split())
        return (s[:60] + "…") if len(s) > 61 else s

    new = short(m.replacement) if m.replacement else "(removed)"
    return f"`{short(m.original)}` → `{new}`".replace("|", "\\|")


def line_of(m: Mutant) -> int:
    text = (ROOT / m.file).read_text()
    at = occurrence(text, m.original, m.nth)
    return text.count("\n", 0, at) + 1 if at >= 0 else 0


def write_report() -> None:
    runs = {}
    for path in sorted((DOCS / "mutants").glob("*.json")):
        runs[path.stem] = json.loads(path.read_text())
    labels = sorted(runs, key=lambda k: runs[k]["started"])
    lines = [
        "# Mutation testing",
        "",
        "Made by `python scripts/mutants.py` (see its docstring): each row is one planted "
        "fault, each column one run of the suite on the whole list. A timeout counts as "
        "killed. Runs: `--sample 60,15` (seed 12) of the full list; the two Ctrl-C "
        "timing tests deselected (they fail on a loaded machine). Tests measured: "
        + "; ".join(f"{k}: {runs[k].get('tests_from', 'work tree')}" for k in labels)
        + ".",
        "",
        "| run | when | killed | survived | did not build | kill rate |",
        "|---|---|---|---|---|---|",
    ]
    for k in labels:
        res = runs[k]["results"].values()
        killed = sum(r["status"] == "killed" for r in res)
        survived = sum(r["status"] == "survived" for r in res)
        dnb = sum(r["status"] == "did not build" for r in res)
        rate = killed / max(1, killed + survived)
        lines.append(f"| {k} | {runs[k]['started']} | {killed} | {survived} | {dnb} | {rate:.1%} |")
    lines += [
        "",
        "| # | where | mutant | " + " | ".join(labels) + " | note |",
        "|---|---|---|" + "---|" * len(labels) + "---|",
    ]
    for n, m in enumerate(MUTANTS, 1):
        cells = []
        for k in labels:
            r = runs[k]["results"].get(str(n))
            cells.append(
                "–"
                if r is None
                else r["status"]
                if r["status"] != "killed"
                else "killed: " + r["by"].split(": ", 1)[-1].split("::")[0].split("/")[-1]
            )
        lines.append(
            f"| {n} | {m.file}:{line_of(m)} | {describe(m)} | "
            + " | ".join(cells)
            + f" | {m.note} |"
        )
    (DOCS / "mutants.md").write_text("\n".join(lines) + "\n")


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--label", default="latest", help="name of this run in the report")
    ap.add_argument("--only", help="comma-separated mutant numbers")
    ap.add_argument(
        "--sample",
        metavar="C,P",
        help="a seeded random subset: C mutants of the C++ and P of the Python code",
    )
    ap.add_argument("--seed", type=int, default=12, help="seed of --sample")
    ap.add_argument("--timeout", type=float, help="seconds per mutant (default: 2x the clean run)")
    ap.add_argument("--show", type=int, help="print one mutant as a diff and stop")
    ap.add_argument("--report", action="store_true", help="only rewrite docs/mutants.md")
    ap.add_argument("--tests-from", metavar="REV", help="run the tests of this commit")
    ap.add_argument(
        "--deselect",
        action="append",
        default=[],
        metavar="NODEID",
        help="leave a test out (pytest node id), e.g. a timing test under load",
    )
    a = ap.parse_args()
    global TESTS_REV
    TESTS_REV = a.tests_from
    DESELECT.extend(a.deselect)

    for n, m in enumerate(MUTANTS, 1):
        if occurrence((ROOT / m.file).read_text(), m.original, m.nth) < 0:
            raise SystemExit(f"mutant {n}: snippet not found in {m.file}: {m.original!r}")
    if a.show:
        m = MUTANTS[a.show - 1]
        text = (ROOT / m.file).read_text()
        at = occurrence(text, m.original, m.nth)
        new = text[:at] + m.replacement + text[at + len(m.original) :]
        sys.stdout.writelines(
            difflib.unified_diff(
                text.splitlines(True), new.splitlines(True), "a/" + m.file, "b/" + m.file
            )
        )
        return
    if a.report:
        write_report()
        return

    numbers = list(range(1, len(MUTANTS) + 1))
    if a.only:
        numbers = [int(x) for x in a.only.split(",")]
    if a.sample:
        c, p = (int(x) for x in a.sample.split(","))
        rng = random.Random(a.seed)
        py = [n for n in numbers if MUTANTS[n - 1].file.startswith("python/")]
        numbers = sorted(rng.sample([n for n in numbers if n not in py], c) + rng.sample(py, p))
    out_json = DOCS / "mutants" / f"{a.label}.json"
    out_json.parent.mkdir(parents=True, exist_ok=True)
    learned: dict[str, str] = {}
    for other in (DOCS / "mutants").glob("*.json"):
        for k, r in json.loads(other.read_text())["results"].items():
            hit = re.search(r"(test_\w+\.py)", r.get("by", ""))
            if hit:
                learned[k] = hit.group(1)

    def log(msg: str) -> None:
        print(msg, flush=True)

    started = time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())
    t0 = time.monotonic()
    log(f"building {len(numbers)} mutants into {BUILD} ...")
    cxx = [n for n in numbers if not MUTANTS[n - 1].file.startswith("python/")]
    broken = build(cxx, log)
    prepare(cxx, broken)  # the tests as they stand now, after a long build
    log(f"built in {time.monotonic() - t0:.0f} s")
    clean = 0.0
    for _attempt in range(0 if a.only and a.timeout else 3):  # a re-run trusts the last clean run
        t1 = time.monotonic()
        status, by = run_suite(None, None, 3600, None)
        clean = time.monotonic() - t1
        if status == "survived":
            break
        log(f"clean run failed: {by}")
    else:
        if not (a.only and a.timeout):
            raise SystemExit(f"the suite fails without any mutant: {by}")
    timeout = a.timeout or max(60.0, 1.5 * clean + 30)
    log(f"clean run {clean:.0f} s; timeout {timeout:.0f} s a mutant")

    results: dict[str, dict] = {}
    if a.only and out_json.exists():  # a re-run of a few mutants updates their rows
        results = json.loads(out_json.read_text())["results"]
    doc = {
        "label": a.label,
        "started": started,
        "clean_seconds": round(clean, 1),
        "tests_from": TESTS_REV or "work tree",
        "deselected": DESELECT,
        "results": results,
    }
    for n in numbers:
        m = MUTANTS[n - 1]
        t = time.monotonic()
        if n in broken:
            results[str(n)] = {"status": "did not build", "by": ""}
        elif m.file.startswith("python/"):
            target = SRC / m.file
            text = target.read_text()
            at = occurrence(text, m.original, m.nth)
            try:
                target.write_text(text[:at] + m.replacement + text[at + len(m.original) :])
                status, by = run_suite(n, m, timeout, learned.get(str(n)))
            finally:
                target.write_text(text)
            results[str(n)] = {"status": status, "by": by}
        else:
            status, by = run_suite(n, m, timeout, learned.get(str(n)))
            results[str(n)] = {"status": status, "by": by}
        results[str(n)]["seconds"] = round(time.monotonic() - t, 1)
        log(
            f"{n:4d} {results[str(n)]['status']:9s} {time.monotonic() - t:5.0f}s "
            f"{m.file}:{line_of(m)} {by}"
        )
        out_json.write_text(json.dumps(doc, indent=1) + "\n")
    res = results.values()
    killed = sum(r["status"] == "killed" for r in res)
    survived = [k for k, r in results.items() if r["status"] == "survived"]
    total = killed + len(survived)
    log(
        f"\nkilled {killed}/{total} ({killed / max(1, total):.1%}); survived: {survived}; "
        f"{time.monotonic() - t0:.0f} s in all"
    )
    write_report()


if __name__ == "__main__":
    main()
