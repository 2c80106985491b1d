#include "storagelib/SL20Pool.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace vo {

thread_local TSLSmallPool::TLists TSLSmallPool::FLists{};

namespace {
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

// Hands the thread's free blocks to the depot when the thread ends.
struct TPoolDrain {
    void (*Drain)() = nullptr;
    ~TPoolDrain() {
        if (Drain) Drain();
    }
};
} // namespace

// The thread that cuts an arena chunk counts the frees of its blocks. Frees
// on other threads are handed to it through this record until it ends; after
// that they are counted here, under the lock. The record is never freed, so a
// chunk's owner address is never taken by another thread's record.
struct TSLSmallPool::TArenaOwner {
    std::mutex Lock;
    std::vector<TChunk*> Foreign; // one entry per block freed elsewhere
    std::atomic<bool> HasForeign{false};
    bool Ended = false;
};

TSLSmallPool::TChunk* TSLSmallPool::TakeChunk() {
    TLists& l = FLists;
    if (TChunk* c = l.Empty) {
        l.Empty = c->Next;
        --l.EmptyCount;
        if (l.EmptyUnusedCount > l.EmptyCount) l.EmptyUnusedCount = l.EmptyCount;
        return c;
    }
    constexpr std::size_t slabSize = SlabChunks * ChunkSize;
    char* slab = static_cast<char*>(std::aligned_alloc(ChunkSize, slabSize));
    if (!slab) throw std::bad_alloc();
    l.ArenaChunks += SlabChunks;
    // The other chunks of the slab wait in the empty list (the newest end).
    for (std::size_t i = SlabChunks - 1; i > 0; --i) {
        auto* c = reinterpret_cast<TChunk*>(slab + i * ChunkSize);
        c->SlabIndex = static_cast<uint16_t>(i);
        c->Next = l.Empty;
        l.Empty = c;
        ++l.EmptyCount;
    }
    auto* c = reinterpret_cast<TChunk*>(slab);
    c->SlabIndex = 0;
    return c;
}

void TSLSmallPool::Register() noexcept {
    static thread_local TPoolDrain drain;
    FLists.State = stActive;
    drain.Drain = &ThreadEnds;
}

void TSLSmallPool::ThreadEnds() noexcept {
    TLists& t = FLists;
    {
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
    }
    if (TArenaOwner* o = t.Owner) {
        std::lock_guard lock(o->Lock);
        for (TChunk* c : o->Foreign)
            if (--c->Live == 0 && c->Retired) ChunkEmptied(c);
        o->Foreign.clear();
        if (TChunk* c = t.Arena) {
            c->Retired = true;
            if (c->Live == 0) ChunkEmptied(c);
        }
        t.Arena = nullptr;
        t.ArenaNext = t.ArenaEnd = nullptr;
        // From now on the frees of its arena blocks are counted under the
        // owner's lock; chunks still in use stay with the program.
        o->Ended = true;
        t.Owner = nullptr;
    }
    // Slabs wholly empty go back to the system; the rest stays with the program.
    t.EmptyUnusedCount = t.EmptyCount;
    Trim();
    t.State = stEnded;
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
        TChunk* c = TakeChunk();
        c->Kind = ckList;
        l.ChunkNext = reinterpret_cast<char*>(c) + HeaderSize;
        l.ChunkEnd = l.ChunkNext + (ChunkSize - HeaderSize);
    }
    void* p = l.ChunkNext;
    l.ChunkNext += size;
    return p;
}

