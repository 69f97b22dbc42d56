// The engine spine: frontier orders, node bookkeeping, the best-first driver's
// counters, trace and tree, the catalogue, and the CSR and grid domains.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "wayloom/core/error.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/frontier/frontiers.hpp"
#include "wayloom/search/best_first.hpp"
#include "wayloom/search/catalogue.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom {

inline void PrintTo(const Cell& c, std::ostream* os) {
  *os << "(" << c.row << ", " << c.col << ")";
}

// The archetype's nodes are plain ints; hashing is the node type's business.
template <>
struct NodeHash<int> {
  std::uint64_t operator()(int v) const noexcept { return detail::mix64(std::uint32_t(v)); }
};

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The smallest domain the engine accepts: a node type and neighbors_into.
// Sparse, negative ids make sure nothing assumes dense node numbering.
struct Archetype {
  using node_type = int;
  void neighbors_into(const int& n, Neighbors<int>& out) const {
    switch (n) {
      case 100:  // s
        out.push_back({-7, 1.0});
        out.push_back({42, 5.0});
        break;
      case -7:  // a
        out.push_back({42, 1.0});
        break;
      case 42:  // b
        out.push_back({1000000, 1.0});
        break;
      default:
        break;
    }
  }
};
static_assert(Graph<Archetype> && !DenseGraph<Archetype>);
static_assert(DenseGraph<CsrGraph> && DenseGraph<GridGraph>);

using Node = std::size_t;

CsrGraph directed(std::size_t n, const std::vector<Edge>& edges) {
  return CsrGraph::from_edges(n, edges, false);
}

template <class N>
using Steps = std::vector<std::tuple<N, double, std::uint64_t>>;

template <class N>
Steps<N> steps(const SearchResult<N>& r) {
  Steps<N> out;
  for (const auto& s : r.trace) {
    EXPECT_TRUE(s.g.has_value());
    out.emplace_back(s.node, s.g.value_or(kNaN), s.frontier_size);
  }
  return out;
}

template <class N>
std::vector<N> order(const SearchResult<N>& r) {
  std::vector<N> out;
  for (const auto& s : r.trace) out.push_back(s.node);
  return out;
}

template <class N>
void expect_same_outcome(const SearchResult<N>& a, const SearchResult<N>& b) {
  EXPECT_EQ(a.path, b.path);
  if (!std::isnan(a.cost) || !std::isnan(b.cost)) {
    EXPECT_EQ(a.cost, b.cost);
  }
  EXPECT_EQ(a.nodes_expanded, b.nodes_expanded);
  EXPECT_EQ(a.nodes_generated, b.nodes_generated);
  EXPECT_EQ(a.nodes_reopened, b.nodes_reopened);
  EXPECT_EQ(a.max_frontier_size, b.max_frontier_size);
  EXPECT_EQ(a.stop_reason, b.stop_reason);
}

template <class N>
void expect_same_run(const SearchResult<N>& a, const SearchResult<N>& b) {
  expect_same_outcome(a, b);
  EXPECT_EQ(steps(a), steps(b));
  EXPECT_EQ(a.tree, b.tree);
}

template <class G, class H = Zero>
SearchResult<node_t<G>> run(const G& g, const node_t<G>& s, const node_t<G>& t,
                            std::string_view algo, RunOptions opts = {}, bool record = true,
                            const H& h = {}) {
  return run_algo(g, h, s, t, algo, record, opts);
}

const std::vector<std::string> kBestFirst = {"bfs",    "dfs",   "ucs",           "dijkstra",
                                             "greedy", "astar", "weighted_astar"};

// ---------------------------------------------------------------- frontiers

template <class F>
std::vector<NodeId> drain(F& f) {
  std::vector<NodeId> out;
  while (auto id = f.pop()) out.push_back(*id);
  return out;
}

TEST(Frontier, FifoAndLifoIgnorePrioritiesAndKeepDuplicates) {
  FifoFrontier fifo;
  LifoFrontier lifo;
  EXPECT_FALSE(fifo.pop());
  EXPECT_FALSE(lifo.pop());
  for (const auto& [id, p] :
       std::vector<std::pair<NodeId, double>>{{0, 9.0}, {1, -1.0}, {2, kNaN}, {1, 0.0}}) {
    fifo.push(id, p);
    lifo.push(id, p);
  }
  EXPECT_EQ(fifo.size(), 4u);
  EXPECT_EQ(lifo.size(), 4u);
  EXPECT_EQ(drain(fifo), (std::vector<NodeId>{0, 1, 2, 1}));
  EXPECT_EQ(drain(lifo), (std::vector<NodeId>{1, 2, 1, 0}));
  // Still usable after running dry.
  fifo.push(5, 0.0);
  EXPECT_EQ(fifo.pop(), std::optional<NodeId>(5));
  EXPECT_EQ(fifo.size(), 0u);
}

TEST(Frontier, PriorityTiesLeaveInInsertionOrder) {
  PriorityFrontier pq;
  const NodeId a = 0, b = 1, c = 2, d = 3;
  pq.push(a, 2.0);
  pq.push(b, 1.0);
  pq.push(c, 1.0);
  pq.push(d, 3.0);
  EXPECT_EQ(drain(pq), (std::vector<NodeId>{b, c, a, d}));

  // +0.0 and -0.0 are one priority.
  pq.push(a, 0.0);
  pq.push(b, -0.0);
  pq.push(c, 0.0);
  pq.push(d, -0.0);
  EXPECT_EQ(drain(pq), (std::vector<NodeId>{a, b, c, d}));
  EXPECT_FALSE(pq.pop());
}

