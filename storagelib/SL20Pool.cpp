#include "storagelib/SL20Pool.h"

#include <atomic>
#include <mutex>

namespace vo {

thread_local TSLSmallPool::TLists TSLSmallPool::FLists{};

namespace {
constexpr std::size_t ChunkSize = 64 * 1024;

// The blocks of ended threads, by class; never freed.
struct TDepot {
    std::mutex Lock;
    void* Class[TSLSmallPool::MaxSize / 8] = {};
    std::atomic<bool> Filled{false};
};
TDepot& Depot() {
    static TDepot* d = new TDepot; // lives to the very end (blocks may be freed at exit)
    return *d;
}
} // namespace

namespace {
// Hands the thread's free blocks to the depot when the thread ends.
struct TPoolDrain {
    void (*Drain)() = nullptr;
    ~TPoolDrain() {
        if (Drain) Drain();
    }
};
} // namespace

void TSLSmallPool::Register() noexcept {
    static thread_local TPoolDrain drain;
    FLists.State = stActive;
    drain.Drain = [] {
        TLists& t = FLists;
        TDepot& d = Depot();
        std::lock_guard lock(d.Lock);
        for (std::size_t c = 0; c < Classes; ++c) {
            while (TNode* n = t.Class[c]) {
                t.Class[c] = n->Next;
                n->Next = static_cast<TNode*>(d.Class[c]);
                d.Class[c] = n;
            }
        }
        d.Filled.store(true, std::memory_order_release);
        t.State = stEnded;
    };
}

void* TSLSmallPool::Refill(std::size_t C) {
    TLists& l = FLists;
    if (l.State == stUnused) Register();
    if (l.State == stActive) {
        TDepot& d = Depot();
        if (d.Filled.load(std::memory_order_acquire)) {
            std::lock_guard lock(d.Lock);
            if (auto* n = static_cast<TNode*>(d.Class[C])) {
                // Takes the whole list of the class.
                d.Class[C] = nullptr;
                l.Class[C] = n->Next;
                return n;
            }
        }
    }
    const std::size_t size = (C + 1) * Granule;
    if (static_cast<std::size_t>(l.ChunkEnd - l.ChunkNext) < size) {
        // The rest of the old chunk (less than a block) stays unused.
        l.ChunkNext = static_cast<char*>(::operator new(ChunkSize));
        l.ChunkEnd = l.ChunkNext + ChunkSize;
    }
    void* p = l.ChunkNext;
    l.ChunkNext += size;
    return p;
}

void TSLSmallPool::FreeOutside(void* P, std::size_t C) noexcept {
    auto* n = static_cast<TNode*>(P);
    if (FLists.State == stUnused) {
        // The first block this thread frees starts its own lists.
        Register();
        n->Next = FLists.Class[C];
        FLists.Class[C] = n;
        return;
    }
    // The thread has ended: the block goes to the depot.
    TDepot& d = Depot();
    std::lock_guard lock(d.Lock);
    n->Next = static_cast<TNode*>(d.Class[C]);
    d.Class[C] = n;
    d.Filled.store(true, std::memory_order_release);
}

} // namespace vo
