// The 2-D maze domain: a rectangular grid of walls and open cells with
// terrain costs, searched with 4- or 8-connectivity; and its heuristics.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/error.hpp"
#include "wayloom/core/heuristic_table.hpp"
#include "wayloom/core/node.hpp"

namespace wayloom {

inline constexpr double kSqrt2 = 1.4142135623730951;

class ReversedGrid;

class GridGraph {
 public:
  using node_type = Cell;

  bool diagonal = false;

  // Every cell open at cost 1.
  // Bytes of a grid of `cells` cells: one terrain byte each.
  static constexpr std::size_t bytes_for(std::size_t cells) noexcept { return cells; }

  static GridGraph blank(std::int32_t width, std::int32_t height) {
    if (width < 1 || height < 1) throw CoreError("grid must be non-empty");
    const std::int64_t n = std::int64_t(width) * std::int64_t(height);
    if (n > 2147483647)
      throw CoreError("grid too large: " + std::to_string(width) + "\xC3\x97" +
                      std::to_string(height) + " = " + std::to_string(n) +
                      " cells (max 2147483647)");
    GridGraph g;
    g.width_ = width;
    g.height_ = height;
    g.tiled_ = width >= 8 && height >= 4;
    g.tile_cols_ = (std::size_t(width) + 7) >> 3;
    g.terrain_.assign(std::size_t(n), 1);
    return g;
  }

  // The ASCII map grammar: '#' a wall, a digit 1-9 an open cell of that cost,
  // anything else an open cell of cost 1; 'S' and 'G' mark the endpoints
  // (the last of each on a line wins). Columns count characters, not bytes.
  struct Map;
  static Map read_map(std::string_view text);
  // A map that must have both endpoints (CoreError otherwise).
  struct Parsed;
  static Parsed from_ascii(std::string_view text);
  static GridGraph from_costs(const std::vector<std::vector<double>>& rows);

  std::int32_t width() const noexcept { return width_; }
  std::int32_t height() const noexcept { return height_; }
  bool in_bounds(Cell c) const noexcept {
    return c.row >= 0 && c.row < height_ && c.col >= 0 && c.col < width_;
  }
  bool is_open(Cell c) const noexcept { return in_bounds(c) && terrain_[at(c)] != 0; }
  bool is_wall(Cell c) const noexcept { return terrain_[at(c)] == 0; }
  double cost(Cell c) const noexcept {
    const std::size_t i = at(c);
    return costs_.empty() ? double(terrain_[i]) : costs_[i];
  }
  // The cost of the cheapest open cell (+inf when every cell is a wall): every
  // move costs at least this much, times sqrt(2) for a diagonal one.
  double cheapest_cost() const noexcept {
    double least = std::numeric_limits<double>::infinity();
    if (costs_.empty()) {
      std::uint8_t t = 0xff;
      for (const std::uint8_t v : terrain_)
        if (v != 0 && v < t) t = v;
      return t == 0xff ? least : double(t);
    }
    for (std::size_t i = 0; i < terrain_.size(); ++i)
      if (terrain_[i] != 0 && costs_[i] < least) least = costs_[i];
    return least;
  }
  // The cost every open cell shares, or 0 when they differ (1 when every cell
  // is a wall: any unit will do).
  double uniform_cost() const noexcept {
    if (costs_.empty()) {
      std::uint8_t unit = 0;
      for (const std::uint8_t v : terrain_)
        if (v != 0) {
          unit = v;
          break;
        }
      if (unit == 0) return 1.0;
      // A branch-free pass the compiler vectorises: whole-cost maps are the
      // common case and are scanned per search.
      std::uint8_t odd = 0;
      for (const std::uint8_t v : terrain_) odd |= std::uint8_t((v != 0) & (v != unit));
      return odd ? 0.0 : double(unit);
    }
    double unit = 0.0;
    for (std::size_t i = 0; i < terrain_.size(); ++i) {
      if (terrain_[i] == 0) continue;
      if (unit == 0.0)
        unit = costs_[i];
      else if (costs_[i] != unit)
        return 0.0;
    }
    return unit == 0.0 ? 1.0 : unit;
  }
  // Row `r`'s terrain bytes, `width()` of them: 0 a wall, anything else open.
  const std::uint8_t* terrain_row(std::int32_t r) const noexcept {
    return terrain_.data() + std::size_t(r) * std::size_t(width_);
  }
  void set_wall(Cell c, bool wall) {
    std::uint8_t& t = terrain_[at(c)];
    if (wall)
      t = 0;
    else if (t == 0)
      t = 1;
  }
  void set_cost(Cell c, double cost) {
    const std::size_t i = at(c);
    if (costs_.empty()) {
      if (cost == 1.0 || cost == 2.0 || cost == 3.0 || cost == 4.0 || cost == 5.0 || cost == 6.0 ||
          cost == 7.0 || cost == 8.0 || cost == 9.0) {
        if (terrain_[i] != 0) terrain_[i] = std::uint8_t(cost);
        return;
      }
      // A cost that is not a small whole number: keep a float per cell.
      costs_.resize(terrain_.size());
      for (std::size_t k = 0; k < terrain_.size(); ++k) costs_[k] = double(terrain_[k]);
    }
    costs_[i] = cost;
  }

