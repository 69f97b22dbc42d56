// Hand-written yardsticks for the engine's hot loops, with none of its
// generality: flat per-node arrays, one binary heap ordered by (priority,
// insertion number) with stale entries skipped on pop, boards moved in place.
// Same tie-break, successor order and goal-at-expansion rule as the engine,
// so the node counts must match.
//
//   yardstick grid  MAPFILE ALGO REPS          ALGO: astar (Manhattan) | dijkstra | bfs;
//                                              4-connected, unit costs
//   yardstick graph CSRFILE START GOAL REPS    single-pair Dijkstra
//   yardstick ida   BOARDS REPS                15-puzzle IDA*, Manhattan, every board of
//                                              the file (16 tiles a line), summed
//   yardstick p8    BOARD REPS                 8-puzzle A*, Manhattan (BOARD: 9 digits)
//   yardstick fw    EDGEFILE REPS              Floyd-Warshall with next hops
//
// Prints one line per repetition: "<seconds> <expanded> <cost> <path nodes>".
// The timed region covers what the engine's `elapsed` covers: allocating the
// working arrays, the search, rebuilding the path and freeing everything (fw:
// the matrices from the arc list on; "expanded" is then the number of finite
// distances and "cost" their sum).
//
// Build: g++ -O3 -march=native -std=c++20 -o yardstick yardstick.cpp
// (bench/run.py does it): the best a single hand-written file gets here.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

struct Entry {
  double f;
  std::uint64_t seq;
  std::uint32_t id;
};

inline bool before(const Entry& a, const Entry& b) {
  if (a.f < b.f) return true;
  if (b.f < a.f) return false;
  return a.seq < b.seq;
}

// Plain binary min-heap; the engine's own sift order only matters for NaN.
class Heap {
 public:
  void push(double f, std::uint32_t id) {
    h_.push_back({f, seq_++, id});
    std::size_t i = h_.size() - 1;
    const Entry e = h_[i];
    while (i > 0) {
      const std::size_t p = (i - 1) / 2;
      if (!before(e, h_[p])) break;
      h_[i] = h_[p];
      i = p;
    }
    h_[i] = e;
  }
  bool empty() const { return h_.empty(); }
  std::uint32_t pop() {
    const std::uint32_t top = h_[0].id;
    const Entry last = h_.back();
    h_.pop_back();
    const std::size_t n = h_.size();
    if (n == 0) return top;
    std::size_t i = 0;
    while (true) {
      std::size_t c = 2 * i + 1;
      if (c >= n) break;
      if (c + 1 < n && before(h_[c + 1], h_[c])) ++c;
      if (!before(h_[c], last)) break;
      h_[i] = h_[c];
      i = c;
    }
    h_[i] = last;
    return top;
  }

 private:
  std::vector<Entry> h_;
  std::uint64_t seq_ = 0;
};

struct Outcome {
  double seconds;
  std::uint64_t expanded;
  double cost;
  std::size_t path_len;
};

// ---- grid -------------------------------------------------------------------

struct Maze {
  int width = 0, height = 0;
  std::vector<std::uint8_t> wall;
  std::uint32_t start = 0, goal = 0;  // row * width + col
};

// The ASCII map as the engine reads it, restricted to what the bench writes:
// '\n' line ends, '#' walls, 'S'/'G' markers, everything else open at cost 1.
Maze read_maze(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(2);
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  Maze m;
  m.height = int(lines.size());
  for (const auto& l : lines) m.width = std::max(m.width, int(l.size()));
  m.wall.assign(std::size_t(m.width) * std::size_t(m.height), 0);
  for (int r = 0; r < m.height; ++r)
    for (int c = 0; c < int(lines[r].size()); ++c) {
      const char ch = lines[r][c];
      const std::uint32_t i = std::uint32_t(r) * m.width + c;
      if (ch == '#') m.wall[i] = 1;
      if (ch == 'S') m.start = i;
      if (ch == 'G') m.goal = i;
    }
  return m;
}

// One state byte a cell of a map framed by a wall border: the border replaces
// bounds checks, and since closed and wall compare above the rest, one load
// and one comparison reject both. The low bits hold the move that reached the
// cell (1-4: up, down, left, right; 5 the start), so no parent array.
enum : std::uint8_t { kUnseen = 0, kStartCell = 5, kClosedBit = 0x40, kWallCell = 0xC0 };

