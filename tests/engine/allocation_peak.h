#pragma once
// The memory a piece of work takes at its peak: every allocation of the engine's test
// program is counted (operator new and delete are replaced for it), and the counting of
// the peak is on while PeakAllocated runs its work.

#include <cstdint>
#include <functional>

namespace quarvel::test {

// Bytes allocated at the peak of `work` beyond what was allocated before it.
std::int64_t PeakAllocated(const std::function<void()>& work);

}  // namespace quarvel::test
