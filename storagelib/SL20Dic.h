#pragma once
// The dictionary: names to values, in insertion order, names compared without
// regard to case, a second entry under a name it already has refused.
//
// Lookups go through a hash index over the case-folded names once a dictionary
// holds more than a handful of entries, so finding a name is O(1) and building
// a dictionary of n names O(n); the index gives exactly the result of scanning
// the entries in order for the first equal name (there is never more than one).
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "storagelib/SL20Col.h"
#include "storagelib/SL20Pool.h"

namespace vo {

// Names compare as code-page-1252 text without regard to case: A-Z equal a-z,
// and the accented capitals equal their small letters (À-Þ and à-þ except
// × and ÷, Š š, Œ œ, Ž ž, Ÿ ÿ).
namespace sldic_detail {
constexpr std::array<uint8_t, 256> MakeFoldTable() {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) t[static_cast<std::size_t>(c)] = static_cast<uint8_t>(c);
    for (int c = 'A'; c <= 'Z'; ++c) t[static_cast<std::size_t>(c)] = static_cast<uint8_t>(c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) t[static_cast<std::size_t>(c)] = static_cast<uint8_t>(c + 32); // À-Þ, not ×
    t[0x8A] = 0x9A; // Š
    t[0x8C] = 0x9C; // Œ
    t[0x8E] = 0x9E; // Ž
    t[0x9F] = 0xFF; // Ÿ
    return t;
}
inline constexpr std::array<uint8_t, 256> FoldTable = MakeFoldTable();
} // namespace sldic_detail

