#include "storagelib/SL20Arr.h"

#include <algorithm>
#include <string>

namespace vo {

namespace {
std::string Num(long long v) { return std::to_string(v); }
} // namespace

TSLArray::~TSLArray() {
    // The elements of a large value lie apart in memory: the next ones are
    // fetched while one is freed.
    const std::size_t n = Arr.size();
    TRef<TSLObject>* a = Arr.data();
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 4 < n) __builtin_prefetch(a[i + 4].Get());
        a[i].Reset();
    }
}

TRef<TSLCollection> TSLArray::CreateCopyTarget() const { return MakeRef<TSLArray>(); }

TSLObject* TSLArray::ArrGet(int Pos) const {
    if (Pos < 0 || Pos >= GetCount())
        throw Exception(std::string(ClassName()) + ".ObjectAtIndex: no object to fetch at index " + Num(Pos));
    return Arr[static_cast<std::size_t>(Pos)].Get();
}

void TSLArray::ArrSet(int Pos, TSLObject* Obj) {
    if (Pos < 0 || Pos > GetCount())
        throw Exception(std::string(ClassName()) + ".SetObjAtIndex: index (" + Num(Pos) + ") out of bounds (" +
                        Num(GetCount()) + ")");
    if (Pos == GetCount()) {
        Arr.emplace_back(Obj);
        return;
    }
    TRef<TSLObject> old = std::move(Arr[static_cast<std::size_t>(Pos)]);
    Arr[static_cast<std::size_t>(Pos)] = TRef<TSLObject>(Obj);
    // `old` is released here, after it left the array.
}

void TSLArray::ArrIns(int Pos, TSLObject* Obj) {
    if (Pos < 0 || Pos > GetCount())
        throw Exception(std::string(ClassName()) + ".InsObjAtIndex: index (" + Num(Pos) + ") out of bounds (" +
                        Num(GetCount()) + ")");
    Arr.insert(Arr.begin() + Pos, TRef<TSLObject>(Obj));
}

void TSLArray::ArrDel(int Pos) {
    if (Pos < 0 || Pos >= GetCount())
        throw Exception(std::string(ClassName()) + ".DelObjAtIndex: index (" + Num(Pos) + ") out of bounds (" +
                        Num(GetCount()) + ")");
    TRef<TSLObject> old = std::move(Arr[static_cast<std::size_t>(Pos)]);
    Arr.erase(Arr.begin() + Pos);
}

void TSLArray::ArrSetCount(int Value, bool AtFront) {
    if (Value < 0) throw Exception(std::string(ClassName()) + ".SetCount: count (" + Num(Value) + ") out of bounds");
    const auto n = static_cast<std::size_t>(Value);
    if (n >= Arr.size()) {
        Arr.insert(AtFront ? Arr.begin() : Arr.end(), n - Arr.size(), TRef<TSLObject>());
        return;
    }
    // The dropped elements are released after they left the array.
    TSLObjectList dropped;
    const std::size_t drop = Arr.size() - n;
    auto first = AtFront ? Arr.begin() : Arr.end() - static_cast<std::ptrdiff_t>(drop);
    dropped.assign(std::make_move_iterator(first), std::make_move_iterator(first + static_cast<std::ptrdiff_t>(drop)));
    Arr.erase(first, first + static_cast<std::ptrdiff_t>(drop));
}

void TSLArray::SetCount(int Value) { ArrSetCount(Value, false); }

TSLObject* TSLArray::GetObjAtIndex(int Index) const { return ArrGet(Index); }

void TSLArray::SetObjAtIndex(int Index, TSLObject* AObject) { ArrSet(Index, AObject); }

void TSLArray::DelObjAtIndex(int Index) { ArrDel(Index); }

void TSLArray::InsObjAtIndex(int Index, TSLObject* Obj) { ArrIns(Index, Obj); }

int TSLArray::GetIndexOfObj(const TSLObject* Obj) const {
    for (std::size_t i = 0; i < Arr.size(); ++i)
        if (Arr[i].Get() == Obj) return static_cast<int>(i);
    return -1;
}

void TSLArray::Clear() {
    TSLObjectList old;
    old.swap(Arr);
}

void TSLArray::MoveObject(int FromIndex, int ToIndex) {
    const int n = GetCount();
    if (FromIndex < 0 || FromIndex >= n || ToIndex < 0 || ToIndex >= n)
        throw Exception(std::string(ClassName()) + ".MoveObject: Index out of bounds (Elements: " + Num(n) +
                        " FromIndex: " + Num(FromIndex) + " ToIndex: " + Num(ToIndex) + ")");
    auto from = Arr.begin() + FromIndex, to = Arr.begin() + ToIndex;
    if (FromIndex < ToIndex)
        std::rotate(from, from + 1, to + 1);
    else if (FromIndex > ToIndex)
        std::rotate(to, from, from + 1);
}

void TSLArray::Pack() {
    Arr.erase(std::remove_if(Arr.begin(), Arr.end(), [](const TRef<TSLObject>& e) { return !e; }), Arr.end());
}

void TSLArray::SetCapacity(int Value) {
    if (Value > 0) Arr.reserve(static_cast<std::size_t>(Value));
}

void TSLArray::AdoptElements(TRef<TSLObject>* First, std::size_t N) {
    Arr.reserve(Arr.size() + N);
    for (std::size_t i = 0; i < N; ++i) Arr.push_back(std::move(First[i]));
}

void TSLArray::InstallCopies(const MyAnsiString& Ident, TSLObjectList& Copies) {
    Arr.swap(Copies); // the caller's vector now holds the old elements and releases them
    SetIdent(Ident);
}

void TSLArray::InitComposite(TSLCompData* CompData) {
    const int n = CompData->GetElementCount();
    SetCapacity(GetCount() + n);
    for (int i = 0; i < n; ++i) AddObject(CompData->GetNextElement());
}

void TSLArray::EncodeCompositeContent(TEncoderInterface& Encoder) {
    const int n = GetCount();
    for (int i = 0; i < n; ++i) Encoder.EncodeObject(GetObjAtIndex(i));
}

void TSLBlock::Execute(TSLContext* Context) {
    TRef<TSLObject> frame = Context->CreateBlockFrame(this);
    Context->FExecutionStackInterface->Push(frame.Get());
}

void TSLProcedure::Execute(TSLContext* Context) {
    TRef<TSLObject> frame = Context->CreateProcedureFrame(this);
    Context->FExecutionStackInterface->Push(frame.Get());
}

} // namespace vo
