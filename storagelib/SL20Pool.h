#pragma once
// Small values (numbers, booleans, strings, names) and the element lists of
// small collections are made and freed by the million in scripts and in the
// reader. They come from per-thread pools of 64 KB chunks instead of the
// general allocator: taking and returning a block is a few instructions and
// touches no lock. A chunk starts with a header and lies on a 64 KB boundary,
// so the chunk of any block is found from its address.
//
// Two kinds of chunk:
// - List chunks serve free lists, one per 8-byte size class up to 256 bytes.
//   New blocks are cut one after the other; a freed block joins the list of
//   the thread that frees it. List chunks stay with the program: what a
//   thread has free when it ends goes to a common depot that the other
//   threads draw from before they cut new blocks.
// - Arena chunks serve the values of a read (see TSLSmallPool::TArenaScope):
//   blocks are cut one after the other and never reused one by one; the
//   chunk counts its live blocks and is empty again once the last one is
//   freed. A value read thus lies in reading order, which is also the order
//   in which it is freed, and freeing a block writes nothing into it. Empty
//   chunks are kept for the next read; TSLSmallPool::Trim returns the slabs
//   (16 chunks taken from the system at once) whose chunks all stayed empty
//   and unused since the previous trim.
//
// Blocks of megabytes (the tables of large dictionaries and arrays) are large
// blocks of their own (platform/LargeBlocks.h), mapped by a few faults.
//
// Under the address sanitizer the pools are left out, so that a use after
// free is still caught.
#include <cstddef>
#include <cstdint>
#include <new>

#include "platform/LargeBlocks.h"

namespace vo {

#if defined(__SANITIZE_ADDRESS__)
#define VO_SL_POOL_ENABLED 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VO_SL_POOL_ENABLED 0
#endif
#endif
#ifndef VO_SL_POOL_ENABLED
#define VO_SL_POOL_ENABLED 1
#endif

class TSLSmallPool {
public:
    static constexpr std::size_t MaxSize = 256;
    static constexpr std::size_t ChunkSize = 64 * 1024;

    static void* Allocate(std::size_t Bytes) {
#if VO_SL_POOL_ENABLED
        if (Bytes <= MaxSize) {
            TLists& l = FLists;
            if (l.ArenaDepth > 0) {
                const std::size_t size = (ClassOf(Bytes) + 1) * Granule;
                if (static_cast<std::size_t>(l.ArenaEnd - l.ArenaNext) >= size) [[likely]] {
                    void* p = l.ArenaNext;
                    l.ArenaNext += size;
                    ++l.Arena->Live;
                    return p;
                }
                return ArenaRefill(size);
            }
            TNode*& head = l.Class[ClassOf(Bytes)];
            if (TNode* n = head) {
                head = n->Next;
                // Blocks freed long ago are cold: the next one is fetched
                // while this one is filled.
                __builtin_prefetch(head, 1);
                return n;
            }
            return Refill(ClassOf(Bytes));
        }
        if (Bytes >= LargeBlockMin) return AllocateLargeBlock(Bytes);
#endif
        return ::operator new(Bytes);
    }

    static void Free(void* P, std::size_t Bytes) noexcept {
#if VO_SL_POOL_ENABLED
        if (Bytes <= MaxSize) {
            TChunk* chunk = ChunkOf(P);
            if (chunk->Kind == ckArena) {
                if (chunk->Owner == FLists.Owner) [[likely]] {
                    if (--chunk->Live == 0) ChunkEmptied(chunk);
                } else {
                    FreeArenaOutside(chunk);
                }
                return;
            }
            if (FLists.State != stActive) [[unlikely]] {
                FreeOutside(P, ClassOf(Bytes));
                return;
            }
            TNode*& head = FLists.Class[ClassOf(Bytes)];
            auto* n = static_cast<TNode*>(P);
            n->Next = head;
            head = n;
            return;
        }
        if (Bytes >= LargeBlockMin) {
            FreeLargeBlock(P, Bytes);
            return;
        }
#endif
        ::operator delete(P);
    }

    // While one exists on a thread, the small blocks it allocates come from
    // its arena chunks. Scopes nest.
    class TArenaScope {
    public:
        TArenaScope() noexcept { ++FLists.ArenaDepth; }
        ~TArenaScope() { --FLists.ArenaDepth; }
        TArenaScope(const TArenaScope&) = delete;
        TArenaScope& operator=(const TArenaScope&) = delete;
    };
    // Inside an arena scope: blocks of passing use (freed before the read
    // ends) come from the free lists again while one exists.
    class TArenaPause {
    public:
        TArenaPause() noexcept : FDepth(FLists.ArenaDepth) { FLists.ArenaDepth = 0; }
        ~TArenaPause() { FLists.ArenaDepth = FDepth; }
        TArenaPause(const TArenaPause&) = delete;
        TArenaPause& operator=(const TArenaPause&) = delete;

    private:
        int32_t FDepth;
    };