// Binary min-heap of (f, insertion number) packed into one 64-bit key, so a
// comparison is one integer compare; the node of insertion k is node_of[k].
class PackedHeap {
 public:
  explicit PackedHeap(std::size_t) {}
  void push(std::uint32_t f, std::uint32_t id) {
    std::uint64_t key = (std::uint64_t(f) << 32) | std::uint32_t(node_of_.size());
    node_of_.push_back(id);
    std::size_t i = keys_.size();
    keys_.push_back(key);
    while (i > 0) {
      const std::size_t p = (i - 1) / 2;
      if (keys_[p] <= key) break;
      keys_[i] = keys_[p];
      i = p;
    }
    keys_[i] = key;
  }
  bool empty() const { return keys_.empty(); }
  // The node of least key; its f is left in `f`. The hole goes down along
  // the lesser children, then the last key goes in and up: one comparison a
  // level on the way down.
  std::uint32_t pop(std::uint32_t& f) {
    const std::uint64_t top = keys_[0];
    const std::uint64_t last = keys_.back();
    keys_.pop_back();
    const std::size_t n = keys_.size();
    if (n > 0) {
      std::size_t i = 0, c = 1;
      for (; c + 1 < n; c = 2 * i + 1) {
        c += keys_[c + 1] < keys_[c];
        keys_[i] = keys_[c];
        i = c;
      }
      if (c < n) {
        keys_[i] = keys_[c];
        i = c;
      }
      while (i > 0) {
        const std::size_t p = (i - 1) / 2;
        if (keys_[p] < last) break;
        keys_[i] = keys_[p];
        i = p;
      }
      keys_[i] = last;
    }
    f = std::uint32_t(top >> 32);
    return node_of_[std::uint32_t(top)];
  }

 private:
  std::vector<std::uint64_t> keys_;
  std::vector<std::uint32_t> node_of_;
};

// First in, first out, with each node's g beside it. Every cell enters at
// most once, so it never wraps.
class Fifo {
 public:
  explicit Fifo(std::size_t cells) : q_(static_cast<std::uint64_t*>(std::malloc(cells * 8))) {}
  Fifo(const Fifo&) = delete;
  ~Fifo() { std::free(q_); }
  void push(std::uint32_t g, std::uint32_t id) { q_[tail_++] = (std::uint64_t(g) << 32) | id; }
  bool empty() const { return head_ == tail_; }
  std::uint32_t pop(std::uint32_t& g) {
    const std::uint64_t e = q_[head_++];
    g = std::uint32_t(e >> 32);
    return std::uint32_t(e);
  }

 private:
  std::uint64_t* q_;
  std::size_t head_ = 0, tail_ = 0;
};

// Unit-cost 4-connected best-first search in the engine's order: successors
// up, down, left, right, goal tested at expansion, ties on f broken by
// insertion number; f = g + Manhattan (astar) or g (dijkstra, bfs). Integer
// g, read back from the frontier entry (f - h); only A* keeps a g array, to
// tell whether an open cell improves. The map is copied into the framed
// state array inside the timed region, as the engine must do per search.
template <class Frontier, bool Astar>
Outcome sweep_grid(const Maze& m) {
  const auto t0 = Clock::now();
  const std::uint32_t W = std::uint32_t(m.width) + 2, H = std::uint32_t(m.height) + 2;
  const std::size_t n = std::size_t(W) * H;
  auto* state = static_cast<std::uint8_t*>(std::malloc(n));
  auto* g = Astar ? static_cast<std::uint32_t*>(std::malloc(n * 4)) : nullptr;
  std::memset(state, kWallCell, W);
  std::memset(state + n - W, kWallCell, W);
  for (std::uint32_t r = 0; r < std::uint32_t(m.height); ++r) {
    std::uint8_t* row = state + std::size_t(r + 1) * W;
    const std::uint8_t* src = m.wall.data() + std::size_t(r) * m.width;
    row[0] = row[W - 1] = kWallCell;
    for (std::uint32_t c = 0; c < std::uint32_t(m.width); ++c)
      row[c + 1] = src[c] ? kWallCell : kUnseen;
  }
  auto framed = [&](std::uint32_t i) { return (i / m.width + 1) * W + i % m.width + 1; };
  const std::uint32_t start = framed(m.start), goal = framed(m.goal);
  const std::uint32_t gr = goal / W, gc = goal % W;
  auto h = [&](std::uint32_t v) -> std::uint32_t {
    if constexpr (!Astar) return 0;
    const std::uint32_t r = v / W, c = v % W;
    return (r > gr ? r - gr : gr - r) + (c > gc ? c - gc : gc - c);
  };

  Frontier open(n);
  std::uint64_t expanded = 0;
  std::uint32_t goal_g = 0;
  bool found = false;
  if (Astar) g[start] = 0;
  state[start] = kStartCell;
  open.push(h(start), start);
  const std::uint32_t step[4] = {std::uint32_t(-W), W, std::uint32_t(-1), 1};
  while (!open.empty()) {
    std::uint32_t f;
    const std::uint32_t u = open.pop(f);
    if (state[u] & kClosedBit) continue;  // stale: improved after it was pushed
    state[u] |= kClosedBit;
    ++expanded;
    const std::uint32_t gu = f - h(u);
    if (u == goal) {
      found = true;
      goal_g = gu;
      break;
    }
    const std::uint32_t g2 = gu + 1;
    for (std::uint32_t k = 0; k < 4; ++k) {
      const std::uint32_t v = u + step[k];
      const std::uint8_t s = state[v];
      if (s >= kClosedBit) continue;
      // Unit costs sweep in g order, so only A* can improve an open cell.
      if (s != kUnseen && (!Astar || g2 >= g[v])) continue;
      if (Astar) g[v] = g2;
      state[v] = std::uint8_t(k + 1);
      open.push(g2 + h(v), v);
    }
  }
  double cost = std::numeric_limits<double>::infinity();
  std::vector<std::uint32_t> path;
  if (found) {
    cost = double(goal_g);
    for (std::uint32_t v = goal;; v -= step[(state[v] & 7) - 1]) {
      path.push_back(v);
      if ((state[v] & 7) == kStartCell) break;
    }
  }
  std::free(state);
  std::free(g);
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  return {secs, expanded, cost, path.size()};
}

