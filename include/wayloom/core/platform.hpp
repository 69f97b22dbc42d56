// Everything the engine asks of the operating system, in one place: how much
// memory the process can still obtain, the page size, the huge-page hint,
// the resident size and environment variables. One implementation each for
// Linux, Windows and macOS, and a plain fallback elsewhere that knows no limit
// (then only WAYLOOM_MEMORY_LIMIT bounds a call). No other engine or binding
// file includes a system header beyond the standard library's and Python's.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>
#elif defined(__APPLE__)
#include <mach/mach.h>
#include <sys/types.h>
// After sys/types.h, which it needs.
#include <sys/sysctl.h>
#include <unistd.h>
#elif defined(__linux__)
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace wayloom {

namespace detail {

// a * b and a + b, saturating at SIZE_MAX (which no budget admits).
inline std::size_t sat_mul(std::size_t a, std::size_t b) noexcept {
  if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a)
    return std::numeric_limits<std::size_t>::max();
  return a * b;
}
inline std::size_t sat_add(std::size_t a, std::size_t b) noexcept {
  return b > std::numeric_limits<std::size_t>::max() - a ? std::numeric_limits<std::size_t>::max()
                                                         : a + b;
}

// A 64-bit count as a size, saturating where size_t is narrower.
inline std::size_t to_size(std::uint64_t v) noexcept {
  return v > std::numeric_limits<std::size_t>::max() ? std::numeric_limits<std::size_t>::max()
                                                     : std::size_t(v);
}

// First number in a file (after `key` when given), or nothing. "max" reads as
// nothing: no limit.
inline std::optional<std::size_t> read_number(const std::string& path, std::string_view key = {},
                                              int skip = 0) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string word;
  if (!key.empty()) {
    while (in >> word && word != key) {
    }
    if (!in) return std::nullopt;
  }
  for (; skip > 0; --skip)
    if (!(in >> word)) return std::nullopt;
  if (!(in >> word) || word.empty() || word[0] < '0' || word[0] > '9') return std::nullopt;
  try {
    return to_size(std::stoull(word));
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace detail

// Where Linux says how much memory is left (cgroup v1/v2 and /proc files);
// tests point it at files of their own. Read with plain file I/O, so the
// parsing is the same, and tested, on every system.
struct MemorySources {
  std::string proc_self_cgroup = "/proc/self/cgroup";
  std::string cgroup_root = "/sys/fs/cgroup";
  std::string meminfo = "/proc/meminfo";
  bool address_space_limit = true;  // also respect RLIMIT_AS (where the system has it)
};

namespace platform {

// Zeroed memory for a working array that is written in full at once. Large
// blocks are mapped on Linux with their pages populated in one call: taking
// them one fault at a time costs a sweep of a large map about a seventh of its
// time. Null when refused; hand back with release_populated(p, bytes).
inline constexpr std::size_t kPopulateFrom = std::size_t(1) << 18;
inline void* populated(std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MAP_POPULATE)
  if (bytes >= kPopulateFrom) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
  }
#endif
  return std::calloc(bytes ? bytes : 1, 1);
}
inline void release_populated(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MAP_POPULATE)
  if (bytes >= kPopulateFrom) {
    if (p) ::munmap(p, bytes);
    return;
  }
#endif
  (void)bytes;
  std::free(p);
}

// Bytes of one page of virtual memory.
inline std::size_t page_size() noexcept {
#if defined(_WIN32)
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwPageSize;
#elif defined(__APPLE__) || defined(__linux__)
  const long page = ::sysconf(_SC_PAGESIZE);
  return page > 0 ? std::size_t(page) : 4096;
#else
  return 4096;
#endif
}

