#pragma once
// Small values (numbers, booleans, strings, names) and the element lists of
// small collections are made and freed by the million in scripts and in the
// reader. They come from per-thread free lists, one per 8-byte size class up
// to 256 bytes, instead of the general allocator: taking and returning a
// block is a few instructions and touches no lock. New blocks are cut one
// after the other from 64 KB chunks, so a value read costs no allocator
// header and values read together lie together. A block freed on another
// thread than the one that made it simply joins that thread's list. The
// chunks stay with the program: what a thread has free when it ends goes to
// a common depot that the other threads draw from before they cut new
// blocks.
//
// Under the address sanitizer the lists are left out, so that a use after
// free is still caught.
#include <cstddef>
#include <new>

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

    static void* Allocate(std::size_t Bytes) {
#if VO_SL_POOL_ENABLED
        if (Bytes <= MaxSize) {
            TNode*& head = FLists.Class[ClassOf(Bytes)];
            if (TNode* n = head) {
                head = n->Next;
                // Blocks freed long ago are cold: the next one is fetched
                // while this one is filled.
                __builtin_prefetch(head, 1);
                return n;
            }
            return Refill(ClassOf(Bytes));
        }
#endif
        return ::operator new(Bytes);
    }

    static void Free(void* P, std::size_t Bytes) noexcept {
#if VO_SL_POOL_ENABLED
        if (Bytes <= MaxSize) {
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
#endif
        ::operator delete(P);
    }

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
    enum : unsigned char { stUnused,
                           stActive,
                           stEnded };
    // Trivial, so it stays usable for the whole life of its thread (even while
    // other per-thread objects are destroyed, or statics at program exit).
    struct TLists {
        TNode* Class[Classes];
        char* ChunkNext; // the uncut rest of the current chunk
        char* ChunkEnd;
        unsigned char State;
    };
    static thread_local TLists FLists;

    // A block of class C when the thread's list is empty: from the depot, or
    // cut from the current chunk (or a new one).
    static void* Refill(std::size_t C);
    // A block freed on a thread that has not allocated yet, or has ended.
    static void FreeOutside(void* P, std::size_t C) noexcept;
    // Arms the hand-over of the free blocks when the thread ends.
    static void Register() noexcept;
};

// The allocator of the element lists of small collections: their blocks come
// from the same free lists (larger blocks from the general allocator).
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
