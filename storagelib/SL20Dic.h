#pragma once
// The dictionary: names to values, in insertion order, names compared without
// regard to case, a second entry under a name it already has refused.
//
// Lookups go through a hash index over the case-folded names once a dictionary
// holds more than a handful of entries, so finding a name is O(1) and building
// a dictionary of n names O(n); the index gives exactly the result of scanning
// the entries in order for the first equal name (there is never more than one).
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "storagelib/SL20Col.h"

namespace vo {

// Names compare as code-page-1252 text without regard to case: A-Z equal a-z,
// and the accented capitals equal their small letters (À-Þ and à-þ except
// × and ÷, Š š, Œ œ, Ž ž, Ÿ ÿ).
uint8_t SLFoldNameChar(uint8_t c) noexcept;
bool SLSameName(std::string_view A, std::string_view B) noexcept;
// Ordering under the same comparison (<0, 0, >0).
int SLCompareNames(std::string_view A, std::string_view B) noexcept;
uint32_t SLHashName(std::string_view Name) noexcept;

class TSLNameIndex;

class TSLDictionary : public TSLNamedCollection {
    VO_REFOBJ_CLASS(TSLDictionary, TSLNamedCollection)
    VO_SL_COMPOSITE(TSLDictionary, 'D')
public:
    TSLDictionary();
    ~TSLDictionary() override;

    int GetCount() const override { return static_cast<int>(Dict.size()); }
    TSLObject* GetObjAtIndex(int Index) const override;
    MyAnsiString GetNameAtIndex(int Index) const override;
    // The name as it was added, without a copy.
    const MyAnsiString& NameRefAtIndex(int Index) const;
    int GetIndexOfObj(const TSLObject* Obj) const override;
    void Clear() override;

    TSLObject* GetObjWithName(std::string_view AName) const override;
    // Appends a new entry; refused when the name exists (it never replaces).
    void SetObjWithName(std::string_view AName, TSLObject* Obj) override;
    void DelObjWithName(std::string_view AName) override;
    bool GetNameExists(std::string_view AName) const override { return Find(AName) >= 0; }
    int GetIndexOfName(std::string_view AName) const override { return Find(AName); }

    // The value under AName, nil when absent (no error).
    TSLObject* FindObjWithName(std::string_view AName) const;

    void SetCapacity(int Value);
    int GetCapacity() const { return static_cast<int>(Dict.capacity()); }
    // With true the entries are kept sorted by name (same comparison) instead of
    // in insertion order.
    void SetSorted(bool Value);
    bool GetSorted() const { return FSorted; }

    void InitComposite(TSLCompData* CompData) override;
    void EncodeCompositeContent(TEncoderInterface& Encoder) override;

    TSLDictionary* CopyDictionary() const { return static_cast<TSLDictionary*>(CopyObject()); }

protected:
    void InstallNamedCopies(const MyAnsiString& Ident,
                            std::vector<std::pair<MyAnsiString, TRef<TSLObject>>>& Copies) override;

private:
    struct TEntry {
        MyAnsiString Name;
        TRef<TSLObject> Value;
    };

    int Find(std::string_view AName) const;
    int FindHashed(std::string_view AName, uint32_t Hash) const;
    // Inserts a new entry (the name is known to be absent) at its place: the
    // end, or the sorted position.
    void Insert(std::string_view AName, uint32_t Hash, TSLObject* Obj);
    void RebuildIndex();
    [[noreturn]] void IndexOutOfBounds(const char* Method, int Index) const;

    std::vector<TEntry> Dict;
    std::unique_ptr<TSLNameIndex> FIndex; // only for dictionaries beyond a handful of entries
    bool FSorted = false;
};

} // namespace vo