  // Up, down, left, right, then (when diagonal) up-left, up-right, down-left,
  // down-right; a diagonal never cuts a corner. Calls f(cell, cost) for each.
  template <class F>
  void for_each_successor(Cell c, F&& f) const {
    const std::int32_t r = c.row, k = c.col;
    if (!in_bounds(c)) {
      // Off the grid: only the in-bounds cells around it can be successors.
      const bool up = is_open({r - 1, k}), down = is_open({r + 1, k});
      const bool left = is_open({r, k - 1}), right = is_open({r, k + 1});
      successors_from(c, up, down, left, right, f);
      return;
    }
    // Inside the grid, a neighbour is off it only across the matching edge.
    const std::size_t i = at(c), w = std::size_t(width_);
    const std::uint8_t* const t = terrain_.data();
    const bool up = r > 0 && t[i - w] != 0, down = r + 1 < height_ && t[i + w] != 0;
    const bool left = k > 0 && t[i - 1] != 0, right = k + 1 < width_ && t[i + 1] != 0;
    if (costs_.empty() && !diagonal) {
      // The common map: whole terrain costs, four directions.
      if (up) f(Cell{r - 1, k}, double(t[i - w]));
      if (down) f(Cell{r + 1, k}, double(t[i + w]));
      if (left) f(Cell{r, k - 1}, double(t[i - 1]));
      if (right) f(Cell{r, k + 1}, double(t[i + 1]));
      return;
    }
    successors_from(c, up, down, left, right, f);
  }

  void neighbors_into(Cell c, Neighbors<Cell>& out) const {
    for_each_successor(c, [&out](Cell n, double w) { out.emplace_back(n, w); });
  }

  Neighbors<Cell> neighbors(Cell c) const {
    Neighbors<Cell> out;
    out.reserve(diagonal ? 8 : 4);
    neighbors_into(c, out);
    return out;
  }

  // The grid with every move turned around (moves cost what they enter, so
  // on terrain of several costs a move and its reverse differ).
  ReversedGrid reversed() const noexcept;

  // Dense-node fast path. Ids run through tiles of 4 rows by 8 columns, one
  // tile after another in row order, so the 32 ids of a page of the node
  // store cover a compact patch: a search that reaches a band of the grid
  // fills the pages it touches, and up/down neighbours share pages. Grids
  // narrower or shorter than a tile keep row order (padding would waste ids).
  std::size_t node_count() const noexcept {
    if (!tiled()) return terrain_.size();
    return tile_cols() * ((std::size_t(height_) + 3) >> 2) * 32;
  }
  [[gnu::always_inline]] std::size_t index_of(Cell c) const noexcept {
    if (!tiled()) return at(c);
    const std::size_t r = std::size_t(c.row), k = std::size_t(c.col);
    return (((r >> 2) * tile_cols() + (k >> 3)) << 5) | ((r & 3) << 3) | (k & 7);
  }
  Cell node_at(std::size_t i) const noexcept {
    if (!tiled())
      return Cell{std::int32_t(i / std::size_t(width_)), std::int32_t(i % std::size_t(width_))};
    const std::size_t tile = i >> 5;
    const std::size_t tr = tile / tile_cols(), tc = tile % tile_cols();
    return Cell{std::int32_t((tr << 2) | ((i >> 3) & 3)), std::int32_t((tc << 3) | (i & 7))};
  }