TEST(Frontier, PriorityOrderMatchesAReferenceOnRandomInput) {
  // Each pop must take the smallest (priority, insertion number) held, with
  // pops interleaved between pushes and many ties.
  std::mt19937_64 rng(7);
  for (int round = 0; round < 50; ++round) {
    PriorityFrontier pq;
    std::vector<std::pair<double, NodeId>> held;  // (priority, insertion number = id)
    auto pop_both = [&] {
      const auto best = std::min_element(held.begin(), held.end());
      ASSERT_EQ(pq.pop(), std::optional<NodeId>(best->second));
      held.erase(best);
      ASSERT_EQ(pq.size(), held.size());
    };
    for (NodeId i = 0; i < 200; ++i) {
      const double p = double(rng() % 10) * 0.5 - 2.0;
      pq.push(i, p);
      held.emplace_back(p, i);
      if (rng() % 3 == 0) pop_both();
    }
    while (!held.empty()) pop_both();
    EXPECT_FALSE(pq.pop());
  }
}

TEST(Frontier, NaNPrioritiesFollowTheSiftProcedureAndNothingIsLost) {
  // Worked by hand through push/pop as specified: the NaN root compares
  // neither way, so it leaves first; then 0.5 before 1.0.
  PriorityFrontier pq;
  pq.push(0, kNaN);
  pq.push(1, 1.0);
  pq.push(2, 0.5);
  EXPECT_EQ(drain(pq), (std::vector<NodeId>{0, 2, 1}));

  std::mt19937_64 rng(11);
  std::multiset<NodeId> in;
  for (NodeId i = 0; i < 500; ++i) {
    pq.push(i, rng() % 3 == 0 ? kNaN : double(rng() % 17));
    in.insert(i);
  }
  EXPECT_EQ(pq.size(), 500u);
  const std::vector<NodeId> out = drain(pq);
  EXPECT_EQ(std::multiset<NodeId>(out.begin(), out.end()), in);
  EXPECT_EQ(pq.size(), 0u);
}

TEST(Frontier, RenumberingInsertionNumbersChangesNoPop) {
  // A frontier that renumbers every few pushes must pop exactly what one that
  // never does pops, NaN priorities and ties included.
  std::mt19937_64 rng(5);
  for (const std::uint32_t every : {1u, 2u, 3u, 7u, 64u}) {
    PriorityFrontier plain, renumbered(every);
    std::vector<NodeId> a, b;
    for (NodeId i = 0; i < 3000; ++i) {
      const double p = rng() % 5 == 0 ? kNaN : double(rng() % 9);
      plain.push(i, p);
      renumbered.push(i, p);
      if (rng() % 3 == 0) {
        a.push_back(*plain.pop());
        b.push_back(*renumbered.pop());
      }
    }
    const std::vector<NodeId> rest_a = drain(plain), rest_b = drain(renumbered);
    a.insert(a.end(), rest_a.begin(), rest_a.end());
    b.insert(b.end(), rest_b.begin(), rest_b.end());
    EXPECT_EQ(a, b) << "renumbering every " << every;
  }
}

// --------------------------------------------------------------- node store

TEST(NodeStore, CloseReachAndReopen) {
  NodeStore store(0);
  EXPECT_EQ(store.status(0), NodeStatus::Unreached);
  EXPECT_EQ(store.status(1u << 20), NodeStatus::Unreached);  // far beyond the initial room
  EXPECT_EQ(store.parent(1u << 20), kNoNode);

  store.reach(0, kNoNode, 0.0);
  EXPECT_EQ(store.status(0), NodeStatus::Open);
  EXPECT_EQ(store.parent(0), kNoNode);
  EXPECT_EQ(store.close(0), std::optional<double>(0.0));
  EXPECT_EQ(store.close(0), std::nullopt);
  EXPECT_EQ(store.status(0), NodeStatus::Closed);

  store.reach(3, 0, 4.0);
  store.reach(500, 3, 7.5);  // grows on demand
  EXPECT_EQ(store.g(500), 7.5);
  // Reaching a closed node reopens it with the new g and parent.
  store.reach(0, 500, -1.5);
  EXPECT_EQ(store.status(0), NodeStatus::Open);
  EXPECT_EQ(store.parent(0), 500u);
  EXPECT_EQ(store.close(0), std::optional<double>(-1.5));
  // Restore a root so the chain ends.
  store.reach(0, kNoNode, 0.0);
  EXPECT_EQ(store.path_to(500), (std::vector<NodeId>{0, 3, 500}));
  EXPECT_EQ(store.path_to(0), (std::vector<NodeId>{0}));
  EXPECT_EQ(store.path_to(77), (std::vector<NodeId>{77}));              // unreached, in range
  EXPECT_EQ(store.path_to(1u << 24), (std::vector<NodeId>{1u << 24}));  // unreached, out of range
}

TEST(NodeStore, InterningGivesFirstSeenIdsAcrossRehashes) {
  InternIndex<int> index;
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(index.intern(i * -31 + 7), NodeId(i));
  for (int i = 4999; i >= 0; --i) {
    ASSERT_EQ(index.intern(i * -31 + 7), NodeId(i));
    ASSERT_EQ(index.node(NodeId(i)), i * -31 + 7);
  }
}

// ------------------------------------------------------------------ driver

// s=0, a=1, b=2, g=3: s->a (1), s->b (5), a->b (1), b->g (1).
CsrGraph requeue_graph() {
  return directed(4, {{0, 1, 1.0}, {0, 2, 5.0}, {1, 2, 1.0}, {2, 3, 1.0}});
}

TEST(BestFirst, BfsRequeuesAnOpenNodeOnACheaperPath) {
  const auto r = run(requeue_graph(), 0, 3, "bfs");
  EXPECT_EQ(r.stop_reason, StopReason::Goal);
  EXPECT_EQ(r.path, (std::vector<Node>{0, 1, 2, 3}));
  EXPECT_EQ(r.cost, 3.0);
  EXPECT_EQ(r.nodes_expanded, 4u);
  EXPECT_EQ(r.nodes_generated, 5u);
  EXPECT_EQ(r.nodes_reopened, 0u);
  EXPECT_EQ(r.max_frontier_size, 2u);
  EXPECT_EQ(steps(r), (Steps<Node>{{0, 0.0, 0}, {1, 1.0, 1}, {2, 2.0, 1}, {3, 3.0, 0}}));
  EXPECT_EQ(r.tree, (std::vector<std::pair<Node, Node>>{{0, 1}, {1, 2}, {2, 3}}));
}