// Resident bytes of this process, when the system tells them.
inline std::optional<std::size_t> resident_bytes() {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  // Kernel32's own name for it (Windows 7 on): no psapi import library needed.
  if (::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
    return std::size_t(counters.WorkingSetSize);
  return std::nullopt;
#elif defined(__APPLE__)
  mach_task_basic_info_data_t info{};
  mach_msg_type_number_t count = MACH_TASK_BASIC_INFO_COUNT;
  if (::task_info(::mach_task_self(), MACH_TASK_BASIC_INFO, reinterpret_cast<task_info_t>(&info),
                  &count) == KERN_SUCCESS)
    return detail::to_size(info.resident_size);
  return std::nullopt;
#elif defined(__linux__)
  if (const auto pages = detail::read_number("/proc/self/statm", {}, 1))
    return detail::sat_mul(*pages, page_size());
  return std::nullopt;
#else
  return std::nullopt;
#endif
}

// Bytes the address-space limit (RLIMIT_AS) still allows, where the system
// enforces one. macOS accepts the limit but does not apply it to the heap, and
// its processes map far more than they use, so it is not consulted there.
inline std::optional<std::size_t> address_space_headroom() {
#if defined(__linux__)
  rlimit as{};
  if (::getrlimit(RLIMIT_AS, &as) != 0 || as.rlim_cur == RLIM_INFINITY) return std::nullopt;
  const auto pages = detail::read_number("/proc/self/statm");  // mapped, not resident
  const std::size_t used = pages ? detail::sat_mul(*pages, page_size()) : 0;
  const std::size_t limit = detail::to_size(as.rlim_cur);
  return limit > used ? limit - used : 0;
#else
  return std::nullopt;
#endif
}

}  // namespace platform

// Bytes the files in `src` say this process can still obtain: the tightest of
// its cgroup's (memory.max - memory.current, v2; limit_in_bytes -
// usage_in_bytes, v1) and MemAvailable, and of the address-space limit when
// asked; nothing when none is known.
inline std::optional<std::size_t> available_memory(const MemorySources& src) {
  std::optional<std::size_t> best;
  auto take = [&](std::optional<std::size_t> v) {
    if (v && (!best || *v < *best)) best = v;
  };
  auto headroom = [](std::optional<std::size_t> limit, std::optional<std::size_t> used) {
    return limit && used ? std::optional(*limit > *used ? *limit - *used : 0) : std::nullopt;
  };
  std::ifstream groups(src.proc_self_cgroup);
  for (std::string line; std::getline(groups, line);) {
    const auto colon = line.find(':'), colon2 = line.find(':', colon + 1);
    if (colon == std::string::npos || colon2 == std::string::npos) continue;
    const std::string controllers = line.substr(colon + 1, colon2 - colon - 1);
    std::string path = line.substr(colon2 + 1);
    // Every level up to the root may hold a limit; the tightest counts.
    while (true) {
      const std::string dir = path == "/" ? "" : path;
      if (controllers.empty())
        take(headroom(detail::read_number(src.cgroup_root + dir + "/memory.max"),
                      detail::read_number(src.cgroup_root + dir + "/memory.current")));
      else if (controllers == "memory")
        take(headroom(
            detail::read_number(src.cgroup_root + "/memory" + dir + "/memory.limit_in_bytes"),
            detail::read_number(src.cgroup_root + "/memory" + dir + "/memory.usage_in_bytes")));
      if (path.empty() || path == "/") break;
      path.resize(std::max<std::size_t>(path.rfind('/'), 1));
    }
  }
  if (const auto kb = detail::read_number(src.meminfo, "MemAvailable:"))
    take(detail::sat_mul(*kb, 1024));
  if (src.address_space_limit) take(platform::address_space_headroom());
  return best;
}

