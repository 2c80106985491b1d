#include "platform/LargeBlocks.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace vo {

namespace {
constexpr std::size_t Unit = LargeBlockMin; // 2 MB: one huge page

std::size_t Mapped(std::size_t Bytes) noexcept { return (Bytes + Unit - 1) & ~(Unit - 1); }
} // namespace

void* AllocateLargeBlock(std::size_t Bytes) {
    const std::size_t size = Mapped(Bytes);
    if (size < Bytes) throw std::bad_alloc();
    // One unit more than needed, so that a 2 MB boundary lies within; the
    // rest on both sides goes back at once.
    void* raw = mmap(nullptr, size + Unit, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + Unit - 1) & ~(std::uintptr_t{Unit} - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const std::uintptr_t end = start + size + Unit;
    if (end > aligned + size) munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    auto* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(block, size, MADV_HUGEPAGE); // a hint: without huge pages the block works the same
#endif
    return block;
}

void FreeLargeBlock(void* Block, std::size_t Bytes) noexcept {
    if (Block) munmap(Block, Mapped(Bytes));
}

} // namespace vo