TEST(BestFirst, ArchetypeDomainRunsThroughTheInterningPath) {
  const Archetype g;
  const auto r = run(g, 100, 1000000, "bfs");
  EXPECT_EQ(r.path, (std::vector<int>{100, -7, 42, 1000000}));
  EXPECT_EQ(r.cost, 3.0);
  EXPECT_EQ(r.nodes_expanded, 4u);
  EXPECT_EQ(r.nodes_generated, 5u);
  EXPECT_EQ(r.max_frontier_size, 2u);
  EXPECT_EQ(steps(r), (Steps<int>{{100, 0.0, 0}, {-7, 1.0, 1}, {42, 2.0, 1}, {1000000, 3.0, 0}}));
  EXPECT_EQ(r.tree, (std::vector<std::pair<int, int>>{{100, -7}, {-7, 42}, {42, 1000000}}));
  // Every best-first row works over it, and an unknown goal just exhausts.
  for (const auto& algo : kBestFirst)
    EXPECT_EQ(run(g, 100, 1000000, algo).cost, algo == "dfs" ? 6.0 : 3.0) << algo;
  const auto none = run(g, 100, 5, "ucs");
  EXPECT_EQ(none.stop_reason, StopReason::Exhausted);
  EXPECT_EQ(none.nodes_expanded, 4u);
}

TEST(BestFirst, StartEqualsGoal) {
  const CsrGraph g = requeue_graph();
  for (const auto& algo : kBestFirst) {
    for (const std::optional<std::uint64_t> limit : {std::optional<std::uint64_t>{}, {0}}) {
      RunOptions opts;
      opts.max_nodes = limit;
      const auto r = run(g, 2, 2, algo, opts);
      EXPECT_EQ(r.stop_reason, StopReason::Goal) << algo;
      EXPECT_EQ(r.path, (std::vector<Node>{2}));
      EXPECT_EQ(r.cost, 0.0);
      EXPECT_EQ(r.nodes_expanded, 1u);
      EXPECT_EQ(r.nodes_generated, 1u);
      EXPECT_EQ(r.nodes_reopened, 0u);
      EXPECT_EQ(r.max_frontier_size, 1u);
      EXPECT_EQ(steps(r), (Steps<Node>{{2, 0.0, 0}}));
      EXPECT_TRUE(r.tree.empty());
    }
  }
}

TEST(BestFirst, MaxNodesStopsAfterTheLimitButTestsTheGoalFirst) {
  const CsrGraph chain = directed(4, {{0, 1, 1.0}, {1, 2, 1.0}, {2, 3, 1.0}});
  for (const auto& algo : kBestFirst) {
    RunOptions opts;
    opts.max_nodes = 0;
    const auto zero = run(chain, 0, 3, algo, opts);
    EXPECT_EQ(zero.stop_reason, StopReason::NodeLimit) << algo;
    EXPECT_FALSE(zero.path);
    EXPECT_EQ(zero.cost, kInf);
    EXPECT_EQ(zero.nodes_expanded, 1u);
    EXPECT_EQ(zero.nodes_generated, 1u);  // no successor of the start
    EXPECT_EQ(steps(zero), (Steps<Node>{{0, 0.0, 0}}));
    EXPECT_TRUE(zero.tree.empty());

    opts.max_nodes = 3;  // the third expansion is the goal 2
    const auto hit = run(chain, 0, 2, algo, opts);
    EXPECT_EQ(hit.stop_reason, StopReason::Goal) << algo;
    EXPECT_EQ(hit.nodes_expanded, 3u);

    opts.max_nodes = 2;
    const auto cut = run(chain, 0, 3, algo, opts);
    EXPECT_EQ(cut.stop_reason, StopReason::NodeLimit) << algo;
    EXPECT_EQ(cut.nodes_expanded, 2u);
    EXPECT_EQ(cut.nodes_generated, 2u);
    EXPECT_EQ(cut.tree, (std::vector<std::pair<Node, Node>>{{0, 1}}));
  }
}

TEST(BestFirst, UnreachableGoalExhaustsWithOneTreeEdgePerReachedNode) {
  // 0..4 reachable (with a cycle and a parallel arc), 5 and 6 not.
  const CsrGraph g = directed(7, {{0, 1, 2.0},
                                  {1, 2, 1.0},
                                  {2, 0, 1.0},
                                  {0, 3, 4.0},
                                  {3, 4, 1.0},
                                  {1, 4, 1.0},
                                  {1, 4, 0.5},
                                  {5, 6, 1.0},
                                  {6, 0, 1.0}});
  for (const auto& algo : kBestFirst) {
    const auto r = run(g, 0, 6, algo);
    EXPECT_EQ(r.stop_reason, StopReason::Exhausted) << algo;
    EXPECT_FALSE(r.path);
    EXPECT_EQ(r.cost, kInf);
    EXPECT_EQ(r.nodes_expanded, 5u) << algo;
    const std::vector<Node> expanded = order(r);
    EXPECT_EQ(std::set<Node>(expanded.begin(), expanded.end()), (std::set<Node>{0, 1, 2, 3, 4}));
    ASSERT_EQ(r.tree.size(), 4u) << algo;
    std::set<Node> children;
    for (const auto& [p, c] : r.tree) children.insert(c);
    EXPECT_EQ(children, (std::set<Node>{1, 2, 3, 4}));
  }
}

