#pragma once
// Small values (numbers, booleans, strings, names) are made and freed by the
// million in scripts and in the reader. They come from per-thread free lists,
// one per 16-byte size class up to 256 bytes, instead of the general allocator: taking and
// returning a block is a few instructions and touches no lock. A thread keeps
// at most a bounded number of free blocks per class; the rest, and all it
// keeps when it ends, go back to the general allocator. A block freed on
// another thread than the one that made it simply joins that thread's list.
//
// Under the address sanitizer the lists are left out, so that a use after
// free is still caught.
#include <array>
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

namespace slpool_detail {
inline constexpr std::size_t MaxSize = 256;
inline constexpr std::size_t Classes = MaxSize / 16;
// What a thread keeps at most per size class: 64 KB of blocks.
constexpr std::array<std::size_t, Classes> MakeKeptLimits() {
    std::array<std::size_t, Classes> a{};
    for (std::size_t c = 0; c < Classes; ++c) a[c] = 64 * 1024 / ((c + 1) * 16);
    return a;
}
inline constexpr std::array<std::size_t, Classes> KeptLimit = MakeKeptLimits();
} // namespace slpool_detail

class TSLSmallPool {
public:
    static constexpr std::size_t MaxSize = slpool_detail::MaxSize;

    static void* Allocate(std::size_t Bytes) {
#if VO_SL_POOL_ENABLED
        if (Bytes <= MaxSize) {
            TClassList& l = FLists.Class[ClassOf(Bytes)];
            if (TNode* n = l.Head) {
                l.Head = n->Next;
                --l.Count;
                return n;
            }
            return ::operator new(RoundUp(Bytes));
        }
#endif
        return ::operator new(Bytes);
    }

    static void Free(void* P, std::size_t Bytes) noexcept {
#if VO_SL_POOL_ENABLED
        if (Bytes <= MaxSize) {
            const std::size_t c = ClassOf(Bytes);
            TClassList& l = FLists.Class[c];
            if (l.Count < KeptLimit[c] && FLists.State != stEnded) {
                if (FLists.State == stUnused) Register();
                auto* n = static_cast<TNode*>(P);
                n->Next = l.Head;
                l.Head = n;
                ++l.Count;
                return;
            }
            ::operator delete(P);
            return;
        }
#endif
        ::operator delete(P);
    }

private:
    static constexpr std::size_t Classes = slpool_detail::Classes;
    static constexpr const auto& KeptLimit = slpool_detail::KeptLimit;
    static constexpr std::size_t ClassOf(std::size_t Bytes) noexcept { return (Bytes + 15) / 16 - 1; }
    static constexpr std::size_t RoundUp(std::size_t Bytes) noexcept { return (Bytes + 15) / 16 * 16; }

    struct TNode {
        TNode* Next;
    };
    struct TClassList {
        TNode* Head;
        std::size_t Count;
    };
    enum : unsigned char { stUnused,
                           stActive,
                           stEnded };
    // Trivial, so it stays usable for the whole life of its thread (even while
    // other per-thread objects are destroyed, or statics at program exit).
    struct TLists {
        TClassList Class[Classes];
        unsigned char State;
    };
    static thread_local TLists FLists;

    // Arms the return of the kept blocks when the thread ends.
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
