#include "storagelib/SL20Col.h"

#include <algorithm>
#include <string>

#include "storagelib/SL20Elm.h"

namespace vo {

// ---------------------------------------------------------------- cycle guards

namespace {

// Originals whose copies are being filled, innermost last.
thread_local std::vector<std::pair<const TSLObject*, TSLObject*>> CopyPath;

// Pairs of collections being compared, innermost last.
thread_local std::vector<std::pair<const TSLObject*, const TSLObject*>> EqualPath;

class TEqualScope {
public:
    TEqualScope(const TSLObject* A, const TSLObject* B) {
        for (const auto& p : EqualPath)
            if (p.first == A && p.second == B) {
                Active = true;
                return;
            }
        EqualPath.emplace_back(A, B);
    }
    ~TEqualScope() {
        if (!Active) EqualPath.pop_back();
    }
    // The pair is already being compared further out: within this comparison it
    // counts as equal (what differs is found where it is compared).
    bool Active = false;
};

} // namespace

TSLCopyScope::TSLCopyScope(const TSLObject* Original, TSLObject* Copy) { CopyPath.emplace_back(Original, Copy); }

TSLCopyScope::~TSLCopyScope() { CopyPath.pop_back(); }

TRef<TSLObject> TSLCopyScope::CopyElement(const TSLObject* Element) {
    if (!Element) return nullptr;
    for (auto it = CopyPath.rbegin(); it != CopyPath.rend(); ++it)
        if (it->first == Element) return TRef<TSLObject>(it->second);
    return Element->CopyRef();
}

bool SLElementsEqual(const TSLObject* A, const TSLObject* B) {
    if (!A || !B) return A == B;
    return A->IsEqual(B);
}

// ---------------------------------------------------------------- TSLCollection

TRef<TSLCollection> TSLCollection::CreateCopyTarget() const {
    TRef<TSLComposite> c = CreateEmptyComposite();
    return TRef<TSLCollection>(static_cast<TSLCollection*>(c.Get()));
}

TRef<TSLObject> TSLCollection::CopyRef() const {
    TRef<TSLCollection> copy = CreateCopyTarget();
    copy->AssignObject(this);
    return copy;
}

void TSLCollection::AssignObject(const TSLObject* Obj) {
    const TSLCollection* src = SLCast<TSLCollection>(Obj);
    if (src == this) return; // a collection assigned to itself stays as it is
    const int n = src->GetCount();
    TSLObjectList copies;
    copies.reserve(static_cast<std::size_t>(n));
    {
        TSLCopyScope scope(src, this);
        for (int i = 0; i < n; ++i) copies.push_back(TSLCopyScope::CopyElement(src->GetObjAtIndex(i)));
    }
    const MyAnsiString ident = src->GetIdent();
    InstallCopies(ident, copies);
}

void TSLCollection::InstallCopies(const MyAnsiString& Ident, TSLObjectList& Copies) {
    Clear();
    SetIdent(Ident);
    for (auto& c : Copies) AddObject(c.Get());
}

bool TSLCollection::IsEqual(const TSLObject* Obj) const {
    if (!Obj || !Obj->InheritsFrom(ClassType())) return false;
    const auto* other = static_cast<const TSLCollection*>(Obj);
    const int n = GetCount();
    if (other->GetCount() != n) return false;
    TEqualScope scope(this, other);
    if (scope.Active) return true;
    for (int i = 0; i < n; ++i)
        if (!SLElementsEqual(GetObjAtIndex(i), other->GetObjAtIndex(i))) return false;
    return true;
}

MyAnsiString TSLCollection::GetStrAtIndex(int Index) const {
    return SLCast<TSLString>(GetObjAtIndex(Index))->GetStringValue();
}

int64_t TSLCollection::GetIntAtIndex(int Index) const {
    return SLCast<TSLLongint>(GetObjAtIndex(Index))->GetLongintValue();
}

double TSLCollection::GetFloatAtIndex(int Index) const {
    return SLCast<TSLDouble>(GetObjAtIndex(Index))->GetDoubleValue();
}

bool TSLCollection::GetBoolAtIndex(int Index) const {
    return SLCast<TSLBoolean>(GetObjAtIndex(Index))->GetBooleanValue();
}

namespace {

// The element at Index when it is a T, else nil (also for Index = count).
template <class T>
T* ElementOfType(const TSLCollection& C, int Index) {
    if (Index < 0 || Index >= C.GetCount()) return nullptr;
    return dynamic_cast<T*>(C.GetObjAtIndex(Index));
}

} // namespace

void TSLCollection::SetStrAtIndex(int Index, std::string_view Value) {
    if (auto* s = ElementOfType<TSLString>(*this, Index)) return s->SetStringValue(Value);
    SetObjAtIndex(Index, MakeRef<TSLString>(Value).Get());
}

void TSLCollection::SetIntAtIndex(int Index, int64_t Value) {
    if (auto* l = ElementOfType<TSLLongint>(*this, Index)) return l->SetLongintValue(Value);
    SetObjAtIndex(Index, MakeRef<TSLLongint>(Value).Get());
}

void TSLCollection::SetFloatAtIndex(int Index, double Value) {
    if (auto* d = ElementOfType<TSLDouble>(*this, Index)) return d->SetDoubleValue(Value);
    SetObjAtIndex(Index, MakeRef<TSLDouble>(Value).Get());
}

void TSLCollection::SetBoolAtIndex(int Index, bool Value) {
    if (auto* b = ElementOfType<TSLBoolean>(*this, Index)) return b->SetBooleanValue(Value);
    SetObjAtIndex(Index, MakeRef<TSLBoolean>(Value).Get());
}

bool TSLCollection::ForEach(const TForEachCallback& Callback, bool IncludeRoot) {
    TRef<TSLCollection> keep(this);
    bool stop = false;
    int32_t level = 0;
    if (IncludeRoot) {
        TForEachInfo info;
        info.Obj = this;
        Callback(info, stop);
        if (stop) return false;
        level = 1;
    }
    std::vector<const TSLCollection*> path;
    Walk(Callback, level, stop, path);
    return !stop;
}

void TSLCollection::Walk(const TForEachCallback& Callback, int32_t Level, bool& Stop,
                         std::vector<const TSLCollection*>& Path) {
    TRef<TSLCollection> keep(this); // the callback may drop this collection from its parent
    Path.push_back(this);
    auto* named = dynamic_cast<TSLNamedCollection*>(this);
    TForEachInfo info;
    for (int i = 0; !Stop && i < GetCount(); ++i) {
        info.Obj = GetObjAtIndex(i);
        info.Name = named ? named->GetNameAtIndex(i) : MyAnsiString();
        info.Level = Level;
        info.Parent = this;
        info.Index = i;
        Callback(info, Stop);
        if (Stop || i >= GetCount()) continue;
        // Fetched again: the callback may have replaced it.
        auto* child = dynamic_cast<TSLCollection*>(GetObjAtIndex(i));
        if (child && std::find(Path.begin(), Path.end(), child) == Path.end())
            child->Walk(Callback, Level + 1, Stop, Path);
    }
    Path.pop_back();
}

// ---------------------------------------------------------------- TSLNamedCollection

void TSLNamedCollection::NotAllowed(const char* Method) const {
    throw Exception(std::string(ClassName()) + "." + Method + ": not allowed in named collection");
}

void TSLNamedCollection::SetCount(int) { NotAllowed("SetCount"); }
void TSLNamedCollection::SetObjAtIndex(int, TSLObject*) { NotAllowed("SetObjAtIndex"); }
void TSLNamedCollection::DelObjAtIndex(int) { NotAllowed("DelObjAtIndex"); }
void TSLNamedCollection::InsObjAtIndex(int, TSLObject*) { NotAllowed("InsObjAtIndex"); }

void TSLNamedCollection::AssignObject(const TSLObject* Obj) {
    const TSLNamedCollection* src = SLCast<TSLNamedCollection>(Obj);
    if (src == this) return;
    const int n = src->GetCount();
    std::vector<std::pair<MyAnsiString, TRef<TSLObject>>> copies;
    copies.reserve(static_cast<std::size_t>(n));
    {
        TSLCopyScope scope(src, this);
        for (int i = 0; i < n; ++i)
            copies.emplace_back(src->GetNameAtIndex(i), TSLCopyScope::CopyElement(src->GetObjAtIndex(i)));
    }
    const MyAnsiString ident = src->GetIdent();
    InstallNamedCopies(ident, copies);
}

void TSLNamedCollection::InstallNamedCopies(const MyAnsiString& Ident,
                                            std::vector<std::pair<MyAnsiString, TRef<TSLObject>>>& Copies) {
    Clear();
    SetIdent(Ident);
    for (auto& [name, value] : Copies) AddObject(name, value.Get());
}

bool TSLNamedCollection::IsEqual(const TSLObject* Obj) const {
    if (!Obj || !Obj->InheritsFrom(ClassType())) return false;
    const auto* other = static_cast<const TSLNamedCollection*>(Obj);
    const int n = GetCount();
    if (other->GetCount() != n) return false;
    TEqualScope scope(this, other);
    if (scope.Active) return true;
    for (int i = 0; i < n; ++i) {
        if (GetNameAtIndex(i) != other->GetNameAtIndex(i)) return false;
        if (!SLElementsEqual(GetObjAtIndex(i), other->GetObjAtIndex(i))) return false;
    }
    return true;
}

void TSLNamedCollection::AddObject(std::string_view AName, TSLObject* Obj) {
    if (GetNameExists(AName))
        throw Exception(std::string(ClassName()) + ".AddObject: object with name '" + std::string(AName) +
                        "' already exists");
    SetObjWithName(AName, Obj);
}

void TSLNamedCollection::RemoveObject(std::string_view AName) {
    if (!GetNameExists(AName))
        throw Exception(std::string(ClassName()) + ".RemoveObject: object with name '" + std::string(AName) +
                        "' not found");
    DelObjWithName(AName);
}

MyAnsiString TSLNamedCollection::GetStrWithName(std::string_view AName) const {
    return SLCast<TSLString>(GetObjWithName(AName))->GetStringValue();
}

int64_t TSLNamedCollection::GetIntWithName(std::string_view AName) const {
    return SLCast<TSLLongint>(GetObjWithName(AName))->GetLongintValue();
}

double TSLNamedCollection::GetFloatWithName(std::string_view AName) const {
    return SLCast<TSLDouble>(GetObjWithName(AName))->GetDoubleValue();
}

bool TSLNamedCollection::GetBoolWithName(std::string_view AName) const {
    return SLCast<TSLBoolean>(GetObjWithName(AName))->GetBooleanValue();
}

namespace {

template <class T>
T* NamedOfType(const TSLNamedCollection& C, std::string_view AName) {
    const int i = C.GetIndexOfName(AName);
    return i < 0 ? nullptr : dynamic_cast<T*>(C.GetObjAtIndex(i));
}

} // namespace

void TSLNamedCollection::SetStrWithName(std::string_view AName, std::string_view Value) {
    if (auto* s = NamedOfType<TSLString>(*this, AName)) return s->SetStringValue(Value);
    SetObjWithName(AName, MakeRef<TSLString>(Value).Get());
}

void TSLNamedCollection::SetIntWithName(std::string_view AName, int64_t Value) {
    if (auto* l = NamedOfType<TSLLongint>(*this, AName)) return l->SetLongintValue(Value);
    SetObjWithName(AName, MakeRef<TSLLongint>(Value).Get());
}

void TSLNamedCollection::SetFloatWithName(std::string_view AName, double Value) {
    if (auto* d = NamedOfType<TSLDouble>(*this, AName)) return d->SetDoubleValue(Value);
    SetObjWithName(AName, MakeRef<TSLDouble>(Value).Get());
}

void TSLNamedCollection::SetBoolWithName(std::string_view AName, bool Value) {
    if (auto* b = NamedOfType<TSLBoolean>(*this, AName)) return b->SetBooleanValue(Value);
    SetObjWithName(AName, MakeRef<TSLBoolean>(Value).Get());
}

} // namespace vo
