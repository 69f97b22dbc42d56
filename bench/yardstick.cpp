// Hand-written yardsticks for the engine's two hot loops, with none of its
// generality: flat per-node arrays and one binary heap ordered by
// (priority, insertion number), stale entries skipped on pop. Same tie-break
// and goal-at-expansion rule as the engine, so the expansion counts must match.
//
//   yardstick grid  MAPFILE  REPS   A*, Manhattan, 4-connected, unit costs
//   yardstick graph CSRFILE START GOAL REPS   single-pair Dijkstra
//
// Prints one line per repetition: "<seconds> <expanded> <cost>". The timed
// region covers what the engine's `elapsed` covers: allocating the working
// arrays, the search, rebuilding the path and freeing everything.
//
// Build: g++ -O2 -std=c++20 -o yardstick yardstick.cpp (bench/run.py does it).
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
  std::vector<double> cost;  // terrain cost of entering a cell
  std::uint32_t start = 0, goal = 0;
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
  const std::size_t n = std::size_t(m.width) * std::size_t(m.height);
  m.wall.assign(n, 0);
  m.cost.assign(n, 1.0);
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

Outcome astar_grid(const Maze& m) {
  const auto t0 = Clock::now();
  const std::size_t n = m.wall.size();
  const int w = m.width, h = m.height;
  const int gr = int(m.goal / w), gc = int(m.goal % w);
  double* g = static_cast<double*>(std::calloc(n, sizeof(double)));
  std::uint32_t* parent = static_cast<std::uint32_t*>(std::calloc(n, sizeof(std::uint32_t)));
  // 0 unreached, 1 open, 2 closed
  std::uint8_t* state = static_cast<std::uint8_t*>(std::calloc(n, 1));
  Heap open;
  auto hman = [&](std::uint32_t i) {
    return double(std::abs(int(i / w) - gr) + std::abs(int(i % w) - gc));
  };

  std::uint64_t expanded = 0;
  double cost = std::numeric_limits<double>::infinity();
  g[m.start] = 0.0;
  parent[m.start] = kNone;
  state[m.start] = 1;
  open.push(hman(m.start), m.start);
  while (!open.empty()) {
    const std::uint32_t u = open.pop();
    if (state[u] == 2) continue;
    state[u] = 2;
    ++expanded;
    const double gu = g[u];
    if (u == m.goal) {
      cost = gu;
      break;
    }
    const int r = int(u / w), c = int(u % w);
    std::uint32_t nb[4];
    int k = 0;
    if (r > 0) nb[k++] = u - w;
    if (r + 1 < h) nb[k++] = u + w;
    if (c > 0) nb[k++] = u - 1;
    if (c + 1 < w) nb[k++] = u + 1;
    for (int j = 0; j < k; ++j) {
      const std::uint32_t v = nb[j];
      if (m.wall[v] || state[v] == 2) continue;
      const double g2 = gu + m.cost[v];
      if (state[v] == 1 && !(g2 < g[v])) continue;
      g[v] = g2;
      parent[v] = u;
      state[v] = 1;
      open.push(g2 + hman(v), v);
    }
  }
  std::vector<std::uint32_t> path;
  if (cost < std::numeric_limits<double>::infinity())
    for (std::uint32_t v = m.goal; v != kNone; v = parent[v]) path.push_back(v);
  std::free(g);
  std::free(parent);
  std::free(state);
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

void print(const Outcome& o) {
  std::printf("%.9f %llu %.17g %zu\n", o.seconds, static_cast<unsigned long long>(o.expanded),
              o.cost, o.path_len);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "grid" && argc == 4) {
    const Maze m = read_maze(argv[2]);
    const int reps = std::atoi(argv[3]);
    for (int i = 0; i < reps; ++i) print(astar_grid(m));
    return 0;
  }
  if (mode == "graph" && argc == 6) {
    const Csr g = read_csr(argv[2]);
    const auto s = std::uint32_t(std::strtoul(argv[3], nullptr, 10));
    const auto t = std::uint32_t(std::strtoul(argv[4], nullptr, 10));
    const int reps = std::atoi(argv[5]);
    for (int i = 0; i < reps; ++i) print(dijkstra(g, s, t));
    return 0;
  }
  std::fprintf(stderr,
               "usage: yardstick grid MAPFILE REPS | yardstick graph CSRFILE START GOAL REPS\n");
  return 2;
}