    // Returns to the system the thread's slabs whose chunks all stayed empty
    // and unused since its previous call (the auto-release purge calls it),
    // and the large blocks kept as long.
    static void Trim() noexcept;
    // The thread's empty chunks kept for reuse, and its chunks in use (both
    // for tests).
    static std::size_t CachedArenaChunks() noexcept;
    static std::size_t ChunksInUse() noexcept;

private:
    // Blocks are multiples of 8 bytes, aligned to 8 (no pooled value needs more).
    static constexpr std::size_t Granule = 8;
    static constexpr std::size_t Classes = MaxSize / Granule;
    static constexpr std::size_t ClassOf(std::size_t Bytes) noexcept {
        return Bytes == 0 ? 0 : (Bytes + Granule - 1) / Granule - 1;
    }

    struct TNode {
        TNode* Next;
    };
    struct TArenaOwner;
    enum : uint32_t { ckList = 0x4C697374,
                      ckArena = 0x4172656E };
    // The header at the start of every chunk (blocks follow it).
    struct TChunk {
        uint32_t Kind;
        uint16_t SlabIndex; // its place in the slab it was cut from
        bool Retired; // arena: no more blocks are cut from it
        uint32_t TrimMark; // of a slab's first chunk: its chunks found unused by Trim
        int64_t Live; // arena: blocks cut and not yet freed
        TArenaOwner* Owner; // arena: the thread that cuts from it and counts its frees
        TChunk* Next; // arena: in the owner's list of empty chunks
    };
    static constexpr std::size_t HeaderSize = 64;
    // Chunks are cut from slabs of this many, taken from the system at once.
    static constexpr std::size_t SlabChunks = 16;
    static_assert(sizeof(TChunk) <= HeaderSize);
    static TChunk* ChunkOf(void* P) noexcept {
        return reinterpret_cast<TChunk*>(reinterpret_cast<std::uintptr_t>(P) & ~(ChunkSize - 1));
    }

    enum : unsigned char { stUnused,
                           stActive,
                           stEnded };
    // Trivial, so it stays usable for the whole life of its thread (even while
    // other per-thread objects are destroyed, or statics at program exit).
    struct TLists {
        TNode* Class[Classes];
        char* ChunkNext; // the uncut rest of the current list chunk
        char* ChunkEnd;
        TChunk* Arena; // the current arena chunk, nil before the first
        char* ArenaNext; // its uncut rest
        char* ArenaEnd;
        TChunk* Empty; // empty arena chunks kept for reuse
        std::size_t EmptyCount;
        std::size_t EmptyUnusedCount; // the oldest ones, not used since the last trim
        std::size_t ArenaChunks; // chunks taken from the system and not given back
        TArenaOwner* Owner; // nil until the thread cuts its first arena chunk
        int32_t ArenaDepth;
        unsigned char State;
    };
    static thread_local TLists FLists;

    // A block of class C when the thread's list is empty: from the depot, or
    // cut from the current chunk (or a new one).
    static void* Refill(std::size_t C);
    // A block of Size bytes when the current arena chunk has no room left.
    static void* ArenaRefill(std::size_t Size);
    // An arena chunk of this thread whose last block was freed: kept for
    // reuse, or (the current one) cut again from its start.
    static void ChunkEmptied(TChunk* Chunk) noexcept;
    // A block of an arena chunk of another thread (or of an ended one) freed.
    static void FreeArenaOutside(TChunk* Chunk) noexcept;
    // Frees of this thread's arena blocks made on other threads.
    static void TakeForeignFrees() noexcept;
    // A block freed on a thread that has not allocated yet, or has ended.
    static void FreeOutside(void* P, std::size_t C) noexcept;
    // Arms the hand-over of the free blocks when the thread ends.
    static void Register() noexcept;
    static void ThreadEnds() noexcept;
    // A chunk for this thread: an empty one it keeps, or one of a new slab.
    static TChunk* TakeChunk();
};

// The allocator of the element lists of collections: their blocks come from
// the same pools (larger blocks from the general allocator, blocks of
// megabytes from the system in large blocks).
template <class T>
struct TSLPoolAllocator {
    using value_type = T;
    TSLPoolAllocator() noexcept = default;
    template <class U>
    TSLPoolAllocator(const TSLPoolAllocator<U>&) noexcept {}
    T* allocate(std::size_t N) { return static_cast<T*>(TSLSmallPool::Allocate(N * sizeof(T))); }
    void deallocate(T* P, std::size_t N) noexcept { TSLSmallPool::Free(P, N * sizeof(T)); }
    template <class U>
    bool operator==(const TSLPoolAllocator<U>&) const noexcept { return true; }
};

// In a class body: its objects (and those of its subclasses) come from the
// small-value pool.
#define VO_SL_POOLED \
public: \
    static void* operator new(std::size_t Bytes) { return ::vo::TSLSmallPool::Allocate(Bytes); } \
    static void operator delete(void* P, std::size_t Bytes) noexcept { ::vo::TSLSmallPool::Free(P, Bytes); } \
\
private:

} // namespace vo