TEST(BestFirst, RecordOffChangesNothingButTraceAndTree) {
  const auto parsed = GridGraph::from_ascii(
      "S..#....\n"
      ".#.#.##.\n"
      ".#...#..\n"
      "...#...G\n");
  for (const bool diagonal : {false, true}) {
    GridGraph grid = parsed.grid;
    grid.diagonal = diagonal;
    for (const auto& algo : kBestFirst) {
      RunOptions opts;
      opts.max_nodes = algo == "dfs" ? std::optional<std::uint64_t>(6) : std::nullopt;
      const auto on = run(grid, parsed.start, parsed.goal, algo, opts, true, Manhattan{});
      const auto off = run(grid, parsed.start, parsed.goal, algo, opts, false, Manhattan{});
      expect_same_outcome(on, off);
      EXPECT_FALSE(on.trace.empty());
      EXPECT_EQ(on.trace.size(), on.nodes_expanded);
      EXPECT_TRUE(off.trace.empty());
      EXPECT_TRUE(off.tree.empty());
    }
  }
}

TEST(BestFirst, DfsExpandsTheLastListedSuccessorFirst) {
  // 0 -> 1, 2, 3; 3 -> 4, 5.
  const CsrGraph g = directed(6, {{0, 1, 1.0}, {0, 2, 1.0}, {0, 3, 1.0}, {3, 4, 1.0}, {3, 5, 1.0}});
  const auto r = run(g, 0, 1, "dfs");
  EXPECT_EQ(order(r), (std::vector<Node>{0, 3, 5, 4, 2, 1}));
  EXPECT_EQ(r.path, (std::vector<Node>{0, 1}));
  EXPECT_EQ(r.max_frontier_size, 4u);
}

TEST(BestFirst, EquallyCheapPathsKeepTheFirstParent) {
  // Two ways to 3 of cost 2: via 1 (listed first) and via 2.
  const CsrGraph g = directed(5, {{0, 1, 1.0}, {0, 2, 1.0}, {1, 3, 1.0}, {2, 3, 1.0}, {3, 4, 1.0}});
  for (const auto& algo : {"bfs", "ucs", "astar"}) {
    const auto r = run(g, 0, 4, algo);
    EXPECT_EQ(r.path, (std::vector<Node>{0, 1, 3, 4})) << algo;
    EXPECT_EQ(r.nodes_generated, 5u) << algo;  // the tie is not an improvement
  }
}

// Random sparse digraphs with small integer weights (ties everywhere).
CsrGraph random_graph(std::mt19937_64& rng, std::size_t n, std::size_t m, int lo, int hi) {
  std::vector<Edge> edges;
  std::uniform_int_distribution<std::size_t> node(0, n - 1);
  std::uniform_int_distribution<int> w(lo, hi);
  for (std::size_t i = 0; i < m; ++i) edges.push_back({node(rng), node(rng), double(w(rng))});
  return directed(n, edges);
}

TEST(BestFirst, ZeroHeuristicRowsCoincide) {
  // greedy with Zero pops first-in-first-out, exactly like bfs; astar with
  // Zero orders like ucs; every field must agree, re-queued entries included.
  std::mt19937_64 rng(2024);
  for (int round = 0; round < 60; ++round) {
    const CsrGraph g = random_graph(rng, 12, 30, 0, 4);
    const Node goal = rng() % 12;
    for (const bool reopen : {false, true}) {
      RunOptions opts;
      opts.reopen = reopen;
      expect_same_run(run(g, 0, goal, "greedy", opts), run(g, 0, goal, "bfs", opts));
      expect_same_run(run(g, 0, goal, "astar", opts), run(g, 0, goal, "ucs", opts));
      expect_same_run(run(g, 0, goal, "dijkstra", opts), run(g, 0, goal, "ucs", opts));
    }
  }
}

TEST(BestFirst, UniformCostFindsOptimaAndBfsFewestSteps) {
  std::mt19937_64 rng(99);
  for (int round = 0; round < 60; ++round) {
    const std::size_t n = 15;
    const CsrGraph g = random_graph(rng, n, 40, 0, 9);
    std::vector<Edge> unit = g.edges();
    for (Edge& e : unit) e.weight = 1.0;
    const CsrGraph u = directed(n, unit);
    // Reference distances by repeated relaxation (non-negative weights).
    std::vector<double> dist(n, kInf), hops(n, kInf);
    dist[0] = hops[0] = 0.0;
    for (std::size_t it = 0; it < n; ++it)
      for (const Edge& e : g.edges()) {
        dist[e.target] = std::min(dist[e.target], dist[e.source] + e.weight);
        hops[e.target] = std::min(hops[e.target], hops[e.source] + 1.0);
      }
    for (Node goal = 0; goal < n; ++goal) {
      const auto c = run(g, 0, goal, "ucs");
      EXPECT_EQ(c.cost, dist[goal]);
      EXPECT_EQ(c.found(), dist[goal] < kInf);
      // With equal step costs bfs never re-queues and finds fewest steps.
      const auto b = run(u, 0, goal, "bfs");
      EXPECT_EQ(b.cost, hops[goal]);
      EXPECT_EQ(b.nodes_generated, b.tree.size() + 1);  // one push per reached node
      if (b.path) {
        EXPECT_EQ(double(b.path->size() - 1), hops[goal]);
      }
    }
  }
}

TEST(BestFirst, HeuristicIsAskedOncePerPushWithTheGoal) {
  struct Counting {
    std::size_t* calls;
    Node goal;
    double estimate(Node, Node g) const {
      EXPECT_EQ(g, goal);
      ++*calls;
      return 0.0;
    }
  };
  const CsrGraph g = requeue_graph();
  for (const auto& algo : kBestFirst) {
    std::size_t calls = 0;
    const auto r = run(g, 0, 3, algo, {}, true, Counting{&calls, 3});
    EXPECT_EQ(calls, r.nodes_generated) << algo;
  }
}

// admissible but not consistent: 3 for node a, 0 elsewhere.
struct Inconsistent {
  double estimate(Node n, Node) const { return n == 1 ? 3.0 : 0.0; }
};

