#pragma once
// The array (the system's ordered list of values) and its two executable
// kinds: the block (a script body) and the procedure (a block with declared
// parameters and results).
#include <vector>

#include "storagelib/SL20Col.h"
#include "storagelib/SL20Pool.h"

namespace vo {

class TSLArray : public TSLCollection {
    VO_REFOBJ_CLASS(TSLArray, TSLCollection)
    VO_SL_POOLED
    VO_SL_COMPOSITE(TSLArray, 'A')
public:
    TSLArray() = default;
    ~TSLArray() override;

    void SetCount(int Value) override;
    int GetCount() const override { return static_cast<int>(Arr.size()); }
    TSLObject* GetObjAtIndex(int Index) const override;
    // 0 <= Index <= count; Index = count appends, otherwise replaces.
    void SetObjAtIndex(int Index, TSLObject* AObject) override;
    void DelObjAtIndex(int Index) override;
    // Inserts before the element at Index (Index = count appends).
    void InsObjAtIndex(int Index, TSLObject* Obj) override;
    int GetIndexOfObj(const TSLObject* Obj) const override;
    void Clear() override;

    // The element at array position Pos, 0 <= Pos < count, unchecked.
    TSLObject* UncheckedAt(int Pos) const noexcept { return Arr[static_cast<std::size_t>(Pos)].Get(); }

    // Takes the element out at FromIndex and puts it in at ToIndex.
    void MoveObject(int FromIndex, int ToIndex);
    // Removes the nil elements, keeping the order of the others.
    void Pack();
    void SetCapacity(int Value);
    int GetCapacity() const { return static_cast<int>(Arr.capacity()); }
    // Appends the N values at First, taking over the references they hold
    // (First's handles are left empty).
    void AdoptElements(TRef<TSLObject>* First, std::size_t N);

    TSLArray* CopyArray() const { return static_cast<TSLArray*>(CopyObject()); }

    void InitComposite(TSLCompData* CompData) override;
    void EncodeCompositeContent(TEncoderInterface& Encoder) override;

protected:
    // Copies of arrays, blocks and procedures are plain arrays.
    TRef<TSLCollection> CreateCopyTarget() const override;
    void InstallCopies(const MyAnsiString& Ident, TSLObjectList& Copies) override;

    // The element list by array position, with the array's bounds and texts.
    TSLObject* ArrGet(int Pos) const;
    void ArrSet(int Pos, TSLObject* Obj);
    void ArrIns(int Pos, TSLObject* Obj);
    void ArrDel(int Pos);
    void ArrSetCount(int Value, bool AtFront);

    TSLObjectList Arr;
};

// An executable array of tokens: a script body.
class TSLBlock : public TSLArray {
    VO_REFOBJ_CLASS(TSLBlock, TSLArray)
    VO_SL_COMPOSITE(TSLBlock, 'B')
public:
    TSLBlock() noexcept { FTraits |= slExecutableClass | slBlock; }
    bool GetExecutable() const override { return FExecutable; }
    void SetExecutable(bool Value) override { FExecutable = Value; }
    // Pushes a block frame over this block on the context's execution stack.
    void Execute(TSLContext* Context) override;

private:
    bool FExecutable = false;
};

// Element 0 is the parameter list (an array of identifiers), the last element
// the result list, the elements between them the body.
class TSLProcedure : public TSLBlock {
    VO_REFOBJ_CLASS(TSLProcedure, TSLBlock)
    VO_SL_COMPOSITE(TSLProcedure, 'P')
public:
    TSLProcedure() = default;
    // Pushes a procedure frame over this procedure on the execution stack.
    void Execute(TSLContext* Context) override;
};

} // namespace vo