 private:
  template <class F>
  void successors_from(Cell c, bool up, bool down, bool left, bool right, F& f) const {
    const std::int32_t r = c.row, k = c.col;
    if (up) f(Cell{r - 1, k}, cost({r - 1, k}));
    if (down) f(Cell{r + 1, k}, cost({r + 1, k}));
    if (left) f(Cell{r, k - 1}, cost({r, k - 1}));
    if (right) f(Cell{r, k + 1}, cost({r, k + 1}));
    if (!diagonal) return;
    if (up && left && is_open({r - 1, k - 1})) f(Cell{r - 1, k - 1}, cost({r - 1, k - 1}) * kSqrt2);
    if (up && right && is_open({r - 1, k + 1}))
      f(Cell{r - 1, k + 1}, cost({r - 1, k + 1}) * kSqrt2);
    if (down && left && is_open({r + 1, k - 1}))
      f(Cell{r + 1, k - 1}, cost({r + 1, k - 1}) * kSqrt2);
    if (down && right && is_open({r + 1, k + 1}))
      f(Cell{r + 1, k + 1}, cost({r + 1, k + 1}) * kSqrt2);
  }

  bool tiled() const noexcept { return tiled_; }
  std::size_t tile_cols() const noexcept { return tile_cols_; }
  std::size_t at(Cell c) const noexcept {
    return std::size_t(c.row) * std::size_t(width_) + std::size_t(c.col);
  }

  // One byte per cell: 0 = wall, 1..9 = an open cell of that whole cost (every
  // ASCII map fits). Grids with other costs also keep a float per cell.
  std::vector<std::uint8_t> terrain_;
  std::vector<double> costs_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool tiled_ = false;         // width >= 8 and height >= 4
  std::size_t tile_cols_ = 0;  // tiles across a row
};

// The grid with its moves turned around, for searches that walk back from
// the goal. The moves are the grid's own (a cell's neighbours are the same
// both ways, corners included), but a move costs what its target cell costs:
// turned around, it costs what the cell it now leaves costs, computed as the
// forward move computes it.
class ReversedGrid {
 public:
  using node_type = Cell;
  explicit ReversedGrid(const GridGraph& g) noexcept : g_(g) {}

  void neighbors_into(Cell c, Neighbors<Cell>& out) const {
    if (!g_.is_open(c)) return;  // no move enters a wall or leaves the grid
    const double into = g_.cost(c);
    g_.for_each_successor(c, [&](Cell u, double) {
      out.emplace_back(u, u.row != c.row && u.col != c.col ? into * kSqrt2 : into);
    });
  }

