#include "storagelib/SL20Cmp.h"

#include <string>

namespace vo {

TSLObject* TSLListCompData::GetFirstElement() {
    FNext = 0;
    return GetNextElement();
}

TSLObject* TSLListCompData::GetNextElement() {
    if (FNext >= FElements.size()) throw Exception("Internal error: no more objects on stack");
    return FElements[FNext++].Get();
}

TSLObject* TSLListCompData::GetElementAtIndex(int Index) {
    if (Index < 0 || static_cast<std::size_t>(Index) >= FElements.size())
        throw Exception("Internal error: index (" + std::to_string(Index) + ") is out of bounds (" +
                        std::to_string(FElements.size()) + ")");
    return FElements[static_cast<std::size_t>(Index)].Get();
}

} // namespace vo
