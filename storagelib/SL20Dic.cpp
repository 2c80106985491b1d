#include "storagelib/SL20Dic.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "storagelib/SL20DbgHlp.h"
#include "storagelib/SL20Elm.h"

namespace vo {

// ---------------------------------------------------------------- names

namespace {

using sldic_detail::FoldTable;

inline uint8_t Fold(char c) noexcept { return FoldTable[static_cast<uint8_t>(c)]; }

} // namespace

bool SLSameLongName(const char* A, const char* B, std::size_t N) noexcept {
    // Equal words pass at once (names found are most often spelt alike).
    std::size_t i = 0;
    for (; i + 8 <= N; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, A + i, 8);
        std::memcpy(&y, B + i, 8);
        if (x != y) break;
    }
    if (i + 4 <= N) {
        uint32_t x, y;
        std::memcpy(&x, A + i, 4);
        std::memcpy(&y, B + i, 4);
        if (x == y) i += 4;
    }
    for (; i < N; ++i)
        if (A[i] != B[i] && Fold(A[i]) != Fold(B[i])) return false;
    return true;
}

int SLCompareNames(std::string_view A, std::string_view B) noexcept {
    const std::size_t n = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < n; ++i) {
        const uint8_t a = Fold(A[i]), b = Fold(B[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

// ---------------------------------------------------------------- name index

// Open addressing over entry positions, with each name's hash kept beside its
// position so that a probe touches an entry only when the hashes agree.
class TSLNameIndex {
public:
    explicit TSLNameIndex(std::size_t Expected) { Rehash(Expected); }

    template <class NameAt>
    int Find(std::string_view Name, uint32_t Hash, NameAt&& NameAtPos) const {
        for (std::size_t i = Hash & Mask;; i = (i + 1) & Mask) {
            const TSlot& s = Slots[i];
            if (s.Pos == Empty) return -1;
            if (s.Pos >= 0 && s.Hash == Hash && SLSameName(NameAtPos(s.Pos), Name)) return s.Pos;
        }
    }

    // The position of Name; when it is absent, a slot is taken for it at
    // position NewPos (Add without a second probe) and -1 returned.
    template <class NameAt>
    int FindOrAdd(std::string_view Name, uint32_t Hash, int32_t NewPos, NameAt&& NameAtPos) {
        if ((Live + Deleted + 1) * 2 > Slots.size()) Rehash(Live + 1);
        TSlot* free = nullptr;
        for (std::size_t i = Hash & Mask;; i = (i + 1) & Mask) {
            TSlot& s = Slots[i];
            if (s.Pos == Empty) {
                if (!free) {
                    free = &s;
                } else {
                    --Deleted;
                }
                *free = {NewPos, Hash};
                ++Live;
                return -1;
            }
            if (s.Pos == Tombstone) {
                if (!free) free = &s;
            } else if (s.Hash == Hash && SLSameName(NameAtPos(s.Pos), Name)) {
                return s.Pos;
            }
        }
    }

    void Add(uint32_t Hash, int32_t Pos) {
        if ((Live + Deleted + 1) * 2 > Slots.size()) Rehash(Live + 1);
        std::size_t i = Hash & Mask;
        while (Slots[i].Pos >= 0) i = (i + 1) & Mask;
        if (Slots[i].Pos == Tombstone) --Deleted;
        Slots[i] = {Pos, Hash};
        ++Live;
    }

    void Remove(uint32_t Hash, int32_t Pos) {
        for (std::size_t i = Hash & Mask;; i = (i + 1) & Mask) {
            TSlot& s = Slots[i];
            if (s.Pos == Empty) return;
            if (s.Pos == Pos) {
                s.Pos = Tombstone;
                --Live;
                ++Deleted;
                return;
            }
        }
    }

    // Positions from From on move by Delta (an entry was removed or inserted).
    void Shift(int32_t From, int32_t Delta) {
        for (TSlot& s : Slots)
            if (s.Pos >= From) s.Pos += Delta;
    }

    void Reserve(std::size_t Expected) {
        if (Expected * 2 > Slots.size()) Rehash(Expected);
    }

private:
    static constexpr int32_t Empty = -1;
    static constexpr int32_t Tombstone = -2;
    struct TSlot {
        int32_t Pos;
        uint32_t Hash;
    };

    void Rehash(std::size_t Expected) {
        std::size_t size = 16;
        while (size < Expected * 2 + 2) size *= 2;
        TSlotList old(size, TSlot{Empty, 0});
        old.swap(Slots);
        Mask = size - 1;
        Live = 0;
        Deleted = 0;
        for (const TSlot& s : old)
            if (s.Pos >= 0) {
                std::size_t i = s.Hash & Mask;
                while (Slots[i].Pos != Empty) i = (i + 1) & Mask;
                Slots[i] = s;
                ++Live;
            }
    }

    // (Tables of megabytes come from large blocks: see TSLPoolAllocator.)
    using TSlotList = std::vector<TSlot, TSLPoolAllocator<TSlot>>;
    TSlotList Slots;
    std::size_t Mask = 0;
    std::size_t Live = 0;
    std::size_t Deleted = 0;
};

namespace {
// Up to this many entries a scan is as fast as the index and needs no memory.
constexpr std::size_t IndexThreshold = 8;
} // namespace

// ---------------------------------------------------------------- TSLDictionary

std::atomic<uint64_t> SLNameEpochTable[SLNameEpochSlots];

void SLBumpAllNameEpochs() noexcept {
    for (auto& e : SLNameEpochTable) e.store(e.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

TSLDictionary::TSLDictionary() = default;
TSLDictionary::~TSLDictionary() = default;

void TSLDictionary::IndexOutOfBounds(const char* Method, int Index) const {
    throw Exception(std::string(ClassName()) + "." + Method + ": index (" + std::to_string(Index) +
                    ") out of bounds (" + std::to_string(Dict.size()) + ")");
}

TSLObject* TSLDictionary::GetObjAtIndex(int Index) const {
    if (Index < 0 || static_cast<std::size_t>(Index) >= Dict.size()) IndexOutOfBounds("GetObjAtIndex", Index);
    return Dict[static_cast<std::size_t>(Index)].Value.Get();
}

MyAnsiString TSLDictionary::GetNameAtIndex(int Index) const { return MyAnsiString(NameRefAtIndex(Index)); }

int TSLDictionary::GetIndexOfObj(const TSLObject* Obj) const {
    for (std::size_t i = 0; i < Dict.size(); ++i)
        if (Dict[i].Value.Get() == Obj) return static_cast<int>(i);
    return -1;
}

void TSLDictionary::Clear() {
    TEntryList old;
    BumpNameEpochs();
    old.swap(Dict);
    FIndex.reset();
    // The values are released here, after the dictionary is already empty.
}

int TSLDictionary::Find(std::string_view AName) const {
    if (FIndex)
        return FindHashed(AName, SLHashName(AName));
    for (std::size_t i = 0; i < Dict.size(); ++i)
        if (SLSameName(Dict[i].Name(), AName)) return static_cast<int>(i);
    return -1;
}

int TSLDictionary::FindIndexed(std::string_view AName, uint32_t Hash) const {
    return FIndex->Find(AName, Hash,
                        [this](int32_t Pos) -> std::string_view { return Dict[static_cast<std::size_t>(Pos)].Name(); });
}

TSLObject* TSLDictionary::FindObjWithName(std::string_view AName) const {
    const int i = Find(AName);
    return i < 0 ? nullptr : Dict[static_cast<std::size_t>(i)].Value.Get();
}

TSLObject* TSLDictionary::GetObjWithName(std::string_view AName) const {
    return GetObjWithName(AName, SLHashName(AName));
}

TSLObject* TSLDictionary::GetObjWithName(std::string_view AName, uint32_t Hash) const {
    const int i = FindHashed(AName, Hash);
    if (i < 0) [[unlikely]]
        NoObjectNamed(AName);
    return Dict[static_cast<std::size_t>(i)].Value.Get();
}

void TSLDictionary::Insert(std::string_view AName, uint32_t Hash, TSLObject* Obj) {
    std::size_t pos = Dict.size();
    if (FSorted) {
        auto it = std::upper_bound(Dict.begin(), Dict.end(), AName, [](std::string_view n, const TEntry& e) {
            return SLCompareNames(n, e.Name()) < 0;
        });
        pos = static_cast<std::size_t>(it - Dict.begin());
    }
    if (pos == Dict.size())
        Dict.emplace_back(AName, Obj, Hash);
    else
        Dict.emplace(Dict.begin() + static_cast<std::ptrdiff_t>(pos), AName, Obj, Hash);
    SLBumpNameEpoch(Hash);
    if (FIndex) {
        if (pos + 1 < Dict.size()) FIndex->Shift(static_cast<int32_t>(pos), 1);
        FIndex->Add(Hash, static_cast<int32_t>(pos));
    } else if (Dict.size() > IndexThreshold) {
        RebuildIndex();
    }
}

void TSLDictionary::RebuildIndex() {
    FIndex = std::make_unique<TSLNameIndex>(std::max(Dict.size(), Dict.capacity()));
    for (std::size_t i = 0; i < Dict.size(); ++i) FIndex->Add(Dict[i].Hash, static_cast<int32_t>(i));
}

void TSLDictionary::SetObjWithName(std::string_view AName, TSLObject* Obj) {
    SetObjWithName(AName, SLHashName(AName), Obj);
}

void TSLDictionary::SetObjWithName(std::string_view AName, uint32_t Hash, TSLObject* Obj) {
    if (!AddNew(AName, Hash, Obj)) AlreadyExists("SetObjWithName", AName);
}

bool TSLDictionary::AddNew(std::string_view AName, uint32_t Hash, TSLObject* Obj) {
    if (FIndex && !FSorted) {
        // Appended: one probe finds the name or takes the slot for the new entry.
        const auto pos = static_cast<int32_t>(Dict.size());
        if (FIndex->FindOrAdd(AName, Hash, pos, [this](int32_t Pos) -> std::string_view {
                return Dict[static_cast<std::size_t>(Pos)].Name();
            }) >= 0)
            return false;
        try {
            Dict.emplace_back(AName, Obj, Hash);
        } catch (...) {
            FIndex->Remove(Hash, pos);
            throw;
        }
        SLBumpNameEpoch(Hash);
        return true;
    }
    if (FindHashed(AName, Hash) >= 0) return false;
    Insert(AName, Hash, Obj);
    return true;
}

void TSLDictionary::NoObjectNamed(std::string_view AName) const {
    throw Exception(std::string(ClassName()) + " error: no object named " + std::string(AName));
}

void TSLDictionary::AlreadyExists(const char* Method, std::string_view AName) const {
    throw Exception(std::string(ClassName()) + "." + Method + ": object with name '" + std::string(AName) +
                    "' already exists");
}

void TSLDictionary::AddObject(std::string_view AName, TSLObject* Obj) {
    if (&ClassType() != &TSLDictionary::ClassInfo) {
        // A subclass may change how names are found or stored.
        TSLNamedCollection::AddObject(AName, Obj);
        return;
    }
    AddObject(AName, SLHashName(AName), Obj);
}

void TSLDictionary::ClearUnstacked() {
    TEntryList old;
    old.swap(Dict);
    FIndex.reset();
    // The values are released here, after the dictionary is already empty;
    // the memory of the entries stays for the next use.
    old.clear();
    old.swap(Dict);
}

void TSLDictionary::AddObject(std::string_view AName, uint32_t Hash, TSLObject* Obj) {
    if (&ClassType() != &TSLDictionary::ClassInfo) {
        TSLNamedCollection::AddObject(AName, Obj);
        return;
    }
    if (!AddNew(AName, Hash, Obj)) AlreadyExists("AddObject", AName);
}

void TSLDictionary::Define(std::string_view AName, uint32_t Hash, TSLObject* Obj) {
    if (&ClassType() != &TSLDictionary::ClassInfo) {
        if (GetNameExists(AName)) DelObjWithName(AName);
        AddObject(AName, Obj);
        return;
    }
    const int i = FindHashed(AName, Hash);
    if (i >= 0 && !FSorted && static_cast<std::size_t>(i) + 1 == Dict.size()) {
        // The old value is released after the entry holds the new one.
        TRef<TSLObject> old(Obj);
        TEntry& e = Dict.back();
        e.Value.Swap(old);
        if (e.Name() != AName) e.Rename(AName);
        SLBumpNameEpoch(Hash);
        return;
    }
    if (i >= 0) DelObjWithName(AName);
    Insert(AName, Hash, Obj);
}

void TSLDictionary::DefineFrom(std::string_view AName, uint32_t Hash, TRef<TSLObject>& Value) {
    if (&ClassType() == &TSLDictionary::ClassInfo && !FSorted) {
        const int i = FindHashed(AName, Hash);
        if (i < 0 && !FIndex && Dict.size() < IndexThreshold) {
            // A new entry, appended; the name's epoch is raised once it is in.
            Dict.emplace_back(AName, nullptr, Hash);
            Dict.back().Value.Swap(Value);
            SLBumpNameEpoch(Hash);
            return;
        }
        if (i >= 0 && static_cast<std::size_t>(i) + 1 == Dict.size()) {
            // The last entry is replaced where it stands; the old value goes
            // to the caller, who releases it after.
            TEntry& e = Dict.back();
            if (e.Name() != AName) e.Rename(AName);
            e.Value.Swap(Value);
            SLBumpNameEpoch(Hash);
            return;
        }
    }
    Define(AName, Hash, Value.Get());
}

void TSLDictionary::DelObjWithName(std::string_view AName) {
    const int i = Find(AName);
    if (i < 0)
        throw Exception(std::string(ClassName()) + ".RemoveObject: no object found with name '" + std::string(AName) +
                        "'");
    const auto pos = static_cast<std::size_t>(i);
    TRef<TSLObject> value = std::move(Dict[pos].Value); // released after the entry left
    const uint32_t hash = Dict[pos].Hash;
    SLBumpNameEpoch(hash);
    if (FIndex) FIndex->Remove(hash, i);
    Dict.erase(Dict.begin() + i);
    if (FIndex) FIndex->Shift(i + 1, -1);
}

void TSLDictionary::SetCapacity(int Value) {
    if (Value <= 0) return;
    const auto n = static_cast<std::size_t>(Value);
    Dict.reserve(n);
    if (FIndex) FIndex->Reserve(n);
}

void TSLDictionary::SetSorted(bool Value) {
    if (Value == FSorted) return;
    FSorted = Value;
    if (!FSorted) return;
    std::stable_sort(Dict.begin(), Dict.end(),
                     [](const TEntry& a, const TEntry& b) { return SLCompareNames(a.Name(), b.Name()) < 0; });
    if (FIndex) RebuildIndex();
}

void TSLDictionary::InstallNamedCopies(const MyAnsiString& Ident,
                                       std::vector<std::pair<MyAnsiString, TRef<TSLObject>>>& Copies) {
    // Built aside and swapped in, so a refusal leaves the receiver unchanged.
    TRef<TSLDictionary> fresh = MakeRef<TSLDictionary>();
    fresh->FSorted = FSorted;
    fresh->SetCapacity(static_cast<int>(Copies.size()));
    for (auto& [name, value] : Copies) fresh->AddObject(name, value.Get());
    BumpNameEpochs();
    Dict.swap(fresh->Dict);
    FIndex.swap(fresh->FIndex);
    BumpNameEpochs();
    SetIdent(Ident);
    // The old entries die with `fresh`.
}

namespace {

MyAnsiString KeyPlace(const TSLObject* Key, int Index) {
    const MyAnsiString line = GetDbgLine(Key);
    if (line.empty()) return {};
    return "at line " + line + " and index " + std::to_string(Index);
}

} // namespace

void TSLDictionary::InitComposite(TSLCompData* CompData) {
    const int n = CompData->GetElementCount();
    for (int i = 0; i < n; i += 2) {
        TSLObject* key = CompData->GetElementAtIndex(i);
        auto* ident = dynamic_cast<TSLIdent*>(key);
        if (!ident)
            throw Exception("illegal key (" + std::string(key ? key->ClassName() : "nil") + ") in dictionary " +
                            KeyPlace(key, i));
        if (ident->GetExecutable())
            throw Exception("executable key '" + ident->GetIdentValue() + "' in dictionary " + KeyPlace(key, i));
    }
    if (n % 2 != 0) {
        const MyAnsiString line = GetDbgLine(CompData->GetElementAtIndex(0));
        throw Exception("odd number of objects in dictionary " +
                        (line.empty() ? MyAnsiString() : "starting at line " + line + " "));
    }
    SetCapacity(GetCount() + n / 2);
    for (int i = 0; i < n; i += 2) {
        const auto* key = static_cast<TSLIdent*>(CompData->GetElementAtIndex(i));
        AddObject(key->GetIdentValue(), CompData->GetElementAtIndex(i + 1));
    }
}

void TSLDictionary::EncodeCompositeContent(TEncoderInterface& Encoder) {
    for (std::size_t i = 0; i < Dict.size(); ++i) {
        Encoder.EncodeIdent(MyAnsiString(Dict[i].Name()), false);
        Encoder.EncodeObject(Dict[i].Value.Get());
    }
}

} // namespace vo