TEST(BestFirst, ReopenRepairsAnInconsistentHeuristic) {
  // s=0, a=1, b=2, g=3: s->a (1), s->b (3), a->b (1), b->g (5).
  const CsrGraph g = directed(4, {{0, 1, 1.0}, {0, 2, 3.0}, {1, 2, 1.0}, {2, 3, 5.0}});
  RunOptions opts;
  opts.reopen = true;
  const auto r = run(g, 0, 3, "astar", opts, true, Inconsistent{});
  EXPECT_EQ(steps(r), (Steps<Node>{{0, 0, 0}, {2, 3, 1}, {1, 1, 1}, {2, 2, 1}, {3, 7, 1}}));
  EXPECT_EQ(r.path, (std::vector<Node>{0, 1, 2, 3}));
  EXPECT_EQ(r.cost, 7.0);
  EXPECT_EQ(r.nodes_expanded, 5u);
  EXPECT_EQ(r.nodes_generated, 6u);
  EXPECT_EQ(r.nodes_reopened, 1u);
  EXPECT_EQ(r.max_frontier_size, 2u);
  EXPECT_EQ(r.tree, (std::vector<std::pair<Node, Node>>{{0, 1}, {1, 2}, {2, 3}}));

  opts.reopen = false;
  const auto closed = run(g, 0, 3, "a*", opts, true, Inconsistent{});
  EXPECT_EQ(closed.path, (std::vector<Node>{0, 2, 3}));
  EXPECT_EQ(closed.cost, 8.0);
  EXPECT_EQ(closed.nodes_expanded, 4u);
  EXPECT_EQ(closed.nodes_generated, 4u);
  EXPECT_EQ(closed.nodes_reopened, 0u);
}

TEST(BestFirst, NaNStepCostNeverImprovesAndNeverBlocks) {
  // s=0 -> b=1 (1), s -> a=2 (NaN), b -> a (1), a -> g=3 (1). a is first
  // recorded with NaN; the finite path through b does not count as cheaper.
  const CsrGraph g = directed(4, {{0, 1, 1.0}, {0, 2, kNaN}, {1, 2, 1.0}, {2, 3, 1.0}});
  const auto r = run(g, 0, 3, "bfs");
  EXPECT_EQ(r.stop_reason, StopReason::Goal);
  EXPECT_EQ(r.path, (std::vector<Node>{0, 2, 3}));
  EXPECT_TRUE(std::isnan(r.cost));
  EXPECT_EQ(r.nodes_generated, 4u);
}

void expect_simple_valid_path(const CsrGraph& g, const std::vector<Node>& path, Node s, Node t) {
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), s);
  EXPECT_EQ(path.back(), t);
  EXPECT_EQ(std::set<Node>(path.begin(), path.end()).size(), path.size()) << "path loops";
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    const auto ns = g.neighbors(path[i]);
    EXPECT_TRUE(std::any_of(ns.begin(), ns.end(), [&](auto& p) { return p.first == path[i + 1]; }));
  }
}

TEST(BestFirst, NegativeCycleWithReopenTerminatesWithoutLooping) {
  // s=0 -> a=1 (1), a -> b=2 (-3), b -> a (1), b -> g=3 (1): a, b loop at -2.
  const CsrGraph g = directed(4, {{0, 1, 1.0}, {1, 2, -3.0}, {2, 1, 1.0}, {2, 3, 1.0}});
  RunOptions opts;
  opts.reopen = true;
  for (const auto& algo : kBestFirst) {
    const auto r = run(g, 0, 3, algo, opts);
    ASSERT_EQ(r.stop_reason, StopReason::Goal) << algo;
    expect_simple_valid_path(g, *r.path, 0, 3);
    for (const std::uint64_t limit : {1u, 2u, 3u, 5u, 50u}) {
      opts.max_nodes = limit;
      const auto lim = run(g, 0, 3, algo, opts);
      EXPECT_LE(lim.nodes_expanded, limit);
      if (lim.path) expect_simple_valid_path(g, *lim.path, 0, 3);
    }
    opts.max_nodes.reset();
  }
  // A goal outside the cycle's reach: exhaustion, not an endless loop.
  const CsrGraph h = directed(5, {{0, 1, 1.0}, {1, 2, -3.0}, {2, 1, 1.0}, {2, 3, 1.0}});
  for (const auto& algo : kBestFirst)
    EXPECT_EQ(run(h, 0, 4, algo, opts).stop_reason, StopReason::Exhausted) << algo;
}

TEST(BestFirst, RandomNegativeWeightsWithReopenEndAndNeverLoop) {
  std::mt19937_64 rng(5);
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = 2 + rng() % 8;
    const CsrGraph g = random_graph(rng, n, n * 3, -4, 4);
    const Node goal = rng() % n;
    RunOptions opts;
    opts.reopen = true;
    opts.max_nodes = 1000000;  // backstop: reaching it means the search did not end by itself
    for (const auto& algo : kBestFirst) {
      const auto r = run(g, 0, goal, algo, opts);
      ASSERT_NE(r.stop_reason, StopReason::NodeLimit) << algo << " round " << round;
      if (r.path) expect_simple_valid_path(g, *r.path, 0, goal);
      std::set<Node> children;
      for (const auto& [p, c] : r.tree) EXPECT_TRUE(children.insert(c).second);
    }
  }
}

// --------------------------------------------------------------- catalogue

TEST(Catalogue, UnknownNamesListTheTwelveAlgorithms) {
  const CsrGraph g = requeue_graph();
  const std::string list =
      "bfs, dfs, ucs, dijkstra, greedy, astar, weighted_astar, iddfs, dls, ida_star, beam, "
      "bidirectional";
  for (const std::string name : {"A*", "BFS", " bfs", "bfs ", "", "Astar", "wa*"}) {
    try {
      run(g, 0, 3, name);
      ADD_FAILURE() << "accepted '" << name << "'";
    } catch (const UsageError& e) {
      EXPECT_EQ(e.message(), "unknown algorithm: '" + name + "'. Available: " + list);
    }
  }
  // Byte-for-byte comparison: a trailing NUL is not ignored.
  EXPECT_THROW(run(g, 0, 3, std::string_view("bfs\0", 4)), UsageError);
}

