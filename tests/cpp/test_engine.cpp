// What only C++ can reach: frontier orders and their tie-breaks, node
// interning and removal, the smallest domain the engine accepts, the grid
// sweep against the driver and the Bellman-Ford pass count.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "wayloom/catalogue.hpp"
#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/domains/grid.hpp"
#include "wayloom/frontier/frontiers.hpp"
#include "wayloom/paths/shortest_paths.hpp"
#include "wayloom/search/best_first.hpp"
#include "wayloom/store/node_store.hpp"

namespace wayloom {

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
static_assert(DenseGraph<CsrGraph>);

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

template <class G>
SearchResult<node_t<G>> run(const G& g, const node_t<G>& s, const node_t<G>& t,
                            std::string_view algo) {
  return run_algo(g, Zero{}, s, t, algo, RunOptions{});
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

TEST(NodeStore, InterningGivesFirstSeenIdsAcrossRehashes) {
  InternIndex<int> index;
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(index.intern(i * -31 + 7), NodeId(i));
  for (int i = 4999; i >= 0; --i) {
    ASSERT_EQ(index.intern(i * -31 + 7), NodeId(i));
    ASSERT_EQ(index.node(NodeId(i)), i * -31 + 7);
  }
}

// ------------------------------------------------------------------ driver

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

// --------------------------------------------------------------- node table

// A bad hash: homes at both ends of the table, so probe runs overlap and wrap.
struct Collide {
  std::uint64_t operator()(std::size_t v) const noexcept {
    return v % 5 < 2 ? ~std::uint64_t(v % 5) : v % 5 - 2;
  }
};

TEST(NodeTable, PopBackKeepsEveryOtherEntryFindable) {
  detail::NodeTable<std::size_t, Collide> t;
  for (std::size_t v = 0; v < 40; ++v)
    EXPECT_EQ(t.insert(v * 3), std::make_pair(std::uint32_t(v), true));
  EXPECT_FALSE(t.insert(9).second);
  while (!t.empty()) {
    t.pop_back();
    for (std::size_t v = 0; v < 40; ++v) ASSERT_EQ(t.find(v * 3), v < t.size() ? v : kNoNode);
  }
  detail::NodeTable<std::string> words;
  words.insert("a");
  words.insert(std::string(100, 'x'));
  words.pop_back();
  EXPECT_FALSE(words.contains(std::string(100, 'x')));
  EXPECT_EQ(words.find("a"), 0u);
}

// ----------------------------------------------------------- shortest paths

TEST(BellmanFord, StopsAfterThePassThatChangesNothingAndRunsAtMostNMinusOne) {
  // Arcs listed along the path settle in pass 1 and pass 2 confirms; listed
  // against it, each pass settles one more node.
  std::vector<Edge> forward, backward;
  for (std::size_t i = 0; i + 1 < 6; ++i) {
    forward.push_back({i, i + 1, 1.0});
    backward.push_back({i + 1, i, 1.0});
  }
  std::size_t passes = 0;
  EXPECT_EQ(
      detail::bellman_ford_counted(CsrGraph::from_edges(6, forward, false), 0, passes).dist[5],
      5.0);
  EXPECT_EQ(passes, 2u);
  const ShortestPaths sp =
      detail::bellman_ford_counted(CsrGraph::from_edges(6, backward, false), 5, passes);
  EXPECT_EQ(passes, 5u);
  EXPECT_EQ(sp.dist, (std::vector<double>{5, 4, 3, 2, 1, 0}));
}

// The grid sweeps stand in for the driver on 4-connected grids of one cost,
// recorded or not: every field equal, trace and tree included, and under
// budgets cut anywhere the same bytes held or the same refusal. They must
// decline a grid of two costs, a diagonal one, and A* where f would not be
// whole.
TEST(GridSweep, MatchesTheDriverFieldForFieldAndChargeForCharge) {
  std::mt19937 rng(24);
  auto pick = [&](int n) { return int(rng() % unsigned(n)); };
  using Outcome = std::variant<SearchResult<Cell>, std::string>;
  auto outcome = [](auto&& run) -> Outcome {
    try {
      return run();
    } catch (const MemoryLimitError& e) {
      return std::string(e.what());
    }
  };
  int swept = 0;
  for (int trial = 0; trial < 900; ++trial) {
    // 80 is large enough for A* to improve open cells; the first few maps are
    // large enough for the framed map to be mapped rather than allocated.
    const int side = pick(4) ? 20 : 80;
    const int w = trial < 3 ? 600 : 1 + pick(side), h = trial < 3 ? 600 : 1 + pick(side);
    const double unit = std::array{1.0, 7.0, 0.1}[std::size_t(pick(3))];
    const int walls = pick(60);
    std::vector<std::vector<double>> rows(std::size_t(h), std::vector<double>(std::size_t(w), 0.0));
    for (auto& row : rows)
      for (double& c : row) c = pick(100) < walls ? 0.0 : unit;
    const Cell s{pick(h), pick(w)}, t = pick(5) ? Cell{pick(h), pick(w)} : s;
    rows[std::size_t(s.row)][std::size_t(s.col)] = unit;
    const Cell odd{pick(h), pick(w)};  // a second cost, beside the start's
    const bool mixed = pick(8) == 0 && (odd.row != s.row || odd.col != s.col);
    if (mixed) rows[std::size_t(odd.row)][std::size_t(odd.col)] = 2.0;
    GridGraph g = GridGraph::from_costs(rows);
    const char* algo = std::array{"bfs", "dijkstra", "astar"}[std::size_t(pick(3))];
    const BestFirstSpec spec = find_algorithm(algo)->spec;
    RunOptions o;
    o.record = pick(2) == 0;
    o.reopen = pick(2) == 0;
    if (pick(3) == 0) o.max_nodes = std::uint64_t(pick(30));
    // Plenty, or a cut anywhere, or one within the first few expansions, where
    // the order of charges between one cell's pushes decides which refusal.
    const std::size_t limit = std::size_t(pick(4) ? 1 << 26 : pick(2) ? pick(120000) : pick(8000));
    const bool takes = !mixed && (spec.h_weight == 0.0 || unit != 0.1);
    auto compare = [&](const auto& heuristic) {
      MemoryBudget fast_budget(limit, "test"), driver_budget(limit, "test");
      o.budget = &fast_budget;
      const Outcome fast = outcome([&] { return run_algo(g, heuristic, s, t, algo, o); });
      o.budget = &driver_budget;
      const Outcome driver =
          outcome([&] { return search_with_options(g, s, t, spec, heuristic, o); });
      ASSERT_EQ(fast.index(), driver.index());
      EXPECT_EQ(fast_budget.held(), driver_budget.held());
      if (fast.index() == 1) {
        EXPECT_EQ(std::get<1>(fast), std::get<1>(driver));
      } else {
        const auto& a = std::get<0>(fast);
        const auto& b = std::get<0>(driver);
        EXPECT_EQ(a.path, b.path);
        EXPECT_EQ(a.cost, b.cost);
        const auto fields = [](const SearchResult<Cell>& r) {
          return std::tuple(r.nodes_expanded, r.nodes_generated, r.nodes_reopened,
                            r.max_frontier_size, r.stop_reason);
        };
        EXPECT_EQ(fields(a), fields(b));
        const auto steps = [](const SearchResult<Cell>& r) {
          std::vector<std::tuple<Cell, std::optional<double>, std::uint64_t>> out;
          for (const auto& step : r.trace) out.emplace_back(step.node, step.g, step.frontier_size);
          return out;
        };
        EXPECT_EQ(steps(a), steps(b));
        EXPECT_EQ(a.tree, b.tree);
        EXPECT_EQ(a.trace.size(), o.record ? a.nodes_expanded : 0);
      }
      o.budget = nullptr;
      EXPECT_EQ((grid_sweep(g, heuristic, s, t, spec, o).has_value()), takes);
      swept += takes;
      g.diagonal = true;
      EXPECT_FALSE((grid_sweep(g, heuristic, s, t, spec, o)));
      g.diagonal = false;
    };
    switch (pick(3)) {
      case 0:
        compare(Manhattan{});
        break;
      case 1:
        compare(Zero{});
        break;
      default:
        compare(GridDefault{g.cheapest_cost(), false});
    }
  }
  EXPECT_GT(swept, 500);
}

}  // namespace
}  // namespace wayloom