void* TSLSmallPool::ArenaRefill(std::size_t Size) {
    TLists& l = FLists;
    if (l.State == stUnused) Register();
    if (l.State != stActive) {
        // The thread is ending: no new arena chunks.
        const int32_t depth = l.ArenaDepth;
        l.ArenaDepth = 0;
        void* p = Allocate(Size);
        l.ArenaDepth = depth;
        return p;
    }
    if (!l.Owner) l.Owner = new TArenaOwner;
    TakeForeignFrees();
    if (TChunk* old = l.Arena) {
        old->Retired = true;
        if (old->Live == 0) ChunkEmptied(old);
        l.Arena = nullptr;
    }
    TChunk* c = TakeChunk();
    c->Kind = ckArena;
    c->Retired = false;
    c->Live = 1;
    c->Owner = l.Owner;
    c->Next = nullptr;
    l.Arena = c;
    char* p = reinterpret_cast<char*>(c) + HeaderSize;
    l.ArenaNext = p + Size;
    l.ArenaEnd = reinterpret_cast<char*>(c) + ChunkSize;
    return p;
}

void TSLSmallPool::ChunkEmptied(TChunk* Chunk) noexcept {
    TLists& l = FLists;
    if (!Chunk->Retired) {
        l.ArenaNext = reinterpret_cast<char*>(Chunk) + HeaderSize;
        return;
    }
    Chunk->Next = l.Empty;
    l.Empty = Chunk;
    ++l.EmptyCount;
}

void TSLSmallPool::FreeArenaOutside(TChunk* Chunk) noexcept {
    TArenaOwner* o = Chunk->Owner;
    std::lock_guard lock(o->Lock);
    if (!o->Ended) {
        try {
            o->Foreign.push_back(Chunk);
        } catch (...) {
            return; // out of memory: the chunk stays with the program
        }
        o->HasForeign.store(true, std::memory_order_release);
        return;
    }
    --Chunk->Live; // an empty chunk of an ended thread stays with the program
}

void TSLSmallPool::TakeForeignFrees() noexcept {
    TArenaOwner* o = FLists.Owner;
    if (!o || !o->HasForeign.load(std::memory_order_acquire)) return;
    std::vector<TChunk*> freed;
    {
        std::lock_guard lock(o->Lock);
        freed.swap(o->Foreign);
        o->HasForeign.store(false, std::memory_order_relaxed);
    }
    for (TChunk* c : freed)
        if (--c->Live == 0) ChunkEmptied(c);
}

void TSLSmallPool::Trim() noexcept {
    TrimLargeBlocks();
    TLists& l = FLists;
    TakeForeignFrees();
    if (l.EmptyUnusedCount == 0) {
        l.EmptyUnusedCount = l.EmptyCount;
        return;
    }
    auto slabOf = [](TChunk* C) {
        return reinterpret_cast<TChunk*>(reinterpret_cast<char*>(C) - C->SlabIndex * ChunkSize);
    };
    // The unused chunks lie at the end of the list; a slab goes when all of
    // its chunks are among them.
    const std::size_t keep = l.EmptyCount - l.EmptyUnusedCount;
    TChunk** link = &l.Empty;
    for (std::size_t i = 0; i < keep; ++i) link = &(*link)->Next;
    TChunk* const unused = *link;
    for (TChunk* c = unused; c; c = c->Next) slabOf(c)->TrimMark = 0;
    for (TChunk* c = unused; c; c = c->Next) ++slabOf(c)->TrimMark;
    TChunk* slabs = nullptr; // the first chunks of the slabs that go, chained
    std::size_t freed = 0;
    for (TChunk* c = unused; c;) {
        TChunk* next = c->Next;
        if (slabOf(c)->TrimMark == SlabChunks) {
            *link = next;
            --l.EmptyCount;
            if (c->SlabIndex == 0) {
                c->Next = slabs;
                slabs = c;
            }
        } else {
            link = &c->Next;
        }
        c = next;
    }
    while (slabs) {
        TChunk* next = slabs->Next;
        std::free(slabs);
        ++freed;
        slabs = next;
    }
    l.ArenaChunks -= freed * SlabChunks;
    l.EmptyUnusedCount = l.EmptyCount;
}

std::size_t TSLSmallPool::CachedArenaChunks() noexcept { return FLists.EmptyCount; }
std::size_t TSLSmallPool::ChunksInUse() noexcept { return FLists.ArenaChunks - FLists.EmptyCount; }

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
