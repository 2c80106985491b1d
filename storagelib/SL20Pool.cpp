#include "storagelib/SL20Pool.h"

namespace vo {

thread_local TSLSmallPool::TLists TSLSmallPool::FLists{};

namespace {
// Gives a thread's kept blocks back when the thread ends; blocks freed after
// that on the thread go straight to the general allocator.
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
        for (std::size_t c = 0; c < Classes; ++c) {
            TClassList& l = FLists.Class[c];
            while (TNode* n = l.Head) {
                l.Head = n->Next;
                ::operator delete(n);
            }
            l.Count = 0;
        }
        FLists.State = stEnded;
    };
}

} // namespace vo
