// The per-call memory budget: limits parsed, the default taken from mocked
// cgroup and meminfo files, and charges that cross the limit refused.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "wayloom/catalogue.hpp"
#include "wayloom/core/memory_budget.hpp"
#include "wayloom/domains/hanoi.hpp"

namespace wayloom {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << text;
}

TEST(Budget, ParsesSizes) {
  EXPECT_EQ(parse_byte_size("65536"), 65536u);
  EXPECT_EQ(parse_byte_size("300M"), 300u << 20);
  EXPECT_EQ(parse_byte_size("2g"), std::size_t(2) << 30);
  EXPECT_EQ(parse_byte_size("1k"), 1024u);
  for (const char* bad : {"", "M", "1.5G", "12MB", " 1", "-1", "99999999999999999999"})
    EXPECT_FALSE(parse_byte_size(bad)) << bad;
}

TEST(Budget, DefaultComesFromTheTightestOfCgroupAndMeminfo) {
  // A fresh directory per run, so runs side by side do not share files.
  const fs::path root =
      fs::temp_directory_path() /
      ("wayloom-budget-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  MemorySources src{(root / "self_cgroup").string(), (root / "cg").string(),
                    (root / "meminfo").string(), false};
  write(root / "meminfo", "MemTotal: 8000000 kB\nMemAvailable:    4194304 kB\n");
  write(root / "self_cgroup", "0::/job\n");
  EXPECT_EQ(available_memory(src), std::size_t(4) << 30);  // no memory.max: MemAvailable
  write(root / "cg/job/memory.max", "max\n");
  write(root / "cg/job/memory.current", "100\n");
  EXPECT_EQ(available_memory(src), std::size_t(4) << 30);  // "max": no limit
  write(root / "cg/job/memory.max", "1073741824\n");
  write(root / "cg/job/memory.current", "268435456\n");
  EXPECT_EQ(available_memory(src), std::size_t(768) << 20);  // max - current
  write(root / "cg/memory.max", "536870912\n");              // a tighter parent
  write(root / "cg/memory.current", "0\n");
  EXPECT_EQ(available_memory(src), std::size_t(512) << 20);
  EXPECT_EQ(default_limit(std::size_t(1) << 30), (std::size_t(1) << 30) - (std::size_t(128) << 20));
  EXPECT_EQ(default_limit(std::size_t(16) << 20), 0u);  // less than the margin
  fs::remove_all(root);
}

TEST(Budget, ChargesStopAtTheLimitAndNameWhatWasHeld) {
  MemoryBudget b(1000, "test");
  b.charge(600, Use::Frontier);
  try {
    b.charge(500, Use::Record);
    FAIL();
  } catch (const MemoryLimitError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("held 600 B (frontier 600 B) and needed 500 B more for trace and tree"),
              std::string::npos)
        << text;
  }
  EXPECT_EQ(b.held(), 600u);  // the refused charge counts nothing
  EXPECT_THROW(b.require(401, Use::Graph, "x"), std::bad_alloc);
  b.require(400, Use::Graph, "x");
  EXPECT_EQ(b.held(Use::Graph), 400u);
}

TEST(Budget, EveryStrategyStopsUnderASmallBudget) {
  const Hanoi hanoi = Hanoi::with_pegs(12, 3);
  for (const char* algorithm : {"bfs", "astar", "iddfs", "ida_star", "beam", "bidirectional"}) {
    MemoryBudget b(1 << 20, "test");
    RunOptions o;
    o.budget = &b;
    EXPECT_THROW(run_algo(hanoi, Zero{}, hanoi.start(), hanoi.goal(), algorithm, o),
                 MemoryLimitError)
        << algorithm;
    EXPECT_LE(b.held(), std::size_t(1) << 20);
  }
}

// What the system says, on each system this is built for: a page size that
// is a power of two, free memory and a resident size where the system tells
// them, and environment changes seen at once.
TEST(Platform, AnswersFromTheSystem) {
  const std::size_t page = platform::page_size();
  EXPECT_TRUE(page >= 4096 && (page & (page - 1)) == 0) << page;
#if defined(__linux__) || defined(_WIN32) || defined(__APPLE__)
  const auto free = available_memory();
  ASSERT_TRUE(free);
  EXPECT_GT(*free, std::size_t(1) << 20);
  const auto resident = platform::resident_bytes();
  ASSERT_TRUE(resident);
  EXPECT_GT(*resident, std::size_t(0));
#endif
  const char* name = "WAYLOOM_PLATFORM_TEST";
#ifdef _WIN32
  _putenv_s(name, "300M");
#else
  setenv(name, "300M", 1);
#endif
  EXPECT_EQ(platform::environment(name), "300M");
#ifdef _WIN32
  _putenv_s(name, "");  // an empty value removes the variable there
#else
  unsetenv(name);
#endif
  EXPECT_EQ(platform::environment(name), std::nullopt);
  std::vector<char> block(1 << 22);
  platform::advise_huge(block.data(), block.size());  // only a hint: nothing to see but no fault
}

}  // namespace
}  // namespace wayloom
