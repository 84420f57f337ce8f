// Memory the machine can give: an explicit limit, MemAvailable and the cgroup's limit.
#include "image/memory_budget.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace MemoryBudget {
namespace {

constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();

// The first number of a file such as memory.max ("max" and unreadable files give kUnknown).
std::uint64_t ReadNumber(const char* path) {
  std::ifstream in(path);
  std::string word;
  if (!(in >> word) || word.empty() || word.find_first_not_of("0123456789") != std::string::npos) {
    return kUnknown;
  }
  return std::strtoull(word.c_str(), nullptr, 10);
}

// MemAvailable of /proc/meminfo in bytes.
std::uint64_t MemAvailable() {
  std::ifstream in("/proc/meminfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    std::uint64_t kib = 0;
    if (fields >> kib) return kib * 1024;
  }
  return kUnknown;
}

// What the cgroup still allows: its limit less what it uses already.
std::uint64_t CgroupRemaining() {
  const struct {
    const char* limit;
    const char* usage;
  } files[] = {{"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory.current"},
               {"/sys/fs/cgroup/memory/memory.limit_in_bytes",
                "/sys/fs/cgroup/memory/memory.usage_in_bytes"}};
  for (const auto& f : files) {
    const std::uint64_t limit = ReadNumber(f.limit);
    if (limit == kUnknown) continue;
    const std::uint64_t usage = ReadNumber(f.usage);
    if (usage == kUnknown) return limit;
    return usage < limit ? limit - usage : 0;
  }
  return kUnknown;
}

}  // namespace

std::uint64_t AvailableBytes() {
  if (const char* text = std::getenv("KARTOVEL_MEMORY_LIMIT"); text && *text) {
    char* end = nullptr;
    const unsigned long long limit = std::strtoull(text, &end, 10);
    if (end && *end == '\0') return limit;
  }
  return std::min(MemAvailable(), CgroupRemaining());
}

bool Allows(std::uint64_t bytes) { return bytes <= AvailableBytes(); }

std::string NotEnoughMessage(std::int64_t width, std::int64_t height, std::uint64_t bytes) {
  char text[160];
  std::snprintf(text, sizeof text,
                "Not enough memory for an image of %lld \u00d7 %lld pixels (needs %.1f GiB)",
                static_cast<long long>(width), static_cast<long long>(height),
                static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0));
  return text;
}

}  // namespace MemoryBudget
