// The dictionary operations behind reused local dictionaries of procedure
// calls: a finished call's dictionary keeps its names, so that the next call
// of the same procedure only sets its parameters' values.
#include "storagelib/SL20Dic.h"

#include "storagelib/SL20Bas.h"

namespace vo {

void TSLDictionary::ReleaseValuesUnstacked() noexcept {
    for (TEntry& e : Dict) e.Value.Reset();
}

void TSLDictionary::ReleaseValuesUnstacked(TSLContext& Spares) noexcept {
    for (TEntry& e : Dict)
        if (TSLObject* v = e.Value.Detach()) Spares.DropValue(v);
}

bool TSLDictionary::TruncateUnstacked(int Count) {
    if (FIndex || Count < 0) return false;
    // (From the end: nothing moves.)
    while (static_cast<std::size_t>(Count) < Dict.size()) Dict.pop_back();
    return true;
}


} // namespace vo