// ---- CSR graph --------------------------------------------------------------

struct Csr {
  std::uint64_t n = 0, m = 0;
  std::vector<std::uint64_t> offsets;
  std::vector<std::uint32_t> targets;
  std::vector<double> weights;
};

// Binary: n, m (uint64), offsets[n+1] (uint64), targets[m] (uint32), weights[m] (float64).
Csr read_csr(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(2);
  }
  Csr g;
  bool ok = std::fread(&g.n, 8, 1, f) == 1 && std::fread(&g.m, 8, 1, f) == 1;
  if (ok) {
    g.offsets.resize(g.n + 1);
    g.targets.resize(g.m);
    g.weights.resize(g.m);
    ok = std::fread(g.offsets.data(), 8, g.n + 1, f) == g.n + 1 &&
         std::fread(g.targets.data(), 4, g.m, f) == g.m &&
         std::fread(g.weights.data(), 8, g.m, f) == g.m;
  }
  std::fclose(f);
  if (!ok) {
    std::fprintf(stderr, "truncated %s\n", path);
    std::exit(2);
  }
  return g;
}

Outcome dijkstra(const Csr& gr, std::uint32_t s, std::uint32_t t) {
  const auto t0 = Clock::now();
  const std::size_t n = gr.n;
  double* dist = static_cast<double*>(std::calloc(n, sizeof(double)));
  std::uint32_t* parent = static_cast<std::uint32_t*>(std::calloc(n, sizeof(std::uint32_t)));
  std::uint8_t* state = static_cast<std::uint8_t*>(std::calloc(n, 1));
  Heap open;
  std::uint64_t expanded = 0;
  double cost = std::numeric_limits<double>::infinity();
  dist[s] = 0.0;
  parent[s] = kNone;
  state[s] = 1;
  open.push(0.0, s);
  while (!open.empty()) {
    const std::uint32_t u = open.pop();
    if (state[u] == 2) continue;
    state[u] = 2;
    ++expanded;
    const double du = dist[u];
    if (u == t) {
      cost = du;
      break;
    }
    for (std::uint64_t i = gr.offsets[u], e = gr.offsets[u + 1]; i < e; ++i) {
      const std::uint32_t v = gr.targets[i];
      if (state[v] == 2) continue;
      const double d2 = du + gr.weights[i];
      if (state[v] == 1 && !(d2 < dist[v])) continue;
      dist[v] = d2;
      parent[v] = u;
      state[v] = 1;
      open.push(d2, v);
    }
  }
  std::vector<std::uint32_t> path;
  if (cost < std::numeric_limits<double>::infinity())
    for (std::uint32_t v = t; v != kNone; v = parent[v]) path.push_back(v);
  std::free(dist);
  std::free(parent);
  std::free(state);
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  return {secs, expanded, cost, path.size()};
}

