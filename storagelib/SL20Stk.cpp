#include "storagelib/SL20Stk.h"

#include <algorithm>
#include <string>

#include "storagelib/SL20Elm.h"

namespace vo {

TRef<TSLCollection> TSLStack::CreateCopyTarget() const { return MakeRef<TSLStack>(); }

TSLObject* TSLStack::GetObjAtIndex(int Index) const { return ArrGet(Pos(Index)); }

void TSLStack::SetObjAtIndex(int Index, TSLObject* AObject) {
    if (Index == GetCount())
        ArrIns(0, AObject);
    else if (Index >= 0 && Index < GetCount())
        ArrSet(Pos(Index), AObject);
    else
        throw Exception(std::string(ClassName()) + ".SetObjAtIndex: index (" + std::to_string(Index) +
                        ") out of bounds (" + std::to_string(GetCount()) + ")");
}

void TSLStack::DelObjAtIndex(int Index) { ArrDel(Pos(Index)); }

void TSLStack::InsObjAtIndex(int Index, TSLObject* Obj) { ArrIns(Pos(Index), Obj); }

int TSLStack::GetIndexOfObj(const TSLObject* Obj) const {
    const int p = TSLArray::GetIndexOfObj(Obj);
    return p < 0 ? -1 : Pos(p);
}

void TSLStack::SetCount(int Value) { ArrSetCount(Value, true); }

TSLObject* TSLStack::Pop(bool ReturnResult) {
    if (!ReturnResult) {
        DelObjAtIndex(0);
        return nullptr;
    }
    TSLObject* top = GetObjAtIndex(0);
    if (top) top->RetainAndAutoRelease();
    Arr.pop_back();
    return top;
}

void TSLStack::PushLongint(int64_t Value) { Push(MakeRef<TSLLongint>(Value).Get()); }

void TSLStack::PushDouble(double Value) { Push(MakeRef<TSLDouble>(Value).Get()); }

void TSLStack::PushString(std::string_view Value) { Push(MakeRef<TSLString>(Value).Get()); }

int64_t TSLStack::PopLongint() {
    const int64_t v = GetIntAtIndex(0);
    Pop(false);
    return v;
}

double TSLStack::PopDouble() {
    const double v = GetFloatAtIndex(0);
    Pop(false);
    return v;
}

MyAnsiString TSLStack::PopString() {
    MyAnsiString v = GetStrAtIndex(0);
    Pop(false);
    return v;
}

void TSLStack::InstallCopies(const MyAnsiString& Ident, TSLObjectList& Copies) {
    std::reverse(Copies.begin(), Copies.end()); // stack index i is array position count - 1 - i
    Arr.swap(Copies);
    SetIdent(Ident);
}

void TSLStack::InitComposite(TSLCompData* CompData) {
    // The text lists the elements from the top down; each is added at the bottom.
    const int n = CompData->GetElementCount();
    TSLObjectList elements;
    elements.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) elements.emplace_back(CompData->GetNextElement());
    Arr.insert(Arr.begin(), std::make_move_iterator(elements.rbegin()), std::make_move_iterator(elements.rend()));
}

} // namespace vo
