#pragma once
// Reference counting and the autorelease pool.
//
// Every script-language value, and the reader, writer, storage and interpreter
// objects built on them, derive from TRefObj. An object lives while somebody
// holds a reference: Retain adds one, Release drops one and destroys the object
// when the count reaches 0. A function that hands out an object it does not keep
// queues one reference in the program-wide autorelease pool (AutoRelease); the
// pool is purged once a second by the main scheduler task "AutoReleaseTask", and
// what nobody retained in the meantime dies then.
//
// C++ owners hold counted objects through TRef<T>, which retains on copy and
// releases on destruction, so an owner never leaks and never frees twice.
//
// All counted objects live on the GUI thread; nothing here takes a lock.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

// Run-time class information of counted objects: the class name used in error
// texts and the parent, so that code can ask "is this object of class C or of a
// class derived from it" with a class reference in hand (the interpreter's
// polymorphic procedures dispatch on such references).
struct TClassInfo {
    const char* Name;
    const TClassInfo* Parent;

    bool InheritsFrom(const TClassInfo& Other) const noexcept {
        for (const TClassInfo* c = this; c != nullptr; c = c->Parent)
            if (c == &Other) return true;
        return false;
    }
};

// Declares the run-time class of a counted class. Put it first in the class body.
#define VO_REFOBJ_CLASS(Self, Base) \
public: \
    static constexpr ::vo::TClassInfo ClassInfo{#Self, &Base::ClassInfo}; \
    const ::vo::TClassInfo& ClassType() const noexcept override { return ClassInfo; } \
\
private:

class TRefObj {
public:
    static constexpr TClassInfo ClassInfo{"TRefObj", nullptr};
    virtual const TClassInfo& ClassType() const noexcept { return ClassInfo; }
    const char* ClassName() const noexcept { return ClassType().Name; }
    bool InheritsFrom(const TClassInfo& Class) const noexcept { return ClassType().InheritsFrom(Class); }

    TRefObj(const TRefObj&) = delete;
    TRefObj& operator=(const TRefObj&) = delete;

    // Count + 1.
    void Retain() noexcept;
    // Count - 1; destroys the object when the count reaches 0. Refused at count 0.
    void Release() {
        if (FRefCount == 0) [[unlikely]]
            ReleaseAtZero();
        ReleaseCounted();
    }
    // Hands one of the caller's references to the pool. Refused at count 0.
    void AutoRelease();
    // Retain, then AutoRelease: the object stays alive at least until the next
    // purge without the caller owning it.
    void RetainAndAutoRelease();
    int32_t GetRefCount() const noexcept { return FRefCount; }
    // Destroys an object that nobody retained (count 0). Refused otherwise.
    void Destroy();

protected:
    TRefObj() noexcept;
    // Only Release and Destroy end an object's life.
    virtual ~TRefObj();

private:
    [[noreturn]] void ReleaseAtZero() const;
    inline void ReleaseCounted() noexcept;

    int32_t FRefCount = 0;

protected:
    // Class traits a subclass may keep for quick tests of its class (script
    // values use it); it fills the space after the count, so it costs no
    // memory.
    uint8_t FTraits = 0;
};

class TRefObjManager {
public:
    TRefObjManager();
    TRefObjManager(const TRefObjManager&) = delete;
    TRefObjManager& operator=(const TRefObjManager&) = delete;

    static void IncrementObjCount() noexcept { ++FObjCount; }
    static void DecrementObjCount() noexcept { --FObjCount; }
    static void IncrementRefCount() noexcept { ++FRefCount; }
    static void DecrementRefCount() noexcept { --FRefCount; }

    // Queues one reference of Item; the same object may be queued several times.
    void AutoReleaseObject(TRefObj* Item) { AutoReleasePool.push_back(Item); }
    // Releases every entry that was queued when the purge began, in queue order,
    // and removes them. Objects queued while the purge runs (by destructors) stay
    // for the next purge.
    void PurgeAutoReleasePool();

    static int32_t GetObjCount() noexcept { return FObjCount; }
    static int32_t GetRefCount() noexcept { return FRefCount; }
    std::size_t GetPoolCount() const noexcept { return AutoReleasePool.size(); }
    std::size_t GetPoolCapacity() const noexcept { return AutoReleasePool.capacity(); }

private:
    std::vector<TRefObj*> AutoReleasePool;
    // The counts are plain program-wide integers (constant-initialised), so
    // counting an object or a reference needs no call and no guard of the
    // manager's construction.
    static constinit inline int32_t FObjCount = 0;
    static constinit inline int32_t FRefCount = 0;
};

inline TRefObj::TRefObj() noexcept { TRefObjManager::IncrementObjCount(); }

inline void TRefObj::Retain() noexcept {
    ++FRefCount;
    TRefObjManager::IncrementRefCount();
}

inline void TRefObj::ReleaseCounted() noexcept {
    --FRefCount;
    TRefObjManager::DecrementRefCount();
    if (FRefCount == 0) delete this;
}

// The one program-wide manager; it exists before the first counted object.
TRefObjManager& RefObjManager() noexcept;

// The purge step of "AutoReleaseTask": purges the pool. The task calls it and
// then sleeps AutoReleaseInterval milliseconds, for as long as the program runs.
void PurgeAutoReleasePool();
inline constexpr int AutoReleaseIntervalDefault = 1000;

// Smart handle of a counted object: holds exactly one reference.
template <class T>
class TRef {
public:
    TRef() noexcept = default;
    TRef(std::nullptr_t) noexcept {}
    // Takes a new reference (retains).
    TRef(T* p) noexcept : P(p) {
        if (P) P->Retain();
    }
    TRef(const TRef& o) noexcept : TRef(o.P) {}
    TRef(TRef&& o) noexcept : P(std::exchange(o.P, nullptr)) {}
    template <class U>
    TRef(const TRef<U>& o) noexcept : TRef(static_cast<T*>(o.Get())) {}
    template <class U>
    TRef(TRef<U>&& o) noexcept : P(static_cast<T*>(o.Detach())) {}
    ~TRef() {
        if (P) P->Release();
    }
    // Copy and swap: the old object is released after the new one is in place.
    TRef& operator=(TRef o) noexcept {
        std::swap(P, o.P);
        return *this;
    }

    // Takes over a reference the caller already owns (does not retain).
    static TRef Adopt(T* p) noexcept {
        TRef r;
        r.P = p;
        return r;
    }
    // Gives up the reference without releasing it; the caller now owns it.
    T* Detach() noexcept { return std::exchange(P, nullptr); }
    void Reset() noexcept { TRef().Swap(*this); }
    void Swap(TRef& o) noexcept { std::swap(P, o.P); }

    T* Get() const noexcept { return P; }
    T* operator->() const noexcept { return P; }
    T& operator*() const noexcept { return *P; }
    explicit operator bool() const noexcept { return P != nullptr; }
    friend bool operator==(const TRef& a, const TRef& b) noexcept { return a.P == b.P; }
    friend bool operator==(const TRef& a, std::nullptr_t) noexcept { return a.P == nullptr; }

private:
    T* P = nullptr;
};

// A new counted object held by a handle (count 1).
template <class T, class... A>
TRef<T> MakeRef(A&&... Args) {
    return TRef<T>(new T(std::forward<A>(Args)...));
}

// Construction with the AutoRelease flag: with AutoRelease false the object starts at
// count 0 and belongs to whoever retains it first; with AutoRelease true it
// starts at count 1 with one pool entry. The pool entry is made only once the
// object is completely built, so a failing constructor leaves nothing queued.
template <class T, class... A>
T* NewRefObj(bool AutoRelease, A&&... Args) {
    T* p = new T(std::forward<A>(Args)...);
    if (AutoRelease) p->RetainAndAutoRelease();
    return p;
}

} // namespace vo