TEST(Catalogue, AliasesAndWeightsSelectTheSameRuns) {
  const auto parsed = GridGraph::from_ascii(
      "S....#....\n"
      ".###.#.##.\n"
      "...#...#..\n"
      ".#.#####.#\n"
      ".#.......G\n");
  GridGraph grid = parsed.grid;
  grid.diagonal = true;
  const Cell s = parsed.start, t = parsed.goal;
  auto with = [&](std::string_view algo, double weight) {
    RunOptions opts;
    opts.weight = weight;
    return run(grid, s, t, algo, opts, true, Octile{});
  };
  expect_same_run(with("a*", 2.0), with("astar", 2.0));
  expect_same_run(with("weighted_astar", 1.0), with("astar", 2.0));
  expect_same_run(with("wastar", 3.0), with("weighted_astar", 3.0));
  expect_same_run(with("weighted_astar", 0.0), with("ucs", 2.0));
  expect_same_run(with("dijkstra", 5.0), with("ucs", 2.0));
  // The weight reaches only weighted A*.
  expect_same_run(with("astar", 7.0), with("astar", 1.0));
  EXPECT_EQ(with("astar", 2.0).cost, with("ucs", 2.0).cost);
}

// ---------------------------------------------------------------------- CSR

TEST(Csr, DirectedAndUndirectedArcOrder) {
  const std::vector<Edge> edges = {{0, 1, 2.0}, {0, 2, 1.0}, {1, 0, 5.0}};
  const CsrGraph d = CsrGraph::from_edges(3, edges, false);
  EXPECT_EQ(d.neighbors(0), (Neighbors<Node>{{1, 2.0}, {2, 1.0}}));
  EXPECT_EQ(d.neighbors(1), (Neighbors<Node>{{0, 5.0}}));
  EXPECT_TRUE(d.neighbors(2).empty());
  EXPECT_EQ(d.offsets(), (std::vector<Node>{0, 2, 3, 3}));
  std::vector<std::tuple<Node, Node, double>> listed;
  for (const Edge& e : d.edges()) listed.emplace_back(e.source, e.target, e.weight);
  EXPECT_EQ(listed,
            (std::vector<std::tuple<Node, Node, double>>{{0, 1, 2.0}, {0, 2, 1.0}, {1, 0, 5.0}}));

  const CsrGraph u = CsrGraph::from_edges(3, edges, true);
  EXPECT_EQ(u.neighbors(0), (Neighbors<Node>{{1, 2.0}, {2, 1.0}, {1, 5.0}}));
  EXPECT_EQ(u.neighbors(1), (Neighbors<Node>{{0, 2.0}, {0, 5.0}}));
  EXPECT_EQ(u.neighbors(2), (Neighbors<Node>{{0, 1.0}}));
  listed.clear();
  for (const Edge& e : u.edges()) listed.emplace_back(e.source, e.target, e.weight);
  EXPECT_EQ(listed,
            (std::vector<std::tuple<Node, Node, double>>{
                {0, 1, 2.0}, {0, 2, 1.0}, {0, 1, 5.0}, {1, 0, 2.0}, {1, 0, 5.0}, {2, 0, 1.0}}));

  // neighbors_into appends without clearing.
  Neighbors<Node> out{{9, 9.0}};
  u.neighbors_into(2, out);
  EXPECT_EQ(out, (Neighbors<Node>{{9, 9.0}, {0, 1.0}}));
}

TEST(Csr, SelfLoopsParallelArcsAndOddWeights) {
  const std::vector<Edge> edges = {{2, 2, 1.5}, {0, 1, 3.0}, {0, 1, -2.0}, {0, 1, kNaN}};
  const CsrGraph u = CsrGraph::from_edges(3, edges, true);
  EXPECT_EQ(u.neighbors(2), (Neighbors<Node>{{2, 1.5}, {2, 1.5}}));  // counted twice
  const CsrGraph d = CsrGraph::from_edges(3, edges, false);
  EXPECT_EQ(d.neighbors(2), (Neighbors<Node>{{2, 1.5}}));
  const auto ns = d.neighbors(0);
  ASSERT_EQ(ns.size(), 3u);
  EXPECT_EQ(ns[0], (std::pair<Node, double>{1, 3.0}));
  EXPECT_EQ(ns[1], (std::pair<Node, double>{1, -2.0}));
  EXPECT_TRUE(std::isnan(ns[2].second));

  const CsrGraph empty = CsrGraph::from_edges(0, {}, true);
  EXPECT_EQ(empty.offsets(), (std::vector<Node>{0}));
  EXPECT_EQ(empty.num_nodes(), 0u);
  EXPECT_TRUE(empty.edges().empty());
}

TEST(Csr, OutOfRangeTexts) {
  auto build_error = [](std::size_t n, std::vector<Edge> edges) -> std::string {
    try {
      CsrGraph::from_edges(n, edges, true);
    } catch (const CoreError& e) {
      return e.message();
    }
    return "built";
  };
  EXPECT_EQ(build_error(5, {{0, 1, 1.0}, {3, 7, 1.0}, {9, 9, 1.0}}),
            "edge (3, 7) is out of range for a 5-node graph");
  EXPECT_EQ(build_error(3, {{0, 3, 1.0}}), "edge (0, 3) is out of range for a 3-node graph");
  EXPECT_EQ(build_error(0, {{0, 0, 1.0}}), "edge (0, 0) is out of range for a 0-node graph");

  const CsrGraph g = CsrGraph::from_edges(3, {{0, 1, 1.0}}, false);
  for (const Node u : {Node(3), Node(12345)}) {
    try {
      g.neighbors(u);
      ADD_FAILURE();
    } catch (const CoreError& e) {
      EXPECT_EQ(e.message(), "node " + std::to_string(u) + " is out of range for a 3-node graph");
    }
  }
}

// --------------------------------------------------------------------- grid

Neighbors<Cell> around(const GridGraph& g, Cell c) { return g.neighbors(c); }

std::string core_error(auto&& f) {
  try {
    f();
  } catch (const CoreError& e) {
    return e.message();
  }
  return "no error";
}

