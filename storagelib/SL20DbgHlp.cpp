#include "storagelib/SL20DbgHlp.h"

#include <string>

namespace vo {

namespace {
TStorageNameLookup& NameLookup() {
    static TStorageNameLookup lookup;
    return lookup;
}
} // namespace

void SetStorageNameLookup(TStorageNameLookup Lookup) { NameLookup() = std::move(Lookup); }

TDbgInfo* GetDbgInfo(const TSLObject* Obj) { return Obj ? Obj->GetDbgInfo() : nullptr; }

MyAnsiString GetDbgLine(const TSLObject* Obj) {
    const TDbgInfo* info = GetDbgInfo(Obj);
    return info ? std::to_string(info->GetTokLine()) : MyAnsiString();
}

MyAnsiString GetDbgFile(const TSLObject* Obj) {
    const TDbgInfo* info = GetDbgInfo(Obj);
    if (!info || !NameLookup()) return {};
    const uint16_t id = info->GetStorageID();
    if (id == 0) return {};
    MyAnsiString name = NameLookup()(id);
    const std::size_t sep = name.find_last_of("\\/");
    if (sep != MyAnsiString::npos) name.erase(0, sep + 1);
    return name;
}

} // namespace vo
