// How much memory the machine can give this process, checked before anything large is allocated.
#ifndef KARTOVEL_IMAGE_MEMORY_BUDGET_H_
#define KARTOVEL_IMAGE_MEMORY_BUDGET_H_

#include <cstdint>
#include <string>

namespace MemoryBudget {

// Bytes that may still be allocated: the environment variable KARTOVEL_MEMORY_LIMIT (a byte
// count) when it is set, otherwise the smaller of the kernel's MemAvailable and what the
// process's cgroup (v2 memory.max less memory.current, or v1 limit less usage) still allows.
// UINT64_MAX when none of these can be read.
std::uint64_t AvailableBytes();

// True when `bytes` more fit into AvailableBytes().
bool Allows(std::uint64_t bytes);

// "Not enough memory for an image of W × H pixels (needs N GiB)", the one wording for a picture
// refused for its size; N with one decimal.
std::string NotEnoughMessage(std::int64_t width, std::int64_t height, std::uint64_t bytes);

}  // namespace MemoryBudget

#endif  // KARTOVEL_IMAGE_MEMORY_BUDGET_H_