inline uint8_t SLFoldNameChar(uint8_t c) noexcept { return sldic_detail::FoldTable[c]; }
// SLSameName for names of the same length beyond 8 bytes.
bool SLSameLongName(const char* A, const char* B, std::size_t N) noexcept;
inline bool SLSameName(std::string_view A, std::string_view B) noexcept {
    const std::size_t n = A.size();
    if (n != B.size()) return false;
    if (n > 8) return SLSameLongName(A.data(), B.data(), n);
    // (Short names, the most, without a call; names spelt alike pass by
    // comparing two overlapping words.)
    if (n >= 4) {
        uint32_t a0, a1, b0, b1;
        std::memcpy(&a0, A.data(), 4);
        std::memcpy(&b0, B.data(), 4);
        std::memcpy(&a1, A.data() + n - 4, 4);
        std::memcpy(&b1, B.data() + n - 4, 4);
        if (a0 == b0 && a1 == b1) return true;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (A[i] != B[i] && SLFoldNameChar(static_cast<uint8_t>(A[i])) != SLFoldNameChar(static_cast<uint8_t>(B[i])))
            return false;
    return true;
}
// Ordering under the same comparison (<0, 0, >0).
int SLCompareNames(std::string_view A, std::string_view B) noexcept;

// The hash of a name over its folded bytes (FNV-1a): SLHashName(n) is
// SLHashNameStep applied to each byte of n, from SLHashNameSeed on, so a caller
// that walks a name anyway can hash it on the way.
inline constexpr uint32_t SLHashNameSeed = 2166136261u;
inline uint32_t SLHashNameStep(uint32_t Hash, char c) noexcept {
    return (Hash ^ SLFoldNameChar(static_cast<uint8_t>(c))) * 16777619u;
}
inline uint32_t SLHashName(std::string_view Name) noexcept {
    uint32_t h = SLHashNameSeed;
    for (const char c : Name) h = SLHashNameStep(h, c);
    return h;
}

// Binding epochs: one counter per group of names (grouped by hash), raised by
// every change that could alter what a name resolves to: a dictionary gaining,
// losing or replacing an entry of that name, and a dictionary with that name
// entering or leaving a context's dictionary stack. A resolution cached
// together with its name's epoch stays exact while the epoch is unchanged.
inline constexpr std::size_t SLNameEpochSlots = 2048;
extern std::atomic<uint64_t> SLNameEpochTable[SLNameEpochSlots];
inline std::atomic<uint64_t>& SLNameEpochOf(uint32_t Hash) noexcept {
    return SLNameEpochTable[(Hash ^ (Hash >> 15)) & (SLNameEpochSlots - 1)];
}
inline uint64_t SLNameEpoch(uint32_t Hash) noexcept { return SLNameEpochOf(Hash).load(std::memory_order_relaxed); }
inline void SLBumpNameEpoch(uint32_t Hash) noexcept {
    std::atomic<uint64_t>& e = SLNameEpochOf(Hash);
    e.store(e.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}
// Raises every epoch (for changes that touch many names at once).
void SLBumpAllNameEpochs() noexcept;

class TSLNameIndex;
class TSLContext;

class TSLDictionary : public TSLNamedCollection {
    VO_REFOBJ_CLASS(TSLDictionary, TSLNamedCollection)
    VO_SL_POOLED
    VO_SL_COMPOSITE(TSLDictionary, 'D')
public:
    TSLDictionary();
    ~TSLDictionary() override;

    int GetCount() const override { return static_cast<int>(Dict.size()); }
    TSLObject* GetObjAtIndex(int Index) const override;
    MyAnsiString GetNameAtIndex(int Index) const override;
    // The name as it was added, without a copy (valid while the entry is
    // unchanged).
    std::string_view NameRefAtIndex(int Index) const {
        if (static_cast<std::size_t>(static_cast<unsigned>(Index)) >= Dict.size()) [[unlikely]]
            IndexOutOfBounds("GetNameAtIndex", Index);
        return Dict[static_cast<std::size_t>(Index)].Name();
    }
    int GetIndexOfObj(const TSLObject* Obj) const override;
    void Clear() override;

    TSLObject* GetObjWithName(std::string_view AName) const override;
    // Appends a new entry; refused when the name exists (it never replaces).
    void SetObjWithName(std::string_view AName, TSLObject* Obj) override;
    // The same two with the name's hash (SLHashName) already known.
    TSLObject* GetObjWithName(std::string_view AName, uint32_t Hash) const;
    void SetObjWithName(std::string_view AName, uint32_t Hash, TSLObject* Obj);
    using TSLNamedCollection::AddObject;
    // The collection's AddObject, with the name hashed and looked up once.
    void AddObject(std::string_view AName, TSLObject* Obj);
    // The same with the name's hash (SLHashName) already known.
    void AddObject(std::string_view AName, uint32_t Hash, TSLObject* Obj);
    // Empties a dictionary that is on no dictionary stack (no lookup can
    // depend on it, so no name epoch is raised).
    void ClearUnstacked();
    // For the local dictionaries procedure calls reuse (on no dictionary stack
    // and held by nobody else). ReleaseValuesUnstacked releases every value
    // and keeps the names (with nil values) for the next call;
    // TruncateUnstacked keeps the first Count entries (false, and nothing
    // changed, for a dictionary with a hash index).
    void ReleaseValuesUnstacked() noexcept;
    // The same, with the values dropped through Spares (TSLContext::DropValue).
    void ReleaseValuesUnstacked(TSLContext& Spares) noexcept;
    bool TruncateUnstacked(int Count);
    // The entry at Index (in range) gets Obj; its name's epoch is raised.
    void SetValueAt(int Index, TSLObject* Obj) {
        TEntry& e = Dict[static_cast<std::size_t>(Index)];
        // The old value is released after the entry holds the new one.
        TRef<TSLObject> old(Obj);
        e.Value.Swap(old);
        SLBumpNameEpoch(e.Hash);
    }
    // The same with the value taken over from a handle the caller holds (a
    // stack's slot), which is left with the entry's old value.
    void TakeValueAt(int Index, TRef<TSLObject>& Value) noexcept {
        TEntry& e = Dict[static_cast<std::size_t>(Index)];
        e.Value.Swap(Value);
        SLBumpNameEpoch(e.Hash);
    }
    // "def": the entry AName (hash known) gets Obj. An existing entry of that
    // name leaves and the new one is appended, as removing and adding would
    // (the last entry is replaced where it stands, which looks the same).
    void Define(std::string_view AName, uint32_t Hash, TSLObject* Obj);
    // Define with the value taken from a handle the caller holds (a stack's
    // slot): the entry takes over its reference where it can, and the handle
    // is left with the replaced value or nil then; otherwise the value is
    // defined as Define does and the handle keeps it. Either way the caller
    // drops what the handle holds after.
    void DefineFrom(std::string_view AName, uint32_t Hash, TRef<TSLObject>& Value);
    void DelObjWithName(std::string_view AName) override;
    bool GetNameExists(std::string_view AName) const override { return Find(AName) >= 0; }
    int GetIndexOfName(std::string_view AName) const override { return Find(AName); }

    // The value under AName, nil when absent (no error).
    TSLObject* FindObjWithName(std::string_view AName) const;
    // The position of AName when its hash (SLHashName) is already known, or -1:
    // the same first match as GetIndexOfName. Lookups that try one name in many
    // dictionaries hash it once.
    int FindHashed(std::string_view AName, uint32_t Hash) const;
    // The value at a position FindHashed returned (no bounds check).
    TSLObject* ValueAt(int Index) const noexcept { return Dict[static_cast<std::size_t>(Index)].Value.Get(); }

    void SetCapacity(int Value);
    int GetCapacity() const { return static_cast<int>(Dict.capacity()); }
    // With true the entries are kept sorted by name (same comparison) instead of
    // in insertion order.
    void SetSorted(bool Value);
    bool GetSorted() const { return FSorted; }

    void InitComposite(TSLCompData* CompData) override;
    void EncodeCompositeContent(TEncoderInterface& Encoder) override;

    // Raises the epochs of all names this dictionary holds (it enters or
    // leaves a dictionary stack).
    void BumpNameEpochs() const noexcept {
        if (Dict.size() > SLNameEpochSlots / 8) [[unlikely]] {
            SLBumpAllNameEpochs();
            return;
        }
        for (const TEntry& e : Dict) SLBumpNameEpoch(e.Hash);
    }

    TSLDictionary* CopyDictionary() const { return static_cast<TSLDictionary*>(CopyObject()); }

protected:
    void InstallNamedCopies(const MyAnsiString& Ident,
                            std::vector<std::pair<MyAnsiString, TRef<TSLObject>>>& Copies) override;

private:
    // An entry in 32 bytes: the value, the name's hash and length, and the
    // name itself inline up to 16 bytes (a longer one in a block of its own).
    class TEntry {
    public:
        TEntry(std::string_view AName, TSLObject* AValue, uint32_t AHash) : Value(AValue), Hash(AHash) {
            SetName(AName);
        }
        TEntry(TEntry&& Other) noexcept
            : Value(std::move(Other.Value)), Hash(Other.Hash), FLength(Other.FLength), FText(Other.FText) {
            Other.FLength = 0;
        }
        TEntry& operator=(TEntry&& Other) noexcept {
            if (this != &Other) {
                FreeName();
                Value = std::move(Other.Value);
                Hash = Other.Hash;
                FLength = Other.FLength;
                FText = Other.FText;
                Other.FLength = 0;
            }
            return *this;
        }
        TEntry(const TEntry&) = delete;
        TEntry& operator=(const TEntry&) = delete;
        ~TEntry() { FreeName(); }

        std::string_view Name() const noexcept {
            return {FLength > InlineMax ? FText.Heap : FText.Inline, FLength};
        }
        // Another spelling (the entry is unchanged when that fails).
        void Rename(std::string_view AName) {
            char* heap = nullptr;
            if (AName.size() > InlineMax) {
                heap = new char[AName.size()];
                std::memcpy(heap, AName.data(), AName.size());
            }
            FreeName();
            if (heap)
                FText.Heap = heap;
            else if (!AName.empty())
                std::memmove(FText.Inline, AName.data(), AName.size());
            FLength = static_cast<uint32_t>(AName.size());
        }

        TRef<TSLObject> Value;
        uint32_t Hash; // SLHashName(Name())

    private:
        static constexpr uint32_t InlineMax = 16;
        void SetName(std::string_view AName) {
            if (AName.size() > UINT32_MAX) throw std::length_error("name too long");
            if (AName.size() > InlineMax) {
                FText.Heap = new char[AName.size()];
                std::memcpy(FText.Heap, AName.data(), AName.size());
            } else {
                CopyShort(FText.Inline, AName.data(), AName.size());
            }
            FLength = static_cast<uint32_t>(AName.size());
        }
        // Copies N <= 16 bytes between blocks that do not overlap, in a few
        // moves instead of a call (names are mostly short).
        static void CopyShort(char* To, const char* From, std::size_t N) noexcept {
            if (N >= 8) {
                std::memcpy(To, From, 8);
                std::memcpy(To + N - 8, From + N - 8, 8);
            } else if (N >= 4) {
                std::memcpy(To, From, 4);
                std::memcpy(To + N - 4, From + N - 4, 4);
            } else if (N > 0) {
                To[0] = From[0];
                To[N / 2] = From[N / 2];
                To[N - 1] = From[N - 1];
            }
        }
        void FreeName() noexcept {
            if (FLength > InlineMax) delete[] FText.Heap;
            FLength = 0;
        }

        uint32_t FLength = 0;
        union {
            char Inline[InlineMax];
            char* Heap;
        } FText;
    };
    static_assert(sizeof(TEntry) == 32);
    using TEntryList = std::vector<TEntry, TSLPoolAllocator<TEntry>>;

    int Find(std::string_view AName) const;
    int FindIndexed(std::string_view AName, uint32_t Hash) const;
    // Inserts a new entry (the name is known to be absent) at its place: the
    // end, or the sorted position.
    void Insert(std::string_view AName, uint32_t Hash, TSLObject* Obj);
    // Adds a new entry unless the name exists (false then, nothing changed).
    bool AddNew(std::string_view AName, uint32_t Hash, TSLObject* Obj);
    void RebuildIndex();
    [[noreturn]] void IndexOutOfBounds(const char* Method, int Index) const;
    [[noreturn]] void AlreadyExists(const char* Method, std::string_view AName) const;
    [[noreturn, gnu::cold]] void NoObjectNamed(std::string_view AName) const;

    TEntryList Dict;
    std::unique_ptr<TSLNameIndex> FIndex; // only for dictionaries beyond a handful of entries
    bool FSorted = false;
};

[[gnu::always_inline]] inline int TSLDictionary::FindHashed(std::string_view AName, uint32_t Hash) const {
    if (FIndex) return FindIndexed(AName, Hash);
    // Small dictionaries are scanned; names of another hash are passed over
    // without comparing a byte.
    for (std::size_t i = 0, n = Dict.size(); i < n; ++i) {
        const TEntry& e = Dict[i];
        if (e.Hash == Hash && SLSameName(e.Name(), AName)) return static_cast<int>(i);
    }
    return -1;
}

} // namespace vo