// ---- sliding-tile puzzles --------------------------------------------------

// Manhattan distance of every tile from every cell to its goal cell (tiles
// 1..n-1 in order, then the blank), for a side x side board.
template <int Side>
struct TileTable {
  static constexpr int kCells = Side * Side;
  std::uint8_t md[kCells][kCells] = {};  // [tile][cell]
  TileTable() {
    for (int t = 1; t < kCells; ++t)
      for (int p = 0; p < kCells; ++p)
        md[t][p] =
            std::uint8_t(std::abs(p / Side - (t - 1) / Side) + std::abs(p % Side - (t - 1) % Side));
  }
};

// 4 bits a cell, cell 0 lowest.
template <int Cells>
std::uint64_t pack(const std::uint8_t* b) {
  std::uint64_t k = 0;
  for (int i = Cells - 1; i >= 0; --i) k = (k << 4) | b[i];
  return k;
}

inline std::uint64_t mix(std::uint64_t k) {
  k ^= k >> 31;
  k *= 0x9E3779B97F4A7C15ull;
  return k ^ (k >> 29);
}

// 15-puzzle IDA*: one board moved in place and undone, Manhattan updated by
// the moved tile alone, the current path's boards in a small open-addressing
// set (a board on the path is never revisited, as in the engine).
class Ida15 {
 public:
  explicit Ida15(const std::uint8_t* start) {
    std::memcpy(b_, start, 16);
    for (int i = 0; i < 16; ++i) {
      if (b_[i] == 0)
        blank_ = i;
      else
        h_ += t_.md[b_[i]][i];
    }
    key_ = pack<16>(b_);
  }

  // Returns the optimal length, or -1.
  int solve() {
    threshold_ = h_;
    while (true) {
      const double next = dfs(0.0);
      if (found_) return int(depth_);
      if (std::isinf(next)) return -1;
      threshold_ = next;
    }
  }
  std::uint64_t expanded = 0, generated = 1;

 private:
  static constexpr std::uint64_t kGoal = 0x0FEDCBA987654321ull;
  static constexpr unsigned kSlots = 512;

  double dfs(double g) {
    const double f = g + h_;
    if (f > threshold_) return f;
    ++expanded;
    if (key_ == kGoal) {
      found_ = true;
      return f;
    }
    const unsigned slot = insert(key_);
    double next = std::numeric_limits<double>::infinity();
    const int b = blank_, r = b >> 2, c = b & 3;
    const int to[4] = {r > 0 ? b - 4 : -1, r < 3 ? b + 4 : -1, c > 0 ? b - 1 : -1,
                       c < 3 ? b + 1 : -1};
    for (const int p : to) {
      if (p < 0) continue;
      const std::uint64_t t = b_[p];
      const std::uint64_t child = key_ + (t << (4 * b)) - (t << (4 * p));
      if (contains(child)) continue;
      ++generated;
      const int dh = t_.md[t][b] - t_.md[t][p];
      b_[b] = std::uint8_t(t);
      b_[p] = 0;
      blank_ = p;
      h_ += dh;
      const std::uint64_t saved = key_;
      key_ = child;
      ++depth_;
      const double got = dfs(g + 1.0);
      if (found_) return got;
      --depth_;
      key_ = saved;
      h_ -= dh;
      blank_ = b;
      b_[p] = std::uint8_t(t);
      b_[b] = 0;
      next = std::fmin(next, got);
    }
    slots_[slot] = 0;  // the newest entry: no later probe runs through it
    return next;
  }

  unsigned insert(std::uint64_t k) {
    unsigned i = unsigned(mix(k)) & (kSlots - 1);
    while (slots_[i] != 0) i = (i + 1) & (kSlots - 1);
    slots_[i] = k;
    return i;
  }
  bool contains(std::uint64_t k) const {
    for (unsigned i = unsigned(mix(k)) & (kSlots - 1); slots_[i] != 0; i = (i + 1) & (kSlots - 1))
      if (slots_[i] == k) return true;
    return false;
  }

  inline static const TileTable<4> t_{};
  std::uint8_t b_[16];
  int blank_ = 0;
  int h_ = 0;
  std::uint64_t key_ = 0;
  std::uint64_t slots_[kSlots] = {};  // 0 is no board
  double threshold_ = 0.0;
  bool found_ = false;
  unsigned depth_ = 0;
};

