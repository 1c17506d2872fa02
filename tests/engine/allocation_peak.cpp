#include "allocation_peak.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::int64_t> g_live{0};
std::atomic<std::int64_t> g_peak{0};
std::atomic<bool> g_measuring{false};

void* Counted(void* block) {
    if (!block) throw std::bad_alloc();
    const std::int64_t live = g_live += static_cast<std::int64_t>(::malloc_usable_size(block));
    if (g_measuring.load(std::memory_order_relaxed)) {
        std::int64_t peak = g_peak.load(std::memory_order_relaxed);
        while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
        }
    }
    return block;
}

void Uncounted(void* block) {
    if (!block) return;
    g_live -= static_cast<std::int64_t>(::malloc_usable_size(block));
    std::free(block);
}

}  // namespace

namespace quarvel::test {

std::int64_t PeakAllocated(const std::function<void()>& work) {
    const std::int64_t before = g_live.load();
    g_peak = before;
    g_measuring = true;
    work();
    g_measuring = false;
    return g_peak.load() - before;
}

}  // namespace quarvel::test

void* operator new(std::size_t size) { return Counted(std::malloc(size ? size : 1)); }
void* operator new[](std::size_t size) { return Counted(std::malloc(size ? size : 1)); }
void* operator new(std::size_t size, std::align_val_t align) {
    const auto alignment = static_cast<std::size_t>(align);
    return Counted(std::aligned_alloc(alignment, (size + alignment - 1) & ~(alignment - 1)));
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return operator new(size, std::nothrow); }
void operator delete(void* block) noexcept { Uncounted(block); }
void operator delete[](void* block) noexcept { Uncounted(block); }
void operator delete(void* block, std::size_t) noexcept { Uncounted(block); }
void operator delete[](void* block, std::size_t) noexcept { Uncounted(block); }
void operator delete(void* block, std::align_val_t) noexcept { Uncounted(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Uncounted(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { Uncounted(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { Uncounted(block); }
