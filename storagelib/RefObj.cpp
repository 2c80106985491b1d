#include "storagelib/RefObj.h"

#include <exception>

#include "platform/Exception.h"

namespace vo {

namespace {
constexpr std::size_t PoolInitialCapacity = 2000;
}

TRefObjManager& RefObjManager() noexcept {
    static TRefObjManager manager;
    return manager;
}

void PurgeAutoReleasePool() { RefObjManager().PurgeAutoReleasePool(); }

TRefObj::~TRefObj() { TRefObjManager::DecrementObjCount(); }

void TRefObj::ReleaseAtZero() const {
    throw Exception(std::string(ClassName()) + ".Release: reference counter is zero");
}

void TRefObj::AutoRelease() {
    if (FRefCount == 0) throw Exception(std::string(ClassName()) + ".AutoRelease: reference counter is zero");
    RefObjManager().AutoReleaseObject(this);
}

void TRefObj::RetainAndAutoRelease() {
    Retain();
    RefObjManager().AutoReleaseObject(this);
}

void TRefObj::Destroy() {
    if (FRefCount != 0) throw Exception("Error using reference counting");
    delete this;
}

TRefObjManager::TRefObjManager() { AutoReleasePool.reserve(PoolInitialCapacity); }

void TRefObjManager::PurgeAutoReleasePool() {
    // Entries appended by destructors during the purge lie beyond n and wait for
    // the next purge. Index access: the list may grow (and move) meanwhile.
    const std::size_t n = AutoReleasePool.size();
    std::exception_ptr first;
    for (std::size_t i = 0; i < n; ++i) {
        try {
            AutoReleasePool[i]->Release();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    AutoReleasePool.erase(AutoReleasePool.begin(), AutoReleasePool.begin() + static_cast<std::ptrdiff_t>(n));
    if (first) std::rethrow_exception(first);
}

} // namespace vo