Outcome ida_all(const std::vector<std::vector<std::uint8_t>>& boards) {
  const auto t0 = Clock::now();
  std::uint64_t expanded = 0;
  double moves = 0;
  for (const auto& board : boards) {
    auto* search = new Ida15(board.data());  // the engine's stack lives on the heap too
    const int len = search->solve();
    expanded += search->expanded;
    moves += len;
    delete search;
  }
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  return {secs, expanded, moves, boards.size()};
}

// 8-puzzle A*: boards packed in 36 bits, interned through an open-addressing
// table into flat arrays; Manhattan updated by the moved tile.
Outcome astar8(const std::uint8_t* start) {
  const auto t0 = Clock::now();
  static const TileTable<3> tt;
  constexpr std::uint64_t kGoal = 0x087654321ull;
  std::vector<std::uint64_t> keys;
  std::vector<double> g;
  std::vector<std::uint32_t> parent;
  std::vector<std::uint8_t> state, hval;
  std::vector<std::uint32_t> table(1024, kNone);
  auto intern = [&](std::uint64_t k, std::uint8_t h) {
    std::size_t mask = table.size() - 1, i = mix(k) & mask;
    for (; table[i] != kNone; i = (i + 1) & mask)
      if (keys[table[i]] == k) return table[i];
    const auto id = std::uint32_t(keys.size());
    table[i] = id;
    keys.push_back(k);
    g.push_back(0.0);
    parent.push_back(kNone);
    state.push_back(0);
    hval.push_back(h);
    if (keys.size() * 2 > table.size()) {
      std::vector<std::uint32_t> bigger(table.size() * 2, kNone);
      mask = bigger.size() - 1;
      for (std::uint32_t j = 0; j < keys.size(); ++j) {
        std::size_t s = mix(keys[j]) & mask;
        while (bigger[s] != kNone) s = (s + 1) & mask;
        bigger[s] = j;
      }
      table.swap(bigger);
    }
    return id;
  };
  int h0 = 0;
  for (int i = 0; i < 9; ++i)
    if (start[i]) h0 += tt.md[start[i]][i];
  Heap open;
  const std::uint32_t s = intern(pack<9>(start), std::uint8_t(h0));
  state[s] = 1;
  open.push(h0, s);
  std::uint64_t expanded = 0;
  double cost = std::numeric_limits<double>::infinity();
  std::uint32_t goal_id = kNone;
  while (!open.empty()) {
    const std::uint32_t u = open.pop();
    if (state[u] == 2) continue;
    state[u] = 2;
    ++expanded;
    const double gu = g[u];
    const std::uint64_t key = keys[u];
    if (key == kGoal) {
      cost = gu;
      goal_id = u;
      break;
    }
    int b = 0;
    while ((key >> (4 * b) & 15) != 0) ++b;
    const int r = b / 3, c = b % 3;
    const int to[4] = {r > 0 ? b - 3 : -1, r < 2 ? b + 3 : -1, c > 0 ? b - 1 : -1,
                       c < 2 ? b + 1 : -1};
    for (const int p : to) {
      if (p < 0) continue;
      const std::uint64_t t = key >> (4 * p) & 15;
      const std::uint64_t child = key + (t << (4 * b)) - (t << (4 * p));
      const int h = hval[u] + tt.md[t][b] - tt.md[t][p];
      const std::uint32_t v = intern(child, std::uint8_t(h));
      if (state[v] == 2) continue;
      const double g2 = gu + 1.0;
      if (state[v] == 1 && !(g2 < g[v])) continue;
      g[v] = g2;
      parent[v] = u;
      state[v] = 1;
      open.push(g2 + h, v);
    }
  }
  std::size_t len = 0;
  for (std::uint32_t v = goal_id; v != kNone; v = parent[v]) ++len;
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  return {secs, expanded, cost, len};
}

// ---- Floyd-Warshall ---------------------------------------------------------

struct Arc {
  std::uint32_t u, v;
  double w;
};

