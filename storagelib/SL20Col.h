#pragma once
// The two abstract collections every concrete composite is built on: the
// indexed TSLCollection and the named TSLNamedCollection, with typed accessors,
// a depth-first walk, deep assignment and structural equality.
//
// Structures that contain themselves (the text notation builds them with back
// references) are handled: a copy or an assignment reproduces the cycle in the
// copy, equality treats a pair of composites already being compared as equal,
// and the walk does not descend into a collection it is already inside.
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "storagelib/SL20Cmp.h"

namespace vo {

class TSLCollection;

// What a walk callback is told about one element.
struct TForEachInfo {
    TSLObject* Obj = nullptr; // the element
    MyAnsiString Name; // its name in a named collection, else empty
    int32_t Level = 0; // depth
    TSLCollection* Parent = nullptr; // the collection that holds it, nil for the root
    int32_t Index = 0; // its position in Parent
};
// Called once per element; setting Stop ends the walk.
using TForEachCallback = std::function<void(const TForEachInfo& Info, bool& Stop)>;

// Deep copies: while a composite's copy (or the receiver of an assignment) is
// being filled, a reference to the original is copied as a reference to the
// copy, so cycles are reproduced instead of followed for ever.
class TSLCopyScope {
public:
    TSLCopyScope(const TSLObject* Original, TSLObject* Copy);
    ~TSLCopyScope();
    TSLCopyScope(const TSLCopyScope&) = delete;
    TSLCopyScope& operator=(const TSLCopyScope&) = delete;

    // A copy of Element for the composite being filled: nil stays nil, a
    // composite whose copy is in progress gives that copy, anything else a new
    // copy.
    static TRef<TSLObject> CopyElement(const TSLObject* Element);
};

// Structural equality of two elements: both nil, or IsEqual.
bool SLElementsEqual(const TSLObject* A, const TSLObject* B);

class TSLCollection : public TSLComposite {
    VO_REFOBJ_CLASS(TSLCollection, TSLComposite)
public:
    virtual void SetCount(int Value) = 0;
    virtual int GetCount() const = 0;
    virtual TSLObject* GetObjAtIndex(int Index) const = 0;
    // Index equal to the count appends.
    virtual void SetObjAtIndex(int Index, TSLObject* AObject) = 0;
    virtual void DelObjAtIndex(int Index) = 0;
    virtual void InsObjAtIndex(int Index, TSLObject* Obj) = 0;
    // Identity, not equality; -1 when absent.
    virtual int GetIndexOfObj(const TSLObject* Obj) const = 0;
    virtual void Clear() = 0;

    // Deep assignment: the receiver becomes a copy of Obj's elements (Obj must
    // be a collection), named as Obj. The copies are made before anything of
    // the receiver is dropped, so assigning a collection to itself, or one that
    // holds the receiver, loses nothing.
    void AssignObject(const TSLObject* Obj) override;
    // Obj is of the receiver's class (or derived), has as many elements, and
    // each element is equal to the one at the same index.
    bool IsEqual(const TSLObject* Obj) const override;
    // A new collection of CreateCopyTarget's class assigned from this one.
    TRef<TSLObject> CopyRef() const override;

    void AddObject(TSLObject* Obj) { SetObjAtIndex(GetCount(), Obj); }
    void InsertObject(int Index, TSLObject* Obj) { InsObjAtIndex(Index, Obj); }
    void RemoveObject(int Index) { DelObjAtIndex(Index); }
    int IndexOfObject(const TSLObject* Obj) const { return GetIndexOfObj(Obj); }

    // The element must be of the getter's type (no conversion between numbers).
    MyAnsiString GetStrAtIndex(int Index) const;
    int64_t GetIntAtIndex(int Index) const;
    double GetFloatAtIndex(int Index) const;
    bool GetBoolAtIndex(int Index) const;
    // Changes an element of the matching type in place (every holder sees the
    // change); otherwise stores a new value with SetObjAtIndex (Index equal to
    // the count appends).
    void SetStrAtIndex(int Index, std::string_view Value);
    void SetIntAtIndex(int Index, int64_t Value);
    void SetFloatAtIndex(int Index, double Value);
    void SetBoolAtIndex(int Index, bool Value);

    // Depth first, parents before children; false when the callback stopped it.
    bool ForEach(const TForEachCallback& Callback, bool IncludeRoot);

protected:
    TSLCollection() = default;
    // The empty collection a copy starts from (by default one of the
    // receiver's class).
    virtual TRef<TSLCollection> CreateCopyTarget() const;
    // Installs the copies of an assignment: Copies[i] becomes element i.
    virtual void InstallCopies(const MyAnsiString& Ident, TSLObjectList& Copies);

private:
    void Walk(const TForEachCallback& Callback, int32_t Level, bool& Stop, std::vector<const TSLCollection*>& Path);
};

class TSLNamedCollection : public TSLCollection {
    VO_REFOBJ_CLASS(TSLNamedCollection, TSLCollection)
public:
    virtual TSLObject* GetObjWithName(std::string_view AName) const = 0;
    virtual void SetObjWithName(std::string_view AName, TSLObject* Obj) = 0;
    virtual void DelObjWithName(std::string_view AName) = 0;
    virtual MyAnsiString GetNameAtIndex(int Index) const = 0;
    virtual bool GetNameExists(std::string_view AName) const = 0;
    virtual int GetIndexOfName(std::string_view AName) const = 0;

    // Index-based changes are refused ("not allowed in named collection").
    void SetCount(int Value) override;
    void SetObjAtIndex(int Index, TSLObject* AObject) override;
    void DelObjAtIndex(int Index) override;
    void InsObjAtIndex(int Index, TSLObject* Obj) override;

    // Deep assignment of a named collection: names and copies of the values.
    void AssignObject(const TSLObject* Obj) override;
    // As for collections, and the names at each index are equal byte for byte.
    bool IsEqual(const TSLObject* Obj) const override;

    MyAnsiString NameAtIndex(int Index) const { return GetNameAtIndex(Index); }
    bool NameExists(std::string_view AName) const { return GetNameExists(AName); }
    int IndexOfName(std::string_view AName) const { return GetIndexOfName(AName); }

    using TSLCollection::AddObject;
    using TSLCollection::InsertObject;
    using TSLCollection::RemoveObject;
    // Refused when the name exists.
    void AddObject(std::string_view AName, TSLObject* Obj);
    void InsertObject(std::string_view AName, TSLObject* Obj) { AddObject(AName, Obj); }
    // Refused when the name does not exist.
    void RemoveObject(std::string_view AName);

    MyAnsiString GetStrWithName(std::string_view AName) const;
    int64_t GetIntWithName(std::string_view AName) const;
    double GetFloatWithName(std::string_view AName) const;
    bool GetBoolWithName(std::string_view AName) const;
    // Changes a value of the matching type in place; otherwise stores a new
    // value with SetObjWithName (which a dictionary refuses for an existing
    // name and a record takes as a replacement).
    void SetStrWithName(std::string_view AName, std::string_view Value);
    void SetIntWithName(std::string_view AName, int64_t Value);
    void SetFloatWithName(std::string_view AName, double Value);
    void SetBoolWithName(std::string_view AName, bool Value);

protected:
    TSLNamedCollection() = default;
    // Installs the named copies of an assignment in the given order.
    virtual void InstallNamedCopies(const MyAnsiString& Ident,
                                    std::vector<std::pair<MyAnsiString, TRef<TSLObject>>>& Copies);

private:
    [[noreturn]] void NotAllowed(const char* Method) const;
};

} // namespace vo