TEST(Grid, AsciiLinesColumnsAndMarkers) {
  const auto line = GridGraph::from_ascii("S.G");
  EXPECT_EQ(line.grid.width(), 3);
  EXPECT_EQ(line.grid.height(), 1);
  EXPECT_EQ(line.start, (Cell{0, 0}));
  EXPECT_EQ(line.goal, (Cell{0, 2}));
  EXPECT_EQ(around(line.grid, {0, 0}), (Neighbors<Cell>{{{0, 1}, 1.0}}));

  // Empty lines at either end go; an empty line inside is an open row.
  const auto padded = GridGraph::from_ascii("\n\nS.G\n\n");
  EXPECT_EQ(padded.grid.height(), 1);
  EXPECT_EQ(padded.goal, (Cell{0, 2}));
  const auto gap = GridGraph::from_ascii("S.G\n\n..G");
  EXPECT_EQ(gap.grid.height(), 3);
  EXPECT_EQ(gap.goal, (Cell{2, 2}));  // the last G wins
  EXPECT_TRUE(gap.grid.is_open({1, 0}) && gap.grid.is_open({1, 2}));
  // A line of spaces is not empty.
  EXPECT_EQ(GridGraph::from_ascii("  \nS.G\n   ").grid.height(), 3);

  // "\r\n" line ends read like "\n"; a lone final '\r' is a character.
  const auto crlf = GridGraph::from_ascii("S#\r\n.G\r\n");
  EXPECT_EQ(crlf.grid.width(), 2);
  EXPECT_EQ(crlf.grid.height(), 2);
  EXPECT_TRUE(crlf.grid.is_wall({0, 1}));
  EXPECT_EQ(GridGraph::from_ascii("S.G\r").grid.width(), 4);

  // Multi-byte characters are one open column each; short rows pad open.
  const auto wide = GridGraph::from_ascii("S\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80#\n.....G");
  EXPECT_EQ(wide.grid.width(), 6);
  EXPECT_EQ(wide.grid.height(), 2);
  for (int c = 1; c <= 3; ++c)
    EXPECT_TRUE(wide.grid.is_open({0, c}) && wide.grid.cost({0, c}) == 1.0);
  EXPECT_TRUE(wide.grid.is_wall({0, 4}));
  EXPECT_TRUE(wide.grid.is_open({0, 5}));
  const auto ragged = GridGraph::from_ascii("S\n.....G");
  EXPECT_EQ(ragged.grid.width(), 6);
  for (int c = 1; c < 6; ++c) EXPECT_TRUE(ragged.grid.is_open({0, c}));

  // Digits are terrain costs; everything else is open at cost 1.
  const auto terrain = GridGraph::from_ascii("S9\n.G\n0a");
  EXPECT_EQ(around(terrain.grid, {0, 0}), (Neighbors<Cell>{{{1, 0}, 1.0}, {{0, 1}, 9.0}}));
  EXPECT_EQ(terrain.grid.cost({2, 0}), 1.0);
  EXPECT_EQ(terrain.grid.cost({2, 1}), 1.0);

  const auto twice = GridGraph::from_ascii("S.S\nG.G");
  EXPECT_EQ(twice.start, (Cell{0, 2}));
  EXPECT_EQ(twice.goal, (Cell{1, 2}));
}

TEST(Grid, AsciiRefusals) {
  EXPECT_EQ(core_error([] { GridGraph::from_ascii(""); }), "grid must be non-empty");
  EXPECT_EQ(core_error([] { GridGraph::from_ascii("\n\r\n\n"); }), "grid must be non-empty");
  EXPECT_EQ(core_error([] { GridGraph::from_ascii("..."); }),
            "ASCII map must contain a start cell 'S'");
  EXPECT_EQ(core_error([] { GridGraph::from_ascii("G.."); }),
            "ASCII map must contain a start cell 'S'");
  EXPECT_EQ(core_error([] { GridGraph::from_ascii("S.."); }),
            "ASCII map must contain a goal cell 'G'");
  // 50001 rows (49999 of them empty, inside) of up to 50000 columns.
  const std::string huge = "S" + std::string(50000, '\n') + std::string(50000, 'G');
  EXPECT_EQ(core_error([&] { GridGraph::from_ascii(huge); }),
            "grid too large: 50000\xC3\x97"
            "50001 = 2500050000 cells (max 2147483647)");
}

TEST(Grid, BlankSizeLimits) {
  EXPECT_EQ(core_error([] { GridGraph::blank(0, 5); }), "grid must be non-empty");
  EXPECT_EQ(core_error([] { GridGraph::blank(5, -1); }), "grid must be non-empty");
  EXPECT_EQ(core_error([] { GridGraph::blank(50000, 50000); }),
            "grid too large: 50000\xC3\x97"
            "50000 = 2500000000 cells (max 2147483647)");
  EXPECT_EQ(core_error([] { GridGraph::blank(2147483647, 2147483647); }),
            "grid too large: 2147483647\xC3\x97"
            "2147483647 = 4611686014132420609 cells (max "
            "2147483647)");
  const GridGraph g = GridGraph::blank(3, 2);
  EXPECT_FALSE(g.diagonal);
  EXPECT_EQ(g.width(), 3);
  EXPECT_EQ(g.height(), 2);
  EXPECT_TRUE(g.is_open({1, 2}));
  EXPECT_FALSE(g.is_open({2, 0}));
  EXPECT_FALSE(g.is_open({0, -1}));
}

TEST(Grid, DenseIdsAreABijectionOnEveryShape) {
  // Ids run through 4x8 tiles (row order below a tile's size); sizes that are
  // not whole tiles must still give every cell its own id below node_count,
  // and node_at must invert index_of.
  for (const auto& [w, h] :
       {std::pair{1, 1}, {7, 3}, {8, 4}, {9, 5}, {17, 13}, {3, 40}, {40, 3}, {8, 3}, {7, 4}}) {
    const GridGraph g = GridGraph::blank(w, h);
    std::set<std::size_t> ids;
    for (std::int32_t r = 0; r < h; ++r)
      for (std::int32_t c = 0; c < w; ++c) {
        const std::size_t id = g.index_of(Cell{r, c});
        EXPECT_LT(id, g.node_count());
        EXPECT_EQ(g.node_at(id), (Cell{r, c}));
        ids.insert(id);
      }
    EXPECT_EQ(ids.size(), std::size_t(w) * std::size_t(h)) << w << "x" << h;
    if (w < 8 || h < 4) {
      EXPECT_EQ(g.node_count(), std::size_t(w) * std::size_t(h));
    }
  }
}