// The engine's update order: pivot k outer, rows i, columns j in order; the
// first of equal parallel arcs wins; a row whose d[i][k] is infinite skipped.
Outcome floyd(std::uint32_t n, const std::vector<Arc>& arcs) {
  const auto t0 = Clock::now();
  const std::size_t nn = std::size_t(n) * n;
  std::vector<double> dist(nn, std::numeric_limits<double>::infinity());
  std::vector<std::uint32_t> hop(nn, kNone);
  for (std::size_t i = 0; i < n; ++i) dist[i * n + i] = 0.0;
  for (const Arc& a : arcs) {
    const std::size_t at = std::size_t(a.u) * n + a.v;
    if (a.w < dist[at]) {
      dist[at] = a.w;
      hop[at] = a.v;
    }
  }
  for (std::size_t k = 0; k < n; ++k) {
    const double* dk = &dist[k * n];
    for (std::size_t i = 0; i < n; ++i) {
      double* di = &dist[i * n];
      std::uint32_t* hi = &hop[i * n];
      const double dik = di[k];
      if (!std::isfinite(dik)) continue;
      const std::uint32_t hik = hi[k];
      for (std::size_t j = 0; j < n; ++j) {
        const double through = dik + dk[j];
        const bool better = through < di[j];
        di[j] = better ? through : di[j];
        hi[j] = better ? hik : hi[j];
      }
    }
  }
  std::uint64_t finite = 0;
  double sum = 0.0;
  for (const double d : dist)
    if (std::isfinite(d)) {
      ++finite;
      sum += d;
    }
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  return {secs, finite, sum, n};
}

void print(const Outcome& o) {
  std::printf("%.9f %llu %.17g %zu\n", o.seconds, static_cast<unsigned long long>(o.expanded),
              o.cost, o.path_len);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const int reps = argc > 2 ? std::atoi(argv[argc - 1]) : 0;
  if (mode == "grid" && argc == 5) {
    const Maze m = read_maze(argv[2]);
    const std::string algo = argv[3];
    for (int i = 0; i < reps; ++i) {
      if (algo == "astar")
        print(sweep_grid<PackedHeap, true>(m));
      else if (algo == "dijkstra")
        print(sweep_grid<PackedHeap, false>(m));
      else
        print(sweep_grid<Fifo, false>(m));
    }
    return 0;
  }
  if (mode == "graph" && argc == 6) {
    const Csr g = read_csr(argv[2]);
    const auto s = std::uint32_t(std::strtoul(argv[3], nullptr, 10));
    const auto t = std::uint32_t(std::strtoul(argv[4], nullptr, 10));
    for (int i = 0; i < reps; ++i) print(dijkstra(g, s, t));
    return 0;
  }
  if (mode == "ida" && argc == 4) {
    std::ifstream in(argv[2]);
    std::vector<std::vector<std::uint8_t>> boards;
    for (std::string line; std::getline(in, line);) {
      std::vector<std::uint8_t> b;
      for (std::size_t pos = 0; b.size() < 16;) {
        std::size_t used = 0;
        if (pos >= line.size()) break;
        b.push_back(std::uint8_t(std::stoi(line.substr(pos), &used)));
        pos += used;
      }
      if (b.size() == 16) boards.push_back(b);
    }
    for (int i = 0; i < reps; ++i) print(ida_all(boards));
    return 0;
  }
  if (mode == "p8" && argc == 4 && std::strlen(argv[2]) == 9) {
    std::uint8_t b[9];
    for (int i = 0; i < 9; ++i) b[i] = std::uint8_t(argv[2][i] - '0');
    for (int i = 0; i < reps; ++i) print(astar8(b));
    return 0;
  }
  if (mode == "fw" && argc == 4) {
    std::FILE* f = std::fopen(argv[2], "rb");
    std::uint64_t head[2] = {0, 0};
    std::vector<Arc> arcs;
    bool ok = f && std::fread(head, 8, 2, f) == 2;
    if (ok) {
      arcs.resize(head[1]);
      for (Arc& a : arcs)
        ok = ok && std::fread(&a.u, 4, 1, f) == 1 && std::fread(&a.v, 4, 1, f) == 1 &&
             std::fread(&a.w, 8, 1, f) == 1;
    }
    if (f) std::fclose(f);
    if (!ok) {
      std::fprintf(stderr, "cannot read %s\n", argv[2]);
      return 2;
    }
    for (int i = 0; i < reps; ++i) print(floyd(std::uint32_t(head[0]), arcs));
    return 0;
  }
  std::fprintf(stderr,
               "usage: yardstick grid MAPFILE astar|dijkstra|bfs REPS | graph CSRFILE START GOAL "
               "REPS | ida BOARDS REPS | p8 BOARD REPS | fw EDGEFILE REPS\n");
  return 2;
}
