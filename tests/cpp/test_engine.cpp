// What only C++ can reach: frontier orders and their tie-breaks, node
// interning and removal, the smallest domain the engine accepts, the
// Bellman-Ford pass count and the vectorised Floyd-Warshall sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "wayloom/domains/csr_graph.hpp"
#include "wayloom/frontier/frontiers.hpp"
#include "wayloom/paths/shortest_paths.hpp"
#include "wayloom/random/chacha.hpp"
#include "wayloom/search/best_first.hpp"
#include "wayloom/search/catalogue.hpp"
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
  return run_algo(g, Zero{}, s, t, algo, true, RunOptions{});
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
    for (std::size_t v = 0; v < 40; ++v)
      ASSERT_EQ(t.find(v * 3), v < t.size() ? v : detail::NodeTable<std::size_t>::kNone);
  }
  detail::NodeTable<std::string> words;
  words.insert("a");
  words.insert(std::string(100, 'x'));
  words.pop_back();
  EXPECT_FALSE(words.contains(std::string(100, 'x')));
  EXPECT_EQ(words.find("a"), 0u);
}

// ----------------------------------------------------------- shortest paths

TEST(BellmanFord, StopsAfterFirstPassWithoutChange) {
  // Arcs listed along the path: everything settles in pass 1, pass 2 confirms.
  std::vector<Edge> forward;
  for (std::size_t i = 0; i + 1 < 6; ++i) forward.push_back({i, i + 1, 1.0});
  std::size_t passes = 0;
  const ShortestPaths sp = detail::bellman_ford_counted(CsrGraph::from_edges(6, forward, false), 0, passes);
  EXPECT_EQ(passes, 2u);
  EXPECT_EQ(sp.dist[5], 5.0);
}

TEST(BellmanFord, RunsAtMostNMinusOnePassesAndThatIsEnough) {
  // Arcs listed against the path from 5 down to 0: one more node per pass.
  std::vector<Edge> backward;
  for (std::size_t i = 0; i + 1 < 6; ++i) backward.push_back({i + 1, i, 1.0});
  std::size_t passes = 0;
  const ShortestPaths sp = detail::bellman_ford_counted(CsrGraph::from_edges(6, backward, false), 5, passes);
  EXPECT_EQ(passes, 5u);
  EXPECT_EQ(sp.dist, (std::vector<double>{5, 4, 3, 2, 1, 0}));
  EXPECT_FALSE(sp.negative_cycle);
  EXPECT_EQ(sp.path_to(0), (std::optional<std::vector<std::size_t>>{{5, 4, 3, 2, 1, 0}}));
}

// The textbook in-place sweep, element by element, as the reference for the
// vectorised one (which must agree bit for bit, negative cycles included).
void reference_floyd_warshall(std::size_t n, const std::vector<Edge>& edges, std::vector<double>& d,
                              std::vector<std::uint32_t>& h) {
  d.assign(n * n, kInf);
  h.assign(n * n, AllPairs::kNoHop);
  for (std::size_t i = 0; i < n; ++i) d[i * n + i] = 0.0;
  for (const Edge& e : CsrGraph::from_edges(n, edges, false).edges()) {
    if (e.weight < d[e.source * n + e.target]) {
      d[e.source * n + e.target] = e.weight;
      h[e.source * n + e.target] = std::uint32_t(e.target);
    }
  }
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t i = 0; i < n; ++i) {
      if (!std::isfinite(d[i * n + k])) continue;
      for (std::size_t j = 0; j < n; ++j)
        if (d[i * n + k] + d[k * n + j] < d[i * n + j]) {
          d[i * n + j] = d[i * n + k] + d[k * n + j];
          h[i * n + j] = h[i * n + k];
        }
    }
}

std::vector<Edge> random_weighted_edges(std::size_t n, double p, double lo, double hi,
                                        std::uint64_t seed) {
  ChaCha8Rng rng(seed ^ 0x9e3779b97f4a7c15ULL);
  std::vector<Edge> edges;
  for (std::size_t u = 0; u < n; ++u)
    for (std::size_t v = 0; v < n; ++v)
      if (rng.unit_float() < p) {
        // Integral weights keep every sum exact, so orders of addition agree.
        const double w = lo + double(rng.index_below(std::uint64_t(hi - lo) + 1));
        edges.push_back({u, v, w});
      }
  return edges;
}

TEST(FloydWarshall, MatchesElementwiseSweepBitForBit) {
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    const std::size_t n = 1 + seed % 23;
    // Mostly positive weights with some negative ones: many graphs get negative cycles.
    const std::vector<Edge> edges = random_weighted_edges(n, 0.25, -3.0, 9.0, seed);
    std::vector<double> d;
    std::vector<std::uint32_t> h;
    reference_floyd_warshall(n, edges, d, h);
    const AllPairs ap = floyd_warshall(CsrGraph::from_edges(n, edges, false));
    ASSERT_EQ(ap.dist.size(), d.size());
    for (std::size_t x = 0; x < d.size(); ++x)
      ASSERT_EQ(std::bit_cast<std::uint64_t>(ap.dist[x]), std::bit_cast<std::uint64_t>(d[x]))
          << "seed " << seed << " cell " << x;
    ASSERT_EQ(ap.next_hop, h) << "seed " << seed;
    bool negative = false;
    for (std::size_t i = 0; i < n; ++i) negative = negative || d[i * n + i] < 0.0;
    EXPECT_EQ(ap.negative_cycle, negative);
  }
}

}  // namespace
}  // namespace wayloom
