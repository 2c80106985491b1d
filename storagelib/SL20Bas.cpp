#include "storagelib/SL20Bas.h"

#include "storagelib/SL20Elm.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace vo {

namespace {
// The debug records of the objects that have one (values may be read and
// freed on any thread).
struct TDbgInfoTable {
    std::mutex Lock;
    using TEntry = std::pair<const TSLObject* const, std::unique_ptr<TDbgInfo>>;
    // The nodes, one per value read in debug mode, come from the value pool.
    std::unordered_map<const TSLObject*, std::unique_ptr<TDbgInfo>, std::hash<const TSLObject*>,
                       std::equal_to<const TSLObject*>, TSLPoolAllocator<TEntry>>
        Records;
};
TDbgInfoTable& DbgInfoTable() {
    static TDbgInfoTable* t = new TDbgInfoTable; // lives to the very end (objects may die at exit)
    return *t;
}
} // namespace

TSLObject::~TSLObject() {
    if (!HasTrait(slHasDbgInfo)) return;
    std::unique_ptr<TDbgInfo> record; // destroyed outside the lock
    TDbgInfoTable& t = DbgInfoTable();
    std::lock_guard lock(t.Lock);
    if (auto it = t.Records.find(this); it != t.Records.end()) {
        record = std::move(it->second);
        t.Records.erase(it);
    }
}

TDbgInfo* TSLObject::FindDbgInfo() const noexcept {
    TDbgInfoTable& t = DbgInfoTable();
    std::lock_guard lock(t.Lock);
    const auto it = t.Records.find(this);
    return it == t.Records.end() ? nullptr : it->second.get();
}

void TSLObject::SetDbgInfo(std::unique_ptr<TDbgInfo> Info) {
    if (!Info && !HasTrait(slHasDbgInfo)) return; // nothing to drop (every composite read without debug records)
    std::unique_ptr<TDbgInfo> old; // destroyed outside the lock
    TDbgInfoTable& t = DbgInfoTable();
    {
        std::lock_guard lock(t.Lock);
        if (Info) {
            std::unique_ptr<TDbgInfo>& slot = t.Records[this];
            old = std::move(slot);
            slot = std::move(Info);
            FTraits |= slHasDbgInfo;
        } else if (HasTrait(slHasDbgInfo)) {
            if (auto it = t.Records.find(this); it != t.Records.end()) {
                old = std::move(it->second);
                t.Records.erase(it);
            }
            FTraits &= static_cast<uint8_t>(~slHasDbgInfo);
        }
    }
}

void TSLObject::RaiseMethodNotImplementedException(const char* Method) const {
    throw Exception(std::string(ClassName()) + "." + Method + ": method not implemented");
}

void TSLObject::SetExecutable(bool) { RaiseMethodNotImplementedException("SetExecutable"); }

void TSLObject::Encode(TEncoderInterface&) { RaiseMethodNotImplementedException("Encode"); }

void TSLObject::AssignObject(const TSLObject*) { RaiseMethodNotImplementedException("AssignObject"); }

TRef<TSLObject> TSLObject::CopyRef() const { RaiseMethodNotImplementedException("CopyObject"); }

TSLObject* TSLObject::CopyObject() const {
    TRef<TSLObject> copy = CopyRef();
    copy->AutoRelease(); // the handle's reference goes to the pool
    return copy.Detach();
}

bool TSLObject::IsEqual(const TSLObject*) const { RaiseMethodNotImplementedException("IsEqual"); }

void TSLObject::Execute(TSLContext*) { RaiseMethodNotImplementedException("Execute"); }

TSLContext::~TSLContext() {
    FSpareLongints.ReleaseAll();
    FSpareDoubles.ReleaseAll();
    FSpareBooleans.ReleaseAll();
}

bool TSLContext::KeepSpareBoolean(TSLObject* Obj) noexcept {
    return &Obj->ClassType() == &TSLBoolean::ClassInfo && FSpareBooleans.Keep(Obj);
}

} // namespace vo
