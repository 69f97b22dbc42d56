// The word-ladder puzzle: words of a dictionary, adjacent when one lowercase
// letter a..z replaces one byte; and its heuristic.
//
// The dictionary stores words exactly as given: case folding is the caller's
// job (it needs the full Unicode mapping, which the binding layer has).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "wayloom/core/concepts.hpp"
#include "wayloom/core/heuristic_table.hpp"
#include "wayloom/core/node.hpp"
#include "wayloom/store/node_table.hpp"

namespace wayloom {

namespace detail {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
inline bool is_valid_utf8(const unsigned char* s, std::size_t n) noexcept {
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len) return false;
    if (s[i + 1] < lo || s[i + 1] > hi) return false;
    for (std::size_t k = 2; k < len; ++k)
      if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
    i += len;
  }
  return true;
}

inline bool is_valid_utf8(std::string_view s) noexcept {
  return is_valid_utf8(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

// Hashes a word through its positional polynomial, sum of byte[i] * P^i, then
// mixes it: replacing one byte changes the polynomial by (new - old) * P^i, so
// the 25 candidates of each position are probed without rehashing the word.
struct PositionalHash {
  static constexpr std::uint64_t kP = 0x9E3779B97F4A7C15ULL;

  static std::uint64_t polynomial(std::string_view w) noexcept {
    std::uint64_t h = 0, p = 1;
    for (const char c : w) {
      h += std::uint64_t(static_cast<unsigned char>(c)) * p;
      p *= kP;
    }
    return h;
  }
  std::uint64_t operator()(std::string_view w) const noexcept { return mix64(polynomial(w)); }
};

// The dictionary: only probed, never iterated, so its layout cannot reach a
// result.
using WordSet = NodeTable<std::string, PositionalHash>;

}  // namespace detail

class WordLadder {
 public:
  using node_type = std::string;

  WordLadder() = default;

  // Words must already be in their final (lowercased) form.
  explicit WordLadder(std::vector<std::string> words) {
    if (words.size() >= 0x7FFFFFFFu) throw std::bad_alloc();
    words_.reserve(words.size());
    for (std::string& w : words) words_.insert(std::move(w));
  }

  // Adds a word unchanged; a word already present is kept once.
  void insert(std::string word) {
    if (words_.size() >= 0x7FFFFFFFu) throw std::bad_alloc();
    words_.insert(std::move(word));
  }

  bool contains(std::string_view word) const {
    return words_.find_hashed(word, detail::PositionalHash{}(word)) != kNoNode;
  }
  std::size_t size() const noexcept { return words_.size(); }

  // Byte position by byte position, leftmost first; within a position the new
  // letter in alphabetical order. Each step costs 1.
  void neighbors_into(const std::string& word, Neighbors<std::string>& out) const {
    const std::size_t n = word.size();
    if (n == 0 || words_.size() == 0) return;
    // One scratch buffer per call; it lives on the stack for any realistic word.
    constexpr std::size_t kStack = 64;
    char stack[kStack];
    std::string heap;
    char* buf = stack;
    if (n > kStack) {
      heap = word;
      buf = heap.data();
    } else {
      word.copy(stack, n);
    }
    const std::string_view candidate(buf, n);
    const bool word_valid = detail::is_valid_utf8(word);
    const std::uint64_t h = detail::PositionalHash::polynomial(word);
    std::uint64_t power = 1;  // P^i
    for (std::size_t i = 0; i < n; ++i, power *= detail::PositionalHash::kP) {
      const char b = buf[i];
      // Every substitute is ASCII, so whether the candidate is well formed does
      // not depend on the letter: in a well-formed word it is exactly when the
      // replaced byte is ASCII (one inside a multi-byte character breaks it).
      buf[i] = 'a';
      const bool valid =
          word_valid ? static_cast<unsigned char>(b) < 0x80 : detail::is_valid_utf8(candidate);
      if (valid) {
        const std::uint64_t base = h - std::uint64_t(static_cast<unsigned char>(b)) * power;
        for (char c = 'a'; c <= 'z'; ++c) {
          if (c == b) continue;
          buf[i] = c;
          if (words_.find_hashed(candidate, detail::mix64(base + std::uint64_t(c) * power)) !=
              kNoNode)
            out.emplace_back(std::string(candidate), 1.0);
        }
      }
      buf[i] = b;
    }
  }

  Neighbors<std::string> neighbors(const std::string& word) const {
    Neighbors<std::string> out;
    neighbors_into(word, out);
    return out;
  }

 private:
  detail::WordSet words_;
};

// Byte positions, up to the shorter length, where the two words differ: each
// step changes one letter.
struct LadderHamming {
  static constexpr bool pure = true;
  double estimate(const std::string& word, const std::string& goal) const noexcept {
    const std::size_t n = word.size() < goal.size() ? word.size() : goal.size();
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i) count += (word[i] != goal[i]);
    return double(count);
  }
};

// The built-in heuristics of word ladders, by name.
inline constexpr auto ladder_heuristics() {
  return HeuristicTable("hamming", "unknown wordladder heuristic: '",
                        "'. Use hamming, zero, or a callable", Named<Zero>{"zero", {}},
                        Named<LadderHamming>{"hamming", {}});
}

}  // namespace wayloom