 private:
  const GridGraph& g_;
};

inline ReversedGrid GridGraph::reversed() const noexcept { return ReversedGrid(*this); }

struct GridGraph::Map {
  GridGraph grid;
  std::optional<Cell> start, goal;
};

struct GridGraph::Parsed {
  GridGraph grid;
  Cell start;
  Cell goal;
};

namespace detail {
// Splits UTF-8 text into Unicode scalar values' byte lengths; invalid bytes
// count as one character each (the binding hands us valid UTF-8 anyway).
inline bool is_ascii(std::string_view s) noexcept {
  unsigned char any = 0;
  for (const char ch : s) any |= static_cast<unsigned char>(ch);
  return any < 0x80;
}

inline std::size_t utf8_char_len(unsigned char b) noexcept {
  if (b < 0x80) return 1;
  if ((b >> 5) == 0x6) return 2;
  if ((b >> 4) == 0xE) return 3;
  if ((b >> 3) == 0x1E) return 4;
  return 1;
}
}  // namespace detail

inline GridGraph::Map GridGraph::read_map(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (true) {
    const std::size_t nl = text.find('\n', pos);
    std::string_view line =
        text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    if (nl != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  std::size_t first = 0, last = lines.size();
  while (first < last && lines[first].empty()) ++first;
  while (last > first && lines[last - 1].empty()) --last;

  // Column counts in characters, not bytes; an ASCII line (the usual map,
  // checked with a loop the compiler vectorises) has one character a byte.
  std::vector<bool> ascii_line(last - first);
  std::int64_t width = 0;
  for (std::size_t i = first; i < last; ++i) {
    const bool ascii = detail::is_ascii(lines[i]);
    ascii_line[i - first] = ascii;
    std::int64_t chars = 0;
    if (ascii)
      chars = std::int64_t(lines[i].size());
    else
      for (std::size_t b = 0; b < lines[i].size(); b += detail::utf8_char_len(lines[i][b])) ++chars;
    if (chars > width) width = chars;
  }
  const std::int64_t height = std::int64_t(last - first);
  if (width > 2147483647 || height > 2147483647) {
    // Not representable as a grid dimension; report like any oversized grid.
    throw CoreError("grid too large: " + std::to_string(width) + "\xC3\x97" +
                    std::to_string(height) + " = " + std::to_string(width * height) +
                    " cells (max 2147483647)");
  }
  GridGraph g = blank(std::int32_t(width), std::int32_t(height));
  // Byte -> terrain for ASCII characters: '#' wall, digits their cost,
  // everything else an open cell of cost 1.
  std::uint8_t table[128];
  for (int b = 0; b < 128; ++b) table[b] = 1;
  table[int('#')] = 0;
  for (int d = 1; d <= 9; ++d) table['0' + d] = std::uint8_t(d);
  bool has_start = false, has_goal = false;
  Cell start{}, goal{};
  for (std::int32_t r = 0; r < std::int32_t(height); ++r) {
    const std::string_view line = lines[first + std::size_t(r)];
    std::uint8_t* row = g.terrain_.data() + std::size_t(r) * std::size_t(width);
    if (ascii_line[std::size_t(r)]) {
      // Byte index is the column; the last S and G of the line win.
      for (std::size_t b = 0; b < line.size(); ++b)
        row[b] = table[static_cast<unsigned char>(line[b])];
      const std::size_t s = line.rfind('S'), gpos = line.rfind('G');
      if (s != std::string_view::npos) {
        has_start = true;
        start = Cell{r, std::int32_t(s)};
      }
      if (gpos != std::string_view::npos) {
        has_goal = true;
        goal = Cell{r, std::int32_t(gpos)};
      }
      continue;
    }
    std::int32_t c = 0;
    for (std::size_t b = 0; b < line.size(); b += detail::utf8_char_len(line[b]), ++c) {
      const unsigned char ch = static_cast<unsigned char>(line[b]);
      row[c] = ch < 0x80 ? table[ch] : 1;
      if (ch == 'S') {
        has_start = true;
        start = Cell{r, c};
      } else if (ch == 'G') {
        has_goal = true;
        goal = Cell{r, c};
      }
    }
  }
  Map map{std::move(g), std::nullopt, std::nullopt};
  if (has_start) map.start = start;
  if (has_goal) map.goal = goal;
  return map;
}

inline GridGraph::Parsed GridGraph::from_ascii(std::string_view text) {
  Map map = read_map(text);
  if (!map.start) throw CoreError("ASCII map must contain a start cell 'S'");
  if (!map.goal) throw CoreError("ASCII map must contain a goal cell 'G'");
  return Parsed{std::move(map.grid), *map.start, *map.goal};
}

inline GridGraph GridGraph::from_costs(const std::vector<std::vector<double>>& rows) {
  std::size_t width = 0;
  for (const auto& row : rows)
    if (row.size() > width) width = row.size();
  if (rows.empty() || width == 0) throw CoreError("cost grid must be non-empty");
  if (width > 2147483647 || rows.size() > 2147483647) {
    throw CoreError("grid too large: " + std::to_string(width) + "\xC3\x97" +
                    std::to_string(rows.size()) + " = " + std::to_string(width * rows.size()) +
                    " cells (max 2147483647)");
  }
  GridGraph g = blank(std::int32_t(width), std::int32_t(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < width; ++c) {
      const Cell cell{std::int32_t(r), std::int32_t(c)};
      const double v = c < rows[r].size() ? rows[r][c] : 0.0;
      if (std::isfinite(v) && v > 0.0)
        g.set_cost(cell, v);
      else
        g.set_wall(cell, true);
    }
  }
  return g;
}

// Grid heuristics: step counts only, never scaled by terrain.
struct Manhattan {
  static constexpr bool pure = true;
  double estimate(Cell c, Cell goal) const noexcept {
    const std::int64_t dr = std::int64_t(c.row) - goal.row, dc = std::int64_t(c.col) - goal.col;
    return double(std::llabs(dr) + std::llabs(dc));
  }
};

struct Euclidean {
  static constexpr bool pure = true;
  double estimate(Cell c, Cell goal) const noexcept {
    const double dr = double(c.row) - double(goal.row), dc = double(c.col) - double(goal.col);
    return std::sqrt(dr * dr + dc * dc);
  }
};

struct Octile {
  static constexpr bool pure = true;
  double estimate(Cell c, Cell goal) const noexcept {
    const double dr = std::fabs(double(c.row) - double(goal.row));
    const double dc = std::fabs(double(c.col) - double(goal.col));
    const double a = dr > dc ? dr : dc, b = dr > dc ? dc : dr;
    return (a - b) + b * kSqrt2;
  }
};

// A grid's admissible default: octile distance on an 8-connected grid,
// Manhattan on a 4-connected one, times the cheapest open cell's cost. A
// move costs at least that cost (a diagonal one sqrt(2) times it), so the
// estimate never exceeds the cheapest path, whatever the terrain.
struct GridDefault {
  static constexpr bool pure = true;
  double scale = 1.0;
  bool diagonal = false;
  double estimate(Cell c, Cell goal) const noexcept {
    return scale * (diagonal ? Octile{}.estimate(c, goal) : Manhattan{}.estimate(c, goal));
  }
};

// The sample mazes, by name.
inline std::string_view sample_maze_text(std::string_view name) {
  if (name == "open") return "S........\n.........\n....#....\n....#....\n....#....\n........G";
  if (name == "wall") return "S.#......\n..#.####.\n..#.#..#.\n..#.#.##.\n....#...G\n#####.#..";
  throw UsageError("unknown sample maze: '" + std::string(name) + "'. Available: open, wall");
}

// The built-in heuristics of grids, by name.
inline constexpr auto grid_heuristics() {
  return HeuristicTable("manhattan", "unknown heuristic: '",
                        "'. Available: zero, manhattan, euclidean, octile, or a callable h(node, "
                        "goal) -> float",
                        Named<Zero>{"zero", {}}, Named<Manhattan>{"manhattan", {}},
                        Named<Euclidean>{"euclidean", {}}, Named<Octile>{"octile", {}});
}

// The heuristics of the companion package's grids: the same names, and the
// admissible default for this grid when none is named. `cheapest` is the
// grid's cheapest_cost(), which the caller keeps rather than rescans.
inline constexpr auto grid_object_heuristics(bool diagonal, double cheapest) {
  return HeuristicTable(
      "default", "unknown heuristic: '",
      "'. Available: zero, manhattan, euclidean, octile, or a callable h(node, goal) -> float",
      Named<Zero>{"zero", {}}, Named<Manhattan>{"manhattan", {}}, Named<Euclidean>{"euclidean", {}},
      Named<Octile>{"octile", {}}, Named<GridDefault>{"default", {cheapest, diagonal}});
}

}  // namespace wayloom