namespace platform {

// Bytes this process can still obtain, as the system tells them; nothing
// when it tells nothing.
//   Linux    the cgroup's headroom, MemAvailable and RLIMIT_AS (files above)
//   Windows  the available physical memory, commit charge and address space,
//            and the job object's process and job memory limits where set
//   macOS    free, inactive and speculative pages (host_statistics64), at most
//            the installed memory (sysctl hw.memsize)
inline std::optional<std::size_t> obtainable_memory() {
#if defined(_WIN32)
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!::GlobalMemoryStatusEx(&status)) return std::nullopt;
  std::uint64_t best =
      std::min({std::uint64_t(status.ullAvailPhys), std::uint64_t(status.ullAvailPageFile),
                std::uint64_t(status.ullAvailVirtual)});
  // A job object (a container, a CI runner, a sandbox) may cap the process's
  // or the whole job's committed memory; what this process has committed is
  // the part of it already taken (for a job, a lower bound of it).
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
  if (::QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job,
                                  nullptr)) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    const std::uint64_t committed =
        ::K32GetProcessMemoryInfo(::GetCurrentProcess(),
                                  reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                  sizeof counters)
            ? counters.PrivateUsage
            : 0;
    const DWORD flags = job.BasicLimitInformation.LimitFlags;
    auto cap = [&](std::uint64_t limit) {
      best = std::min(best, limit > committed ? limit - committed : 0);
    };
    if (flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) cap(job.ProcessMemoryLimit);
    if (flags & JOB_OBJECT_LIMIT_JOB_MEMORY) cap(job.JobMemoryLimit);
  }
  return detail::to_size(best);
#elif defined(__APPLE__)
  std::optional<std::size_t> best;
  const mach_port_t host = ::mach_host_self();
  vm_size_t page = 0;
  vm_statistics64_data_t vm{};
  mach_msg_type_number_t count = HOST_VM_INFO64_COUNT;
  if (::host_page_size(host, &page) == KERN_SUCCESS &&
      ::host_statistics64(host, HOST_VM_INFO64, reinterpret_cast<host_info64_t>(&vm), &count) ==
          KERN_SUCCESS) {
    const std::uint64_t pages =
        std::uint64_t(vm.free_count) + vm.inactive_count + vm.speculative_count;
    best = detail::sat_mul(detail::to_size(pages), std::size_t(page));
  }
  ::mach_port_deallocate(::mach_task_self(), host);
  std::uint64_t installed = 0;
  std::size_t size = sizeof installed;
  if (::sysctlbyname("hw.memsize", &installed, &size, nullptr, 0) == 0 && installed > 0)
    best = std::min(best.value_or(std::numeric_limits<std::size_t>::max()),
                    detail::to_size(installed));
  return best;
#elif defined(__linux__)
  return available_memory(MemorySources{});
#else
  return std::nullopt;
#endif
}

// Asks the kernel to back a large block the caller is about to fill with huge
// pages: first touch then faults once per 2 MiB instead of once per 4 KiB,
// which on millions of nodes or arcs is a good part of the work. Only a hint,
// and Linux's alone: Windows gives large pages only to privileged processes
// and macOS has no such advice, so elsewhere nothing changes.
inline void advise_huge(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t(1) << 21;
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t begin = (at + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t end = (at + bytes) & ~(kHuge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

// The environment variable `name` as the process holds it now, or nothing
// when unset. On Windows the process's own block is read (as UTF-8): the C
// runtime keeps a copy of its own, and a module built against another runtime
// than the interpreter's would not see what the program set since it started.
inline std::optional<std::string> environment(const char* name) {
#if defined(_WIN32)
  std::wstring wide_name;
  for (const char* c = name; *c; ++c) wide_name.push_back(wchar_t(static_cast<unsigned char>(*c)));
  std::wstring value(64, L'\0');
  while (true) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), DWORD(value.size()));
    if (n == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < value.size()) {
      value.resize(n);
      break;
    }
    value.resize(n);  // too small: n is the size needed, terminator included
  }
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, value.data(), int(value.size()), nullptr, 0,
                                          nullptr, nullptr);
  std::string out(std::size_t(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, value.data(), int(value.size()), out.data(), bytes, nullptr,
                          nullptr);
  return out;
#else
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
#endif
}

}  // namespace platform

}  // namespace wayloom