TEST(Grid, CostMatrix) {
  const GridGraph g = GridGraph::from_costs({{1.0, 2.0}, {0.0}});
  EXPECT_EQ(g.width(), 2);
  EXPECT_EQ(g.height(), 2);
  EXPECT_TRUE(g.is_wall({1, 0}));
  EXPECT_TRUE(g.is_wall({1, 1}));  // short rows pad with walls
  EXPECT_EQ(g.cost({0, 1}), 2.0);

  const GridGraph odd =
      GridGraph::from_costs({{kNaN, -1.0, kInf, -kInf, 0.5, -0.0, 1e-300, 1e300}});
  for (int c = 0; c < 4; ++c) EXPECT_TRUE(odd.is_wall({0, c})) << c;
  EXPECT_TRUE(odd.is_open({0, 4}));
  EXPECT_EQ(odd.cost({0, 4}), 0.5);
  EXPECT_TRUE(odd.is_wall({0, 5}));
  EXPECT_EQ(odd.cost({0, 6}), 1e-300);
  EXPECT_EQ(odd.cost({0, 7}), 1e300);

  EXPECT_EQ(core_error([] { GridGraph::from_costs({}); }), "cost grid must be non-empty");
  EXPECT_EQ(core_error([] { GridGraph::from_costs({{}, {}}); }), "cost grid must be non-empty");
}

TEST(Grid, NeighbourOrderAndCornerCutting) {
  GridGraph g = GridGraph::from_costs({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  const Neighbors<Cell> four = {{{0, 1}, 2.0}, {{2, 1}, 8.0}, {{1, 0}, 4.0}, {{1, 2}, 6.0}};
  EXPECT_EQ(around(g, {1, 1}), four);
  g.diagonal = true;
  Neighbors<Cell> eight = four;
  for (const auto& [c, w] :
       Neighbors<Cell>{{{0, 0}, 1.0}, {{0, 2}, 3.0}, {{2, 0}, 7.0}, {{2, 2}, 9.0}})
    eight.push_back({c, w * 1.4142135623730951});
  EXPECT_EQ(around(g, {1, 1}), eight);
  // At a corner, the grid edge refuses the diagonals that would leave it.
  EXPECT_EQ(around(g, {0, 0}),
            (Neighbors<Cell>{{{1, 0}, 4.0}, {{0, 1}, 2.0}, {{1, 1}, 5.0 * kSqrt2}}));

  // A wall beside the move refuses the diagonal even with the target open.
  const auto blocked = GridGraph::from_ascii("S#\n.G");
  GridGraph b = blocked.grid;
  b.diagonal = true;
  EXPECT_EQ(around(b, {0, 0}), (Neighbors<Cell>{{{1, 0}, 1.0}}));
  const auto open = GridGraph::from_ascii("S.\n.G");
  GridGraph o = open.grid;
  o.diagonal = true;
  EXPECT_EQ(around(o, {0, 0}),
            (Neighbors<Cell>{{{1, 0}, 1.0}, {{0, 1}, 1.0}, {{1, 1}, 1.4142135623730951}}));
  // A walled target is never listed.
  GridGraph w = GridGraph::from_costs({{1, 1}, {1, 0}});
  w.diagonal = true;
  EXPECT_EQ(around(w, {0, 0}), (Neighbors<Cell>{{{1, 0}, 1.0}, {{0, 1}, 1.0}}));
}

TEST(Grid, HeuristicsCountStepsOnly) {
  for (const auto& [c, goal] :
       std::vector<std::pair<Cell, Cell>>{{{0, 0}, {3, 4}}, {{5, 9}, {2, 5}}, {{3, 0}, {0, 4}}}) {
    EXPECT_EQ(Manhattan{}.estimate(c, goal), 7.0);
    EXPECT_EQ(Euclidean{}.estimate(c, goal), 5.0);
    EXPECT_EQ(Octile{}.estimate(c, goal), 1.0 + 3.0 * 1.4142135623730951);
    EXPECT_EQ(Zero{}.estimate(c, goal), 0.0);
  }
  EXPECT_EQ(Octile{}.estimate({0, 0}, {0, 0}), 0.0);
}

TEST(Grid, SearchesFindOptimalCostsOnTerrain) {
  // Optimal costs on random terrain: A* with each admissible heuristic
  // (terrain >= 1) matches uniform-cost search, in 4 and 8 directions.
  std::mt19937_64 rng(3);
  for (int round = 0; round < 30; ++round) {
    std::vector<std::vector<double>> rows(9, std::vector<double>(11));
    for (auto& row : rows)
      for (auto& v : row) v = rng() % 5 == 0 ? 0.0 : double(1 + rng() % 9);
    rows[0][0] = rows[8][10] = 1.0;
    GridGraph g = GridGraph::from_costs(rows);
    for (const bool diagonal : {false, true}) {
      g.diagonal = diagonal;
      const Cell s{0, 0}, t{8, 10};
      const auto ucs = run(g, s, t, "ucs");
      const auto check = [&](const auto& h) {
        const auto a = run(g, s, t, "astar", {}, true, h);
        EXPECT_EQ(a.found(), ucs.found());
        if (ucs.found()) {
          EXPECT_NEAR(a.cost, ucs.cost, 1e-9);
          EXPECT_LE(a.nodes_expanded, ucs.nodes_expanded);
        }
      };
      check(Octile{});
      check(Euclidean{});
      if (!diagonal) check(Manhattan{});
    }
  }
}

}  // namespace
}  // namespace wayloom
