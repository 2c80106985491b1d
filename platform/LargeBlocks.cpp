#include "platform/LargeBlocks.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace vo {

namespace {
constexpr std::size_t Unit = LargeBlockMin; // 2 MB: one huge page
constexpr std::size_t KeptMax = std::size_t{64} << 20;

std::size_t Mapped(std::size_t Bytes) noexcept { return (Bytes + Unit - 1) & ~(Unit - 1); }

struct TKept {
    void* Block;
    std::size_t Size; // mapped
    bool Old; // kept already at the previous trim
};
struct TKeptBlocks {
    std::mutex Lock;
    std::vector<TKept> Blocks;
    std::size_t Bytes = 0;
};
TKeptBlocks& Kept() {
    static TKeptBlocks* k = new TKeptBlocks; // lives to the very end (blocks may be freed at exit)
    return *k;
}

void* MapBlock(std::size_t Size) {
    // One unit more than needed, so that a 2 MB boundary lies within; the
    // rest on both sides goes back at once.
    void* raw = mmap(nullptr, Size + Unit, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + Unit - 1) & ~(std::uintptr_t{Unit} - 1);
    if (aligned > start) munmap(raw, aligned - start);
    const std::uintptr_t end = start + Size + Unit;
    if (end > aligned + Size) munmap(reinterpret_cast<void*>(aligned + Size), end - (aligned + Size));
    auto* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(block, Size, MADV_HUGEPAGE); // a hint: without huge pages the block works the same
#endif
    return block;
}
} // namespace

void* AllocateLargeBlock(std::size_t Bytes) {
    const std::size_t size = Mapped(Bytes);
    if (size < Bytes) throw std::bad_alloc();
    {
        TKeptBlocks& k = Kept();
        std::lock_guard lock(k.Lock);
        for (std::size_t i = k.Blocks.size(); i-- > 0;)
            if (k.Blocks[i].Size == size) {
                void* block = k.Blocks[i].Block;
                k.Blocks.erase(k.Blocks.begin() + static_cast<std::ptrdiff_t>(i));
                k.Bytes -= size;
                return block;
            }
    }
    return MapBlock(size);
}

void FreeLargeBlock(void* Block, std::size_t Bytes) noexcept {
    if (!Block) return;
    const std::size_t size = Mapped(Bytes);
    try {
        TKeptBlocks& k = Kept();
        std::lock_guard lock(k.Lock);
        if (k.Bytes + size <= KeptMax) {
            k.Blocks.push_back({Block, size, false});
            k.Bytes += size;
            return;
        }
    } catch (...) {
        // No room to keep it: it goes back at once.
    }
    munmap(Block, size);
}

void TrimLargeBlocks() noexcept {
    TKeptBlocks& k = Kept();
    std::lock_guard lock(k.Lock);
    std::size_t keep = 0;
    for (TKept& b : k.Blocks) {
        if (b.Old) {
            k.Bytes -= b.Size;
            munmap(b.Block, b.Size);
        } else {
            b.Old = true;
            k.Blocks[keep++] = b;
        }
    }
    k.Blocks.resize(keep);
}

std::size_t KeptLargeBlockBytes() noexcept {
    TKeptBlocks& k = Kept();
    std::lock_guard lock(k.Lock);
    return k.Bytes;
}

} // namespace vo
